#include "web/win32/Win32SettingsPageWindow.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "web/GlassSettingsWindow.h"
#include "web/Pages.h"
#include "windows/win32/WorkArea.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace qv {

Win32SettingsPageWindow::Win32SettingsPageWindow(Win32BrowserRuntime& runtime)
    : Win32PanelWindow(runtime, kBackground, pages::settings) {}

Win32SettingsPageWindow::~Win32SettingsPageWindow() {
    target_ = nullptr;
    destroy();
    closeBrowser();
}

bool Win32SettingsPageWindow::create(uint64_t instance, const ScreenRect& rect) {
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hwnd_ != nullptr) return true;
    const HINSTANCE module = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // Messages of creation, before hwnd_ is set from CreateWindowExW, and those from WM_DESTROY's end on,
    // WM_NCDESTROY among them, go to DefWindowProcW.
    windowClass.lpfnWndProc = windowThunk<Win32SettingsPageWindow, &Win32SettingsPageWindow::handle,
                                          &Win32SettingsPageWindow::hwnd_, WindowThunkOptions{.onlyOwnWindow = true}>;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // No background brush: the browser paints the whole client area, and
    // erasing under it would only flicker.
    windowClass.hIcon = loadPanelIcon(module, SM_CXICON);
    windowClass.hIconSm = loadPanelIcon(module, SM_CXSMICON);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass); // a second registration fails harmlessly

    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"Quorvane \u2014 Settings", WS_CAPTION | WS_SYSMENU,
                            rect.left, rect.top, rect.width(), rect.height(), nullptr, nullptr, module, this);
    if (hwnd_ == nullptr) return false;
    browser_.setHost(hwnd_);
    applyPanelLook(hwnd_);
    return true;
}

void Win32SettingsPageWindow::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void Win32SettingsPageWindow::postClose() {
    if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void Win32SettingsPageWindow::show() {
    if (hwnd_ == nullptr) return;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

ScreenPoint Win32SettingsPageWindow::cursor() const {
    POINT p{};
    if (!GetCursorPos(&p)) return {};
    return ScreenPoint{p.x, p.y};
}

uint32_t Win32SettingsPageWindow::windowDpi() const { return hwnd_ != nullptr ? GetDpiForWindow(hwnd_) : 0; }

std::optional<ScreenRect> Win32SettingsPageWindow::workAreaNear(ScreenPoint point) const {
    return qv::workAreaNear(point);
}

std::optional<ScreenRect> Win32SettingsPageWindow::workAreaOfWindow() const {
    if (hwnd_ == nullptr) return std::nullopt;
    return qv::workAreaOfWindow(reinterpret_cast<uintptr_t>(hwnd_));
}

ScreenRect Win32SettingsPageWindow::windowRect() const {
    RECT r{};
    if (hwnd_ != nullptr) GetWindowRect(hwnd_, &r);
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

int32_t Win32SettingsPageWindow::frameHeight() const {
    RECT window{}, client{};
    if (hwnd_ == nullptr || !GetWindowRect(hwnd_, &window) || !GetClientRect(hwnd_, &client)) return 0;
    return (window.bottom - window.top) - (client.bottom - client.top);
}

void Win32SettingsPageWindow::move(const ScreenRect& rect) {
    if (hwnd_ != nullptr)
        SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.width(), rect.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32SettingsPageWindow::openFolder(const std::string& path) {
    ShellExecuteW(hwnd_, L"open", widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT Win32SettingsPageWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (target_ != nullptr) target_->onSize();
        return 0;
    case WM_CLOSE:
        if (target_ != nullptr) {
            target_->onClose();
        } else {
            DestroyWindow(hwnd_);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DPICHANGED:
        if (target_ != nullptr) {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            target_->onDpiChanged(ScreenRect{suggested->left, suggested->top, suggested->right, suggested->bottom});
        }
        return 0;
    case WM_DESTROY:
        if (target_ != nullptr) {
            target_->onDestroy();
        } else {
            closeBrowser();
        }
        hwnd_ = nullptr;
        browser_.setHost(nullptr);
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

} // namespace qv
