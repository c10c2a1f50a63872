#include "windows/win32/WorkArea.h"

#include <windows.h>

namespace qv {

std::optional<ScreenRect> workAreaNear(ScreenPoint point) {
    HMONITOR monitor = MonitorFromPoint(POINT{point.x, point.y}, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    return ScreenRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

} // namespace qv
