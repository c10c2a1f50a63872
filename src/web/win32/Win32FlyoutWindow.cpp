#include "web/win32/Win32FlyoutWindow.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "web/GlassFlyoutPanel.h"
#include "web/Pages.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "windows/win32/WorkArea.h"

#include <objbase.h>

#include <string>

namespace qv {

Win32FlyoutWindow::Win32FlyoutWindow(uint64_t instance, Win32BrowserRuntime& runtime)
    : Win32PanelWindow(runtime, kBackground, pages::flyout),
      instance_(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance))) {}

Win32FlyoutWindow::~Win32FlyoutWindow() {
    target_ = nullptr;
    destroy();
    closeBrowser();
}

bool Win32FlyoutWindow::registerClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // Messages of creation, before hwnd_ is set from CreateWindowExW, and those from WM_DESTROY's end on,
    // WM_NCDESTROY among them, go to DefWindowProcW.
    windowClass.lpfnWndProc = windowThunk<Win32FlyoutWindow, &Win32FlyoutWindow::handle, &Win32FlyoutWindow::hwnd_,
                                          WindowThunkOptions{.onlyOwnWindow = true}>;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The brush lives as long as the class, which lives as long as the process.
    windowClass.hbrBackground = CreateSolidBrush(kBackground);
    windowClass.hIcon = loadPanelIcon(instance_, SM_CXICON);
    windowClass.hIconSm = loadPanelIcon(instance_, SM_CXSMICON);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) != 0) return true;
    if (windowClass.hbrBackground != nullptr) DeleteObject(windowClass.hbrBackground);
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Win32FlyoutWindow::create(const ScreenRect& rect) {
    // The user-interface thread is already a single-threaded apartment; the
    // call only makes sure of it.
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hwnd_ != nullptr) return true;
    registerClass();
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"Quorvane", WS_POPUP, rect.left, rect.top,
                            rect.width(), rect.height(), nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) return false;
    browser_.setHost(hwnd_);
    applyPanelLook(hwnd_);
    return true;
}

void Win32FlyoutWindow::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool Win32FlyoutWindow::isVisible() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) != FALSE; }

void Win32FlyoutWindow::showAt(const ScreenRect& rect) {
    if (hwnd_ == nullptr) return;
    SetWindowPos(hwnd_, HWND_TOPMOST, rect.left, rect.top, rect.width(), rect.height(), SWP_SHOWWINDOW);
    updateBounds();
    SetForegroundWindow(hwnd_);
}

void Win32FlyoutWindow::hide() {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

void Win32FlyoutWindow::setLevelTimer() {
    if (hwnd_ != nullptr) SetTimer(hwnd_, GlassFlyoutPanel::kLevelTimer, 50, nullptr);
}

void Win32FlyoutWindow::killLevelTimer() {
    if (hwnd_ != nullptr) KillTimer(hwnd_, GlassFlyoutPanel::kLevelTimer);
}

void Win32FlyoutWindow::postTaskMessage() {
    if (hwnd_ != nullptr) PostMessageW(hwnd_, kTaskMessage, 0, 0);
}

void Win32FlyoutWindow::quit(int exitCode) { PostQuitMessage(exitCode); }

uint32_t Win32FlyoutWindow::systemDpi() const { return GetDpiForSystem(); }

uint32_t Win32FlyoutWindow::windowDpi() const { return hwnd_ != nullptr ? GetDpiForWindow(hwnd_) : 0; }

std::optional<ScreenRect> Win32FlyoutWindow::workAreaNear(ScreenPoint point) const { return qv::workAreaNear(point); }

LRESULT Win32FlyoutWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (target_ != nullptr) {
            const HWND activated = reinterpret_cast<HWND>(lParam);
            target_->onActivate(LOWORD(wParam) == WA_INACTIVE, activated != nullptr && IsChild(hwnd_, activated));
        }
        return 0;
    case WM_CLOSE:
        if (target_ != nullptr) target_->onClose();
        return 0;
    case WM_SIZE:
        if (target_ != nullptr) target_->onSize();
        return 0;
    case WM_TIMER:
        if (target_ != nullptr) target_->onTimer(static_cast<uint32_t>(wParam));
        return 0;
    case WM_DPICHANGED:
        if (target_ != nullptr) target_->onDpiChanged();
        return 0;
    case kTaskMessage:
        if (target_ != nullptr) target_->onTaskMessage();
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
