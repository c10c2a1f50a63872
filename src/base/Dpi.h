#pragma once
#include <cstdint>

namespace qv {

// A length in device-independent pixels (96 per inch) at a monitor's DPI,
// as MulDiv(value, dpi, 96) computes it: rounded to the nearest pixel,
// halves away from zero.
constexpr int32_t dpiScale(int32_t value, uint32_t dpi) {
    const int64_t product = static_cast<int64_t>(value) * dpi;
    return static_cast<int32_t>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

} // namespace qv
