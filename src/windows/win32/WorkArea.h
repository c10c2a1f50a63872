#pragma once
#include "base/ScreenPoint.h"
#include "windows/WindowSystem.h"

#include <optional>

namespace qv {

// The work area of the monitor nearest the point (MonitorFromPoint with
// MONITOR_DEFAULTTONEAREST); nothing when Windows does not say.
std::optional<ScreenRect> workAreaNear(ScreenPoint point);

} // namespace qv
