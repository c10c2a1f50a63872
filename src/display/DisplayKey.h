#pragma once
#include "display/MonitorIdentity.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// 32-bit FNV-1a hash of the bytes.
uint32_t fnv1a32(std::string_view bytes);

// The stable key of a monitor, from the most specific identity available:
// "MFG-PPPP-0xSSSSSSSS", "MFG-PPPP-<serial text>", "MFG-PPPP",
// "path:<hash of the device path>", or "unknown".
std::string displayKey(const MonitorIdentity& identity);

} // namespace qv
