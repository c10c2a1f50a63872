#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace qv {

// The first three numbers of a version text: one leading "v" or "V" dropped,
// the rest split at every "."; each piece read as strtol in base 10 reads it
// (leading blanks and a sign allowed, trailing characters ignored), and a piece
// without digits or outside 32 bits counts as 0. Missing numbers are 0, so
// "v1.4" is 1.4.0, "1.3.9-beta" is 1.3.9 and "2" is 2.0.0.
std::array<int32_t, 3> splitVersion(const std::string& version);

// True only when `latest` is strictly newer than `current` in its first three
// numbers; anything beyond the third is ignored, so an equal or older version
// is never offered.
bool isNewerVersion(const std::string& latest, const std::string& current);

} // namespace qv
