#include "ui/win32/Win32TrayWindow.h"

#include "base/win32/Win32RegisteredMessages.h"
#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/MessageBoxFlags.h"
#include "ui/TrayController.h"
#include "ui/WindowMessages.h"

#include <windows.h>

#include <cstdint>

namespace qv {

// mingw's winuser.h, a second source for the values the controller and the
// capture sessions write by hand.
static_assert(kWmNull == WM_NULL && kWmDestroy == WM_DESTROY && kWmClose == WM_CLOSE);
static_assert(kWmQueryEndSession == WM_QUERYENDSESSION && kWmEndSession == WM_ENDSESSION);
static_assert(kWmContextMenu == WM_CONTEXTMENU && kWmDisplayChange == WM_DISPLAYCHANGE);
static_assert(kWmPowerBroadcast == WM_POWERBROADCAST && kPbtApmSuspend == PBT_APMSUSPEND);
static_assert(kWmCommand == WM_COMMAND && kWmTimer == WM_TIMER && kWmCopyData == WM_COPYDATA);
static_assert(kWmLButtonUp == WM_LBUTTONUP && kWmRButtonUp == WM_RBUTTONUP && kWmHotkey == WM_HOTKEY);
static_assert(TrayController::kWsExToolWindow == WS_EX_TOOLWINDOW && TrayController::kWsPopup == WS_POPUP);
static_assert(kMbYesNo == MB_YESNO && kMbIconInformation == MB_ICONINFORMATION);
static_assert(kMbSetForeground == MB_SETFOREGROUND && kIdYes == IDYES);

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

WindowHandle toHandle(HWND hwnd) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd)); }

HINSTANCE toInstance(uint64_t instance) { return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance)); }

LRESULT controllerMessage(TrayController& controller, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>(
        controller.onMessage(toHandle(hwnd), message, static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam)));
}

HICON loadIcon(HINSTANCE instance, int resource, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, 0));
}

} // namespace

uint32_t Win32TrayWindow::registerMessage(const std::string& name) { return registeredMessage(name); }

bool Win32TrayWindow::registerWindowClass(uint64_t instance, const std::string& className, int iconResource) {
    const std::wstring name = widen(className);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // The controller handles WM_NCDESTROY too, and what it sends to its window meanwhile still reaches it; the
    // window is gone after that message, and no later message may reach the controller.
    windowClass.lpfnWndProc =
        windowThunk<TrayController, controllerMessage, nullptr, WindowThunkOptions{.forgetAfterHandler = true}>;
    windowClass.hInstance = toInstance(instance);
    windowClass.hIcon = loadIcon(toInstance(instance), iconResource, SM_CXICON);
    windowClass.hIconSm = loadIcon(toInstance(instance), iconResource, SM_CXSMICON);
    windowClass.lpszClassName = name.c_str();
    if (RegisterClassExW(&windowClass) != 0) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowHandle Win32TrayWindow::createWindow(uint64_t instance, uint32_t exStyle, const std::string& className,
                                           const std::string& title, uint32_t style, TrayController& controller) {
    HWND hwnd = CreateWindowExW(exStyle, widen(className).c_str(), widen(title).c_str(), style, 0, 0, 0, 0, nullptr,
                                nullptr, toInstance(instance), &controller);
    return toHandle(hwnd);
}

void Win32TrayWindow::destroyWindow(WindowHandle window) { DestroyWindow(toHwnd(window)); }

int64_t Win32TrayWindow::defaultWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    return static_cast<int64_t>(
        DefWindowProcW(toHwnd(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

void Win32TrayWindow::postQuit(int exitCode) { PostQuitMessage(exitCode); }

bool Win32TrayWindow::postMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    return PostMessageW(toHwnd(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
}

bool Win32TrayWindow::setTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) {
    return SetTimer(toHwnd(window), id, milliseconds, nullptr) != 0;
}

bool Win32TrayWindow::killTimer(WindowHandle window, uint32_t id) { return KillTimer(toHwnd(window), id) != FALSE; }

bool Win32TrayWindow::shutdownBlockReasonCreate(WindowHandle window, const std::string& reason) {
    return ShutdownBlockReasonCreate(toHwnd(window), widen(reason).c_str()) != FALSE;
}

bool Win32TrayWindow::shutdownBlockReasonDestroy(WindowHandle window) {
    return ShutdownBlockReasonDestroy(toHwnd(window)) != FALSE;
}

bool Win32TrayWindow::cursorPos(ScreenPoint& point) {
    POINT p{};
    if (!GetCursorPos(&p)) return false;
    point.x = p.x;
    point.y = p.y;
    return true;
}

int Win32TrayWindow::ownedMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                     uint32_t flags) {
    return MessageBoxW(reinterpret_cast<HWND>(owner), widen(text).c_str(), widen(caption).c_str(), flags);
}

} // namespace qv
