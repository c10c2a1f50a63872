#pragma once
#include "base/ScreenPoint.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>

namespace qv {

// The work area of the monitor nearest the point (MonitorFromPoint with
// MONITOR_DEFAULTTONEAREST); nothing when Windows does not say.
std::optional<ScreenRect> workAreaNear(ScreenPoint point);
// The work area of the monitor the window is on, or the nearest one.
std::optional<ScreenRect> workAreaOfWindow(uint64_t window);

} // namespace qv
