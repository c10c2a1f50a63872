#pragma once
#include "display/RefreshRate.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// Where one display should be and how it should run: the element of an
// arrangement and of a saved layout.
struct DisplayPlacement {
    std::string key;
    int32_t x = 0;  // desired top-left corner in desktop coordinates
    int32_t y = 0;
    uint32_t width = 0;   // 0 keeps the current size; as shown (swapped for portrait)
    uint32_t height = 0;
    uint32_t refreshHz = 0;    // 0 keeps the current rate
    uint32_t orientation = 0;  // as DisplayInfo::orientation; other values mean 0
    bool primary = false;
    // The exact rate behind refreshHz; unknown: refreshHz alone decides.
    RefreshRate refreshRate;
    // Advanced colour (HDR) on or off; nullopt leaves it as it is. Only
    // displays that support it have it.
    std::optional<bool> hdr;

    friend bool operator==(const DisplayPlacement&, const DisplayPlacement&) = default;
};

} // namespace qv
