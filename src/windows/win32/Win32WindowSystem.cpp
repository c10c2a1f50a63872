#include "windows/win32/Win32WindowSystem.h"

#include "base/win32/Utf16.h"

#include <windows.h>
#include <dwmapi.h>

#include <cstdint>
#include <vector>

namespace qv {

// mingw's winuser.h and winerror.h, a second source for the values the
// placement code passes through.
static_assert(ws::GaRoot == GA_ROOT);
static_assert(ws::WsExToolWindow == WS_EX_TOOLWINDOW && ws::WsExAppWindow == WS_EX_APPWINDOW);
static_assert(ws::SwShowMaximized == SW_SHOWMAXIMIZED && ws::SwRestore == SW_RESTORE);
static_assert(ws::SwShowNormal == SW_SHOWNORMAL && ws::SwShowMinimized == SW_SHOWMINIMIZED);
static_assert(ws::SwMinimize == SW_MINIMIZE);
static_assert(ws::SwShowNoActivate == SW_SHOWNOACTIVATE && ws::SwShowMinNoActive == SW_SHOWMINNOACTIVE && ws::WpfRestoreToMaximized == WPF_RESTORETOMAXIMIZED);
static_assert(ws::SwpNoZOrder == SWP_NOZORDER && ws::SwpNoActivate == SWP_NOACTIVATE);
static_assert(ws::MonitorDefaultToNull == MONITOR_DEFAULTTONULL && ws::MonitorInfoPrimary == MONITORINFOF_PRIMARY);
static_assert(ws::ErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(ws::ErrorInvalidWindowHandle == ERROR_INVALID_WINDOW_HANDLE);

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }
WindowHandle fromHwnd(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HMONITOR toHmonitor(MonitorHandle monitor) { return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(monitor)); }
MonitorHandle fromHmonitor(HMONITOR monitor) { return reinterpret_cast<std::uintptr_t>(monitor); }

ScreenRect fromRect(const RECT& rect) { return ScreenRect{rect.left, rect.top, rect.right, rect.bottom}; }

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(fromHwnd(window));
    return TRUE;
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    reinterpret_cast<std::vector<MonitorHandle>*>(list)->push_back(fromHmonitor(monitor));
    return TRUE;
}

} // namespace

std::vector<WindowHandle> Win32WindowSystem::enumWindows() {
    std::vector<WindowHandle> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool Win32WindowSystem::isWindowVisible(WindowHandle window) { return IsWindowVisible(toHwnd(window)) != FALSE; }

WindowHandle Win32WindowSystem::getAncestor(WindowHandle window, std::uint32_t flags) {
    return fromHwnd(GetAncestor(toHwnd(window), flags));
}

WindowHandle Win32WindowSystem::getShellWindow() { return fromHwnd(GetShellWindow()); }

bool Win32WindowSystem::dwmCloaked(WindowHandle window, std::uint32_t& cloaked) {
    DWORD value = 0;
    if (FAILED(DwmGetWindowAttribute(toHwnd(window), DWMWA_CLOAKED, &value, sizeof value))) return false;
    cloaked = value;
    return true;
}

std::uint32_t Win32WindowSystem::getExStyle(WindowHandle window) {
    return static_cast<std::uint32_t>(GetWindowLongPtrW(toHwnd(window), GWL_EXSTYLE));
}

bool Win32WindowSystem::getWindowRect(WindowHandle window, ScreenRect& rect) {
    RECT r{};
    if (!GetWindowRect(toHwnd(window), &r)) return false;
    rect = fromRect(r);
    return true;
}

std::int32_t Win32WindowSystem::getWindowTextLength(WindowHandle window) {
    return GetWindowTextLengthW(toHwnd(window));
}

std::string Win32WindowSystem::getWindowText(WindowHandle window, std::int32_t maxChars) {
    if (maxChars <= 0) return std::string();
    std::wstring buffer(static_cast<size_t>(maxChars) + 1, L'\0');
    const int copied = GetWindowTextW(toHwnd(window), buffer.data(), maxChars + 1);
    if (copied <= 0) return std::string();
    buffer.resize(static_cast<size_t>(copied));
    return narrow(buffer);
}

MonitorHandle Win32WindowSystem::monitorFromWindow(WindowHandle window, std::uint32_t flags) {
    return fromHmonitor(MonitorFromWindow(toHwnd(window), flags));
}

std::vector<MonitorHandle> Win32WindowSystem::enumDisplayMonitors() {
    std::vector<MonitorHandle> monitors;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

bool Win32WindowSystem::getMonitorInfo(MonitorHandle monitor, MonitorInfo& info) {
    MONITORINFOEXW mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(toHmonitor(monitor), &mi)) return false;
    info.monitor = fromRect(mi.rcMonitor);
    info.work = fromRect(mi.rcWork);
    info.flags = mi.dwFlags;
    info.device = narrow(mi.szDevice);
    return true;
}

bool Win32WindowSystem::isIconic(WindowHandle window) { return IsIconic(toHwnd(window)) != FALSE; }

bool Win32WindowSystem::isZoomed(WindowHandle window) { return IsZoomed(toHwnd(window)) != FALSE; }

bool Win32WindowSystem::showWindow(WindowHandle window, std::int32_t command) {
    return ShowWindow(toHwnd(window), command) != FALSE;
}

bool Win32WindowSystem::setWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y,
                                     std::int32_t cx, std::int32_t cy, std::uint32_t flags,
                                     std::uint32_t& lastError) {
    SetLastError(0);
    if (SetWindowPos(toHwnd(window), toHwnd(insertAfter), x, y, cx, cy, flags)) {
        lastError = 0;
        return true;
    }
    lastError = GetLastError();
    return false;
}

bool Win32WindowSystem::dwmExtendedFrameBounds(WindowHandle window, ScreenRect& bounds) {
    RECT r{};
    if (FAILED(DwmGetWindowAttribute(toHwnd(window), DWMWA_EXTENDED_FRAME_BOUNDS, &r, sizeof r))) return false;
    bounds = fromRect(r);
    return true;
}

WindowHandle Win32WindowSystem::getForegroundWindow() { return fromHwnd(GetForegroundWindow()); }

bool Win32WindowSystem::getWindowPlacement(WindowHandle window, WindowPlacementInfo& placement) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(toHwnd(window), &wp)) return false;
    placement.flags = wp.flags;
    placement.showCmd = wp.showCmd;
    placement.minX = wp.ptMinPosition.x;
    placement.minY = wp.ptMinPosition.y;
    placement.maxX = wp.ptMaxPosition.x;
    placement.maxY = wp.ptMaxPosition.y;
    placement.normal = fromRect(wp.rcNormalPosition);
    return true;
}

bool Win32WindowSystem::setWindowPlacement(WindowHandle window, const WindowPlacementInfo& placement,
                                           std::uint32_t& lastError) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    wp.flags = placement.flags;
    wp.showCmd = placement.showCmd;
    wp.ptMinPosition = POINT{placement.minX, placement.minY};
    wp.ptMaxPosition = POINT{placement.maxX, placement.maxY};
    wp.rcNormalPosition = RECT{placement.normal.left, placement.normal.top, placement.normal.right,
                               placement.normal.bottom};
    SetLastError(0);
    if (SetWindowPlacement(toHwnd(window), &wp)) {
        lastError = 0;
        return true;
    }
    lastError = GetLastError();
    return false;
}

std::uint32_t Win32WindowSystem::windowProcessId(WindowHandle window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(toHwnd(window), &processId)) return 0;
    return processId;
}

} // namespace qv
