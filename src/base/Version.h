#pragma once

namespace qv {

// The program's version, as shown in the start log line and sent to the update channel.
inline constexpr const char* kVersion = "1.3.9";

} // namespace qv
