#pragma once
#include <cstdint>

namespace qv {

// Locally unique identifier of a display adapter, laid out like the Windows LUID.
struct Luid {
    uint32_t lowPart = 0;
    int32_t highPart = 0;

    friend bool operator==(const Luid&, const Luid&) = default;
};

} // namespace qv
