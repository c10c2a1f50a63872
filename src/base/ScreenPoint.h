#pragma once
#include <cstdint>

namespace qv {

// A point on the virtual screen, in physical pixels.
struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};

} // namespace qv
