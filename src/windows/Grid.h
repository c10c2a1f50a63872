#pragma once
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// A grid of cells over a work area, columns by rows, each 1 to 8. Cells are
// numbered row by row from 0 (top-left) to columns * rows - 1 (bottom-right).
struct Grid {
    static constexpr std::int32_t kMaxSide = 8;

    std::int32_t columns = 0;
    std::int32_t rows = 0;

    bool valid() const { return columns >= 1 && columns <= kMaxSide && rows >= 1 && rows <= kMaxSide; }
    std::int32_t cellCount() const { return columns * rows; }
    // The normalised text form: columns, "x", rows, e.g. "3x2".
    std::string text() const;

    // The rectangle of cell `index` in the work area. The leftover pixels of
    // an uneven division go one each to the first columns and rows, so the
    // cells cover the work area exactly. An invalid grid or an index outside
    // the grid gives an empty rectangle.
    ScreenRect cell(const ScreenRect& work, std::int32_t index) const;

    friend bool operator==(const Grid&, const Grid&) = default;
};

// Reads "COLSxROWS": columns, a separator ("x", "X" or the multiplication sign
// U+00D7), rows; nothing but digits besides the separator; both numbers 1 to 8.
std::optional<Grid> parseGrid(std::string_view text);

} // namespace qv
