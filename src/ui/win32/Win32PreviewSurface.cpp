#include "ui/win32/Win32PreviewSurface.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/PreviewWindow.h"
#include "ui/win32/ClassicWin32.h"

#include <string>

namespace qv {

// mingw's winuser.h, a second source for the style and key the preview
// window writes by hand.
static_assert(PreviewWindow::kStyle == (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
static_assert(PreviewWindow::kKeyEscape == VK_ESCAPE);

namespace {

HICON loadIcon(HINSTANCE instance, int resource, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, 0));
}

// The frame's parts that the title bar toggle takes away and gives back.
constexpr LONG_PTR kFrameBits = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

} // namespace

Win32PreviewSurface::Win32PreviewSurface(uint64_t instance)
    : instance_(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance))) {}

Win32PreviewSurface::~Win32PreviewSurface() {
    window_ = nullptr;
    destroy();
    if (font_ != nullptr) DeleteObject(font_);
}

bool Win32PreviewSurface::create(const PreviewWindowClass& windowClass) {
    if (exists()) return true;
    const std::wstring name = widen(windowClass.className);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.style = CS_DBLCLKS;
    // hwnd_ is set at WM_NCCREATE, so the WM_SIZE of creation already reaches the window; messages after
    // WM_DESTROY go to DefWindowProcW.
    info.lpfnWndProc =
        windowThunk<Win32PreviewSurface, &Win32PreviewSurface::handleMessage, &Win32PreviewSurface::hwnd_,
                    WindowThunkOptions{.setWindowAtCreate = true, .onlyOwnWindow = true}>;
    info.hInstance = instance_;
    info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    info.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    info.hIcon = loadIcon(instance_, windowClass.iconResource, SM_CXICON);
    info.hIconSm = loadIcon(instance_, windowClass.iconResource, SM_CXSMICON);
    info.lpszClassName = name.c_str();
    // The icons live as long as the class; a class registered by an earlier
    // preview keeps its own.
    if (RegisterClassExW(&info) == 0) {
        if (info.hIcon != nullptr) DestroyIcon(info.hIcon);
        if (info.hIconSm != nullptr) DestroyIcon(info.hIconSm);
    }

    const std::wstring title = widen(windowClass.title);
    HWND created = CreateWindowExW(0, name.c_str(), title.c_str(), windowClass.style, CW_USEDEFAULT, CW_USEDEFAULT,
                                   windowClass.width, windowClass.height, nullptr, nullptr, instance_, this);
    if (created == nullptr) return false;
    classic::applyDarkLook(created);
    return true;
}

WindowHandle Win32PreviewSurface::handle() const {
    return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd()));
}

uint32_t Win32PreviewSurface::dpi() const { return exists() ? GetDpiForWindow(hwnd()) : 0; }

int32_t Win32PreviewSurface::clientWidth() const {
    RECT client{};
    if (!exists() || !GetClientRect(hwnd(), &client)) return 0;
    return client.right - client.left;
}

void Win32PreviewSurface::createCloseButton(const PreviewCloseButton& button) {
    if (!exists() || closeButton_ != nullptr) return;
    if (font_ == nullptr) font_ = classic::createFont(button.fontHeight, button.fontWeight, classic::bodyFace());
    const std::wstring caption = widen(button.caption);
    closeButton_ = CreateWindowExW(0, L"BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
                                   hwnd(), reinterpret_cast<HMENU>(static_cast<uintptr_t>(button.id)), instance_,
                                   nullptr);
    if (closeButton_ != nullptr) SendMessageW(closeButton_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void Win32PreviewSurface::placeCloseButton(const PreviewButtonPlace& place) {
    if (closeButton_ == nullptr) return;
    SetWindowPos(closeButton_, nullptr, place.x, place.y, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32PreviewSurface::show() {
    if (exists()) ShowWindow(hwnd(), SW_SHOWNORMAL);
}

void Win32PreviewSurface::destroy() {
    if (exists()) DestroyWindow(hwnd());
}

void Win32PreviewSurface::setCaption(const std::string& text) {
    if (exists()) SetWindowTextW(hwnd(), widen(text).c_str());
}

void Win32PreviewSurface::postCaptionChange() {
    HWND target = hwnd();
    if (target != nullptr) PostMessageW(target, kCaptionMessage, 0, 0);
}

void Win32PreviewSurface::setTopmost(bool topmost) {
    if (!exists()) return;
    SetWindowPos(hwnd(), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

void Win32PreviewSurface::setFramed(bool framed) {
    if (!exists()) return;
    LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    style = framed ? (style | kFrameBits) : (style & ~kFrameBits);
    SetWindowLongPtrW(hwnd(), GWL_STYLE, style);
    SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

void Win32PreviewSurface::postClose() {
    if (exists()) PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

uint32_t Win32PreviewSurface::trackMenu(const std::vector<MenuEntry>& entries) {
    if (!exists()) return 0;
    POINT at{};
    GetCursorPos(&at);
    return classic::trackMenu(hwnd(), entries, at);
}

void Win32PreviewSurface::drawButton(const DRAWITEMSTRUCT& item) {
    wchar_t text[160] = {};
    GetWindowTextW(item.hwndItem, text, 160);
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = (item.itemState & ODS_DISABLED) == 0;
    classic::paintButton(item.hDC, item.rcItem, PreviewWindow::closeButtonPaint(pressed, enabled), text, font_,
                         PreviewWindow::kCloseButtonCorner, classic::windowDpi(hwnd()), look::kBackground);
}

LRESULT Win32PreviewSurface::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND self = hwnd();
    switch (message) {
    case WM_SIZE:
        if (window_ != nullptr) window_->onSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        if (window_ != nullptr) {
            window_->onClose();
        } else {
            DestroyWindow(self);
        }
        return 0;
    case WM_DESTROY:
        hwnd_ = nullptr;
        closeButton_ = nullptr;
        if (window_ != nullptr) window_->onDestroyed();
        return 0;
    case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CONTEXTMENU:
        if (window_ != nullptr) window_->onContextMenu();
        return 0;
    case WM_KEYDOWN:
        if (window_ != nullptr) window_->onKey(static_cast<uint32_t>(wParam));
        return 0;
    case WM_COMMAND:
        if (window_ != nullptr) window_->onCommand(LOWORD(wParam));
        return 0;
    case kCaptionMessage:
        if (window_ != nullptr) window_->onCaptionPosted();
        return 0;
    default:
        return DefWindowProcW(self, message, wParam, lParam);
    }
}

} // namespace qv
