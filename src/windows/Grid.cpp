#include "windows/Grid.h"

#include "base/StrPrintf.h"

#include <algorithm>

namespace qv {

namespace {

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Decimal value of a run of digits, held at 1000 once it passes that: the
// caller only asks whether it lies between 1 and 8, and a long run of digits
// must not overflow.
std::int32_t boundedDecimal(std::string_view digits) {
    std::int32_t value = 0;
    for (char c : digits) value = std::min<std::int32_t>(value * 10 + (c - '0'), 1000);
    return value;
}

} // namespace

std::string Grid::text() const { return strprintf("%dx%d", columns, rows); }

ScreenRect Grid::cell(const ScreenRect& work, std::int32_t index) const {
    if (!valid() || index < 0 || index >= cellCount()) return ScreenRect{};
    const std::int32_t c = index % columns;
    const std::int32_t r = index / columns;

    const std::int32_t qx = work.width() / columns;
    const std::int32_t mx = work.width() % columns;
    const std::int32_t qy = work.height() / rows;
    const std::int32_t my = work.height() % rows;

    ScreenRect rect;
    rect.left = work.left + c * qx + std::min(c, mx);
    rect.right = rect.left + qx + (c < mx ? 1 : 0);
    rect.top = work.top + r * qy + std::min(r, my);
    rect.bottom = rect.top + qy + (r < my ? 1 : 0);
    return rect;
}

std::optional<Grid> parseGrid(std::string_view text) {
    size_t separator = text.find_first_of("xX");
    size_t separatorLength = 1;
    if (separator == std::string_view::npos) {
        separator = text.find("\xC3\x97");  // ×
        separatorLength = 2;
        if (separator == std::string_view::npos) return std::nullopt;
    }
    if (separator == 0 || separator + separatorLength >= text.size()) return std::nullopt;

    const std::string_view columns = text.substr(0, separator);
    const std::string_view rows = text.substr(separator + separatorLength);
    if (!allDigits(columns) || !allDigits(rows)) return std::nullopt;

    Grid grid{boundedDecimal(columns), boundedDecimal(rows)};
    if (!grid.valid()) return std::nullopt;
    return grid;
}

} // namespace qv
