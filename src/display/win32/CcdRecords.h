#pragma once
#include "display/DisplayConfigApi.h"

#include <windows.h>

namespace qv {

// Conversions between the portable display configuration records and the
// Windows ones.
LUID toLuid(const Luid& luid);
Luid fromLuid(const LUID& luid);
DISPLAYCONFIG_RATIONAL toRational(const Rational& rational);
Rational fromRational(const DISPLAYCONFIG_RATIONAL& rational);
DISPLAYCONFIG_PATH_INFO toNative(const PathInfo& path);
PathInfo fromNative(const DISPLAYCONFIG_PATH_INFO& path);
DISPLAYCONFIG_MODE_INFO toNative(const ModeInfo& mode);
ModeInfo fromNative(const DISPLAYCONFIG_MODE_INFO& mode);

} // namespace qv
