#include "ui/win32/Win32RegionPicker.h"

#include "base/Log.h"
#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/RegionPickerCanvas.h"
#include "ui/RegionPickerState.h"
#include "ui/win32/ClassicWin32.h"

#include <windows.h>
#include <windowsx.h>

#include <optional>

namespace qv {

static_assert(RegionPickerState::kEscape == VK_ESCAPE); // mingw's winuser.h

namespace {

using Canvas = RegionPickerCanvas;

// Labels painted with GDI into the memory device context that holds the
// canvas's bitmap.
class GdiPickerText final : public RegionPickerText {
public:
    GdiPickerText(HDC dc, HFONT font) : dc_(dc), font_(font) {}

    TextExtent measure(const std::string& text) override {
        const std::wstring wide = widen(text);
        HGDIOBJ old = SelectObject(dc_, font_);
        SIZE size{};
        GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(dc_, old);
        return TextExtent{size.cx, size.cy};
    }

    void paintLabel(const CanvasRect& box, const std::string& text) override {
        RECT r{box.left, box.top, box.right, box.bottom};
        classic::roundRect(dc_, r, Canvas::kLabelFill, Canvas::kLabelBorder, Canvas::kLabelCorner);
        const std::wstring wide = widen(text);
        HGDIOBJ old = SelectObject(dc_, font_);
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, classic::colorRef(Canvas::kLabelText));
        DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc_, old);
        // The canvas touches the pixels next; GDI may still be holding them.
        GdiFlush();
    }

private:
    HDC dc_;
    HFONT font_;
};

// The GDI objects of one pick, freed in reverse order whichever way it ends.
struct PickerBitmap {
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr; // what the memory context held before the bitmap
    void* bits = nullptr;
    HFONT font = nullptr;

    PickerBitmap() = default;
    PickerBitmap(const PickerBitmap&) = delete;
    PickerBitmap& operator=(const PickerBitmap&) = delete;
    ~PickerBitmap() {
        if (previous != nullptr) SelectObject(memory, previous);
        if (bitmap != nullptr) DeleteObject(bitmap);
        if (memory != nullptr) DeleteDC(memory);
        if (font != nullptr) DeleteObject(font);
    }

    // A top-down 32-bit DIB section of the size selected into a memory
    // context compatible with the screen. False (with nothing left over)
    // when any part is missing.
    bool create(int32_t width, int32_t height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(nullptr);
        memory = CreateCompatibleDC(screen);
        bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        if (memory == nullptr || bitmap == nullptr || bits == nullptr) {
            if (bitmap != nullptr) DeleteObject(bitmap);
            if (memory != nullptr) DeleteDC(memory);
            memory = nullptr;
            bitmap = nullptr;
            bits = nullptr;
            return false;
        }
        previous = SelectObject(memory, bitmap);
        return true;
    }
};

// What the picker's window works on, handed over as its creation parameter.
struct PickerWindow {
    PickerWindow(const ScreenRect& bounds, HDC memoryContext, RegionPickerCanvas& pictureCanvas)
        : state(bounds.width(), bounds.height()),
          canvas(pictureCanvas),
          memory(memoryContext),
          position{bounds.left, bounds.top},
          size{bounds.width(), bounds.height()} {}

    RegionPickerState state;
    RegionPickerCanvas& canvas;
    HDC memory;
    POINT position;
    SIZE size;
    HWND window = nullptr;
};

// Shows the canvas: the whole of it, or with only the changed rectangle as
// the dirty area so that the compositor copies no more than that.
void present(PickerWindow& picker, const CanvasRect& changed) {
    if (changed.empty() || picker.window == nullptr) return;
    HDC screen = GetDC(nullptr);
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const bool whole = changed == CanvasRect{0, 0, picker.size.cx, picker.size.cy};
    if (whole) {
        UpdateLayeredWindow(picker.window, screen, &picker.position, &picker.size, picker.memory, &source, 0, &blend,
                            ULW_ALPHA);
    } else {
        const RECT dirty{changed.left, changed.top, changed.right, changed.bottom};
        UPDATELAYEREDWINDOWINFO info{};
        info.cbSize = sizeof info;
        info.hdcDst = screen;
        info.pptDst = &picker.position;
        info.psize = &picker.size;
        info.hdcSrc = picker.memory;
        info.pptSrc = &source;
        info.pblend = &blend;
        info.dwFlags = ULW_ALPHA;
        info.prcDirty = &dirty;
        UpdateLayeredWindowIndirect(picker.window, &info);
    }
    if (screen != nullptr) ReleaseDC(nullptr, screen);
}

void react(PickerWindow& picker, RegionPickerState::Reaction reaction) {
    using Capture = RegionPickerState::Capture;
    if (reaction.capture == Capture::Take) SetCapture(picker.window);
    if (reaction.capture == Capture::Release) ReleaseCapture();
    if (reaction.redraw) present(picker, picker.canvas.update(picker.state.selection()));
}

// The picker lives in pick()'s frame; the window forgets it at WM_NCDESTROY, so no later message may reach it.
LRESULT pickerMessage(PickerWindow& picker, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RegionPickerState& state = picker.state;

    switch (message) {
    case WM_LBUTTONDOWN:
        react(picker, state.buttonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_MOUSEMOVE:
        react(picker, state.mouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_LBUTTONUP:
        react(picker, state.buttonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_KEYDOWN:
        react(picker, state.keyDown(static_cast<uint32_t>(wParam)));
        return 0;
    case WM_RBUTTONDOWN:
        react(picker, state.rightButtonDown());
        return 0;
    case WM_ACTIVATE: {
        const auto other = reinterpret_cast<HWND>(lParam);
        react(picker, state.activated(LOWORD(wParam) != WA_INACTIVE, other != nullptr && IsWindowVisible(other)));
        break;
    }
    case WM_ACTIVATEAPP:
        react(picker, state.applicationActivated(wParam != FALSE));
        break;
    case WM_KILLFOCUS:
        PostMessageW(hwnd, Win32RegionPicker::kTakeFocusMessage, 0, 0);
        break;
    case Win32RegionPicker::kTakeFocusMessage:
        if (state.takesFocusBack(GetForegroundWindow() == hwnd, GetFocus() == hwnd)) SetFocus(hwnd);
        return 0;
    case WM_DESTROY:
        // Destroyed by someone else while the pick runs: it ends without a result.
        react(picker, state.cancel());
        break;
    case WM_NCDESTROY:
        picker.window = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // The picker knows its window from WM_NCCREATE on.
    windowClass.lpfnWndProc =
        windowThunk<PickerWindow, pickerMessage, &PickerWindow::window, WindowThunkOptions{.setWindowAtCreate = true}>;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    windowClass.lpszClassName = Win32RegionPicker::kClassName;
    // Already registered by an earlier pick, or failed: CreateWindowEx tells.
    RegisterClassExW(&windowClass);
}

} // namespace

bool Win32RegionPicker::pick(uint64_t instanceBits, const ScreenRect& bounds, ScreenRect& result) {
    if (bounds.empty()) return false;
    const auto instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instanceBits));
    registerClass(instance);

    PickerBitmap gdi;
    if (!RegionPickerCanvas::sizeSupported(bounds.width(), bounds.height()) ||
        !gdi.create(bounds.width(), bounds.height())) {
        log::write(log::Error, "RegionPicker: DIB creation failed");
        return false;
    }
    gdi.font = classic::createFont(RegionPickerCanvas::kLabelFontHeight, FW_NORMAL, classic::bodyFace());

    GdiPickerText text(gdi.memory, gdi.font);
    RegionPickerCanvas canvas(static_cast<uint32_t*>(gdi.bits), bounds.width(), bounds.height(), text);
    PickerWindow picker(bounds, gdi.memory, canvas);
    HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, kTitle, WS_POPUP,
                                  bounds.left, bounds.top, bounds.width(), bounds.height(), nullptr, nullptr,
                                  instance, &picker);
    if (window == nullptr) {
        log::write(log::Error, "RegionPicker: CreateWindowEx failed");
        return false;
    }

    present(picker, canvas.draw(picker.state.selection()));
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);

    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg{};
    while (!picker.state.done()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        // A failing message loop ends the pick, but is no request to quit.
        if (got == -1) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    // Interrupted: no result, and the mouse is given back.
    if (!picker.state.done()) react(picker, picker.state.cancel());
    if (picker.window != nullptr) DestroyWindow(window);
    // The quit request was meant for the program's main loop: pass it on.
    if (quit) PostQuitMessage(static_cast<int>(quitCode));

    const std::optional<ScreenRect> picked = picker.state.result(bounds);
    if (!picked) return false;
    result = *picked;
    return true;
}

} // namespace qv
