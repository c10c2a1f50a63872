#include "ui/RegionPickerState.h"

#include <algorithm>
#include <cstdlib>

namespace qv {

RegionPickerState::RegionPickerState(int32_t width, int32_t height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {}

CanvasPoint RegionPickerState::inside(int32_t x, int32_t y) const {
    return CanvasPoint{std::clamp(x, 0, width_), std::clamp(y, 0, height_)};
}

RegionPickerState::Reaction RegionPickerState::buttonDown(int32_t x, int32_t y) {
    if (done_) return {};
    const bool hadCapture = dragging_;
    dragging_ = true;
    anchor_ = current_ = inside(x, y);
    return Reaction{true, hadCapture ? Capture::Keep : Capture::Take};
}

RegionPickerState::Reaction RegionPickerState::mouseMove(int32_t x, int32_t y) {
    if (done_ || !dragging_) return {};
    current_ = inside(x, y);
    return Reaction{true, Capture::Keep};
}

RegionPickerState::Reaction RegionPickerState::buttonUp(int32_t x, int32_t y) {
    if (done_ || !dragging_) return {};
    dragging_ = false;
    current_ = inside(x, y);
    if (std::abs(current_.x - anchor_.x) >= kMinimumSide && std::abs(current_.y - anchor_.y) >= kMinimumSide) {
        done_ = true;
        accepted_ = true;
        return Reaction{false, Capture::Release};
    }
    // Too small: the hint comes back and the user may drag again.
    return Reaction{true, Capture::Release};
}

RegionPickerState::Reaction RegionPickerState::keyDown(uint32_t virtualKey) {
    return virtualKey == kEscape ? cancel() : Reaction{};
}

RegionPickerState::Reaction RegionPickerState::rightButtonDown() { return cancel(); }

RegionPickerState::Reaction RegionPickerState::activated(bool active, bool otherVisible) {
    return !active && otherVisible ? cancel() : Reaction{};
}

RegionPickerState::Reaction RegionPickerState::applicationActivated(bool active) {
    return active ? Reaction{} : cancel();
}

RegionPickerState::Reaction RegionPickerState::cancel() {
    if (done_) return {};
    const bool hadCapture = dragging_;
    dragging_ = false;
    done_ = true;
    return Reaction{false, hadCapture ? Capture::Release : Capture::Keep};
}

bool RegionPickerState::takesFocusBack(bool isForeground, bool hasFocus) const {
    return !done_ && isForeground && !hasFocus;
}

std::optional<CanvasRect> RegionPickerState::selection() const {
    if (!dragging_) return std::nullopt;
    return CanvasRect{std::min(anchor_.x, current_.x), std::min(anchor_.y, current_.y),
                      std::max(anchor_.x, current_.x), std::max(anchor_.y, current_.y)};
}

std::optional<ScreenRect> RegionPickerState::result(const ScreenRect& bounds) const {
    if (!accepted_) return std::nullopt;
    return ScreenRect{std::min(anchor_.x, current_.x) + bounds.left, std::min(anchor_.y, current_.y) + bounds.top,
                      std::max(anchor_.x, current_.x) + bounds.left, std::max(anchor_.y, current_.y) + bounds.top};
}

} // namespace qv
