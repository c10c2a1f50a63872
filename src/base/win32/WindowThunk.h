#pragma once
#include <windows.h>

#include <functional>
#include <type_traits>

namespace qv {

// How windowThunk treats the object's own window member (the Window argument)
// and when it lets go of the object as the window goes away. Every option is
// off by default.
struct WindowThunkOptions {
    // Name the window in the object's window member at WM_NCCREATE, before
    // CreateWindowExW returns, so the messages of creation (WM_CREATE, the
    // first WM_SIZE) already find it set.
    bool setWindowAtCreate = false;
    // Pass a message to the handler only while the object's window member
    // names this window; any other goes to DefWindowProcW. This keeps from
    // the handler the messages of creation when the member is only set from
    // CreateWindowExW's return, and every message after the handler has
    // reset the member (at WM_DESTROY, say).
    bool onlyOwnWindow = false;
    // Forget the object only once the handler has seen WM_NCDESTROY, so
    // whatever the handler sends to the window on its way out still reaches
    // the handler. By default the object is forgotten before the handler
    // runs.
    bool forgetAfterHandler = false;
};

// One window procedure for a window that belongs to an object of type T,
// which CreateWindowExW received as its creation parameter (lpParam).
//
// At WM_NCCREATE the thunk keeps that pointer in the window's GWLP_USERDATA
// and reads it back from there for every message. A message that arrives
// before WM_NCCREATE, or after the window has let go of the object, has no
// object and goes to DefWindowProcW. At WM_NCDESTROY the thunk clears
// GWLP_USERDATA: the object may be gone once its window is, and nothing may
// reach it through a stale pointer.
//
// Handler gets every other message: a member function called with (message,
// wParam, lParam) or (hwnd, message, wParam, lParam), or a free function
// called with (object, hwnd, message, wParam, lParam). It returns the
// message's result and calls DefWindowProcW itself for what it leaves to the
// system, WM_NCDESTROY included.
//
// Window is the object's member that names its window (an HWND or an
// std::atomic<HWND>); only the setWindowAtCreate and onlyOwnWindow options
// use it.
template <class T, auto Handler, auto Window = nullptr, WindowThunkOptions Options = WindowThunkOptions{}>
LRESULT CALLBACK windowThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    constexpr bool hasWindow = !std::is_null_pointer_v<decltype(Window)>;
    static_assert(hasWindow || (!Options.setWindowAtCreate && !Options.onlyOwnWindow),
                  "the window options need the object's window member");

    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* creator = static_cast<T*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creator));
        if constexpr (Options.setWindowAtCreate) {
            if (creator != nullptr) creator->*Window = hwnd;
        }
    }
    T* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if constexpr (!Options.forgetAfterHandler) {
        if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if constexpr (Options.onlyOwnWindow) {
        if (self->*Window != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    LRESULT result;
    if constexpr (std::is_invocable_v<decltype(Handler), T&, HWND, UINT, WPARAM, LPARAM>) {
        result = std::invoke(Handler, *self, hwnd, message, wParam, lParam);
    } else {
        result = std::invoke(Handler, *self, message, wParam, lParam);
    }

    if constexpr (Options.forgetAfterHandler) {
        if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
    return result;
}

} // namespace qv
