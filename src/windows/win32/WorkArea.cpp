#include "windows/win32/WorkArea.h"

#include <windows.h>

namespace qv {

namespace {

std::optional<ScreenRect> workAreaOf(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    return ScreenRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

} // namespace

std::optional<ScreenRect> workAreaNear(ScreenPoint point) {
    return workAreaOf(MonitorFromPoint(POINT{point.x, point.y}, MONITOR_DEFAULTTONEAREST));
}

std::optional<ScreenRect> workAreaOfWindow(uint64_t window) {
    return workAreaOf(MonitorFromWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(window)), MONITOR_DEFAULTTONEAREST));
}

} // namespace qv
