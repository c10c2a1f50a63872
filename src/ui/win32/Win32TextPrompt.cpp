#include "ui/win32/Win32TextPrompt.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/TextPromptLayout.h"
#include "ui/win32/ClassicWin32.h"

#include <windows.h>

#include <optional>

namespace qv {

// mingw's winuser.h: the buttons carry the dialog ids Enter and Escape press.
static_assert(TextPromptLayout::kOkId == IDOK && TextPromptLayout::kCancelId == IDCANCEL);

namespace {

using Layout = TextPromptLayout;

// What the prompt window works on, handed over as its creation parameter.
struct PromptState {
    std::wstring text; // in: the initial value; out: what the user confirmed
    bool accepted = false;
    HWND edit = nullptr;
    HBRUSH backgroundBrush = nullptr;
    HBRUSH editBrush = nullptr;
    // The owner to give back its input when the prompt closes; null once given.
    HWND disabledOwner = nullptr;
    bool open = true;
};

// Gives the owner its input back before the prompt disappears, so Windows
// hands the activation to the owner rather than to some other program.
void releaseOwner(PromptState& state) {
    if (state.disabledOwner != nullptr) EnableWindow(state.disabledOwner, TRUE);
    state.disabledOwner = nullptr;
}

void close(HWND hwnd, PromptState& state) {
    releaseOwner(state);
    DestroyWindow(hwnd);
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

// The state lives in prompt()'s frame; the window forgets it at WM_NCDESTROY, so no later message may reach it.
LRESULT promptMessage(PromptState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, state.backgroundBrush);
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == Layout::kOkId) {
            if (state.edit != nullptr) state.text = windowText(state.edit);
            state.accepted = true;
            close(hwnd, state);
            return 0;
        }
        if (LOWORD(wParam) == Layout::kCancelId) {
            close(hwnd, state);
            return 0;
        }
        break;
    case WM_CLOSE:
        close(hwnd, state);
        return 0;
    case WM_CTLCOLOREDIT: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, classic::colorRef(Layout::kText));
        SetBkColor(dc, classic::colorRef(Layout::kEditBackground));
        return reinterpret_cast<LRESULT>(state.editBrush);
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, classic::colorRef(Layout::kText));
        return reinterpret_cast<LRESULT>(state.backgroundBrush);
    }
    case WM_DESTROY:
        state.open = false;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerClass(HINSTANCE instance) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowThunk<PromptState, promptMessage>;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = Win32TextPrompt::kClassName;
    registered = RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

std::optional<ScreenRect> toScreenRect(const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

// The owner's window rectangle when the prompt can be centred over it.
std::optional<ScreenRect> ownerRect(HWND owner) {
    RECT r{};
    if (owner == nullptr || !IsWindowVisible(owner) || !GetWindowRect(owner, &r)) return std::nullopt;
    return toScreenRect(r);
}

std::optional<ScreenRect> workAreaUnderCursor() {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) return std::nullopt;
    HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    return toScreenRect(info.rcWork);
}

HWND createChild(HWND parent, HINSTANCE instance, DWORD exStyle, const wchar_t* windowClass, const std::wstring& text,
                 DWORD style, const DipRect& rect, uint32_t id, uint32_t dpi, HFONT font) {
    const RECT r = classic::toRect(rect, dpi);
    HWND child = CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), instance, nullptr);
    if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

} // namespace

Win32TextPrompt::Win32TextPrompt(uint64_t instance) : instance_(instance) {}

bool Win32TextPrompt::prompt(WindowHandle ownerHandle, const std::string& title, const std::string& label,
                             std::string& text) {
    const auto instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance_));
    const auto owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(ownerHandle));
    registerClass(instance);

    PromptState state;
    state.text = widen(text);
    state.backgroundBrush = CreateSolidBrush(classic::colorRef(Layout::kBackground));
    state.editBrush = CreateSolidBrush(classic::colorRef(Layout::kEditBackground));
    HFONT font = classic::createFont(Layout::kFontHeight, FW_NORMAL, classic::bodyFace());
    const auto freeResources = [&] {
        DeleteObject(font);
        DeleteObject(state.editBrush);
        DeleteObject(state.backgroundBrush);
    };

    const uint32_t dpi = owner != nullptr ? classic::windowDpi(owner) : 96;
    const int width = classic::px(Layout::kWidth, dpi);
    const int height = classic::px(Layout::kHeight, dpi);
    const ScreenRect at = Layout::placement(width, height, ownerRect(owner), workAreaUnderCursor(),
                                            GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));

    HWND dialog = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClassName, widen(title).c_str(),
                                  WS_POPUPWINDOW | WS_DLGFRAME, at.left, at.top, width, height, owner, nullptr,
                                  instance, &state);
    if (dialog == nullptr) {
        freeResources();
        return false;
    }

    classic::applyDarkLook(dialog);
    // Tab stops on the three controls that take input, so Tab moves between them.
    createChild(dialog, instance, 0, L"STATIC", widen(label), 0, Layout::kLabel, 0, dpi, font);
    state.edit = createChild(dialog, instance, WS_EX_CLIENTEDGE, L"EDIT", state.text, ES_AUTOHSCROLL | WS_TABSTOP,
                             Layout::kEdit, 0, dpi, font);
    createChild(dialog, instance, 0, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, Layout::kOk, Layout::kOkId,
                dpi, font);
    createChild(dialog, instance, 0, L"BUTTON", L"Cancel", WS_TABSTOP, Layout::kCancel, Layout::kCancelId, dpi,
                font);
    ShowWindow(dialog, SW_SHOW);
    if (state.edit != nullptr) {
        SetFocus(state.edit);
        SendMessageW(state.edit, EM_SETSEL, 0, -1);
    }

    // An owner that was disabled already (by another modal window) stays so.
    if (owner != nullptr && !EnableWindow(owner, FALSE)) state.disabledOwner = owner;

    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg{};
    while (state.open) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1) break;
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // A prompt still open here was interrupted: it counts as cancelled.
    if (state.open) close(dialog, state);
    releaseOwner(state);
    // A hidden owner is not activated: the keyboard would go to a window nobody sees.
    if (owner != nullptr && IsWindowVisible(owner)) SetActiveWindow(owner);
    freeResources();
    // The quit request was meant for the program's main loop: pass it on.
    if (quit) PostQuitMessage(static_cast<int>(quitCode));

    if (state.accepted) text = narrow(state.text);
    return state.accepted;
}

} // namespace qv
