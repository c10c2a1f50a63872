#pragma once
#include "display/DisplayPlacement.h"

#include <string>
#include <vector>

namespace qv {

// A named snapshot of the whole display arrangement: one placement per active
// display, in the display manager's enumeration order at capture time.
struct Layout {
    std::string name; // compared byte for byte, case-sensitive
    std::vector<DisplayPlacement> placements;

    friend bool operator==(const Layout&, const Layout&) = default;
};

} // namespace qv
