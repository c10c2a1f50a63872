#include "ui/TextPromptLayout.h"

namespace qv {

namespace {

ScreenRect centred(int32_t width, int32_t height, const ScreenRect& area) {
    const int32_t left = area.left + (area.width() - width) / 2;
    const int32_t top = area.top + (area.height() - height) / 2;
    return ScreenRect{left, top, left + width, top + height};
}

} // namespace

ScreenRect TextPromptLayout::placement(int32_t width, int32_t height, const std::optional<ScreenRect>& owner,
                                       const std::optional<ScreenRect>& cursorWork, int32_t screenWidth,
                                       int32_t screenHeight) {
    if (owner && !owner->empty()) return centred(width, height, *owner);
    if (cursorWork) return centred(width, height, *cursorWork);
    return centred(width, height, ScreenRect{0, 0, screenWidth, screenHeight});
}

} // namespace qv
