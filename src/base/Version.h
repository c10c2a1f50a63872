#pragma once

namespace qv {

// The build defines QV_VERSION from the file VERSION at the root of the
// repository, the one place the version is kept.
#ifndef QV_VERSION
#error "QV_VERSION comes from the build (the file VERSION)"
#endif

// The program's version, as shown in the start log line and sent to the update channel.
inline constexpr const char* kVersion = QV_VERSION;

} // namespace qv
