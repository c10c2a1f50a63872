#pragma once
#include "ui/RegionPickerText.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>

namespace qv {

// A point of the picker's window in pixels, relative to its top-left corner.
struct CanvasPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const CanvasPoint&, const CanvasPoint&) = default;
};

// What the region picker decides as the user drags: one per pick, driven by
// the window's mouse, keyboard and activation messages. Each event returns
// what the window has to do about it.
class RegionPickerState {
public:
    // A selection is accepted only when both of its sides are at least this long.
    static constexpr int32_t kMinimumSide = 16;
    // VK_ESCAPE (winuser.h, learn.microsoft.com "Virtual-Key Codes").
    static constexpr uint32_t kEscape = 0x1B;

    enum class Capture { Keep, Take, Release };
    struct Reaction {
        bool redraw = false;
        Capture capture = Capture::Keep;
        friend bool operator==(const Reaction&, const Reaction&) = default;
    };

    // width, height: the window's size in pixels.
    RegionPickerState(int32_t width, int32_t height);

    // The left button went down, moved or came up at a point of the window.
    // Points outside the window (the mouse is captured during a drag and may
    // leave it) count as the nearest point of its edge, so the selection
    // never reaches past the display.
    Reaction buttonDown(int32_t x, int32_t y);
    Reaction mouseMove(int32_t x, int32_t y);
    Reaction buttonUp(int32_t x, int32_t y);
    // Escape cancels; other keys do nothing.
    Reaction keyDown(uint32_t virtualKey);
    Reaction rightButtonDown();
    // The window was activated or deactivated; otherVisible: the window that
    // takes the activation exists and is visible.
    Reaction activated(bool active, bool otherVisible);
    // The application was activated or deactivated.
    Reaction applicationActivated(bool active);
    // Ends the pick without a result (a quit request, a failed message loop).
    Reaction cancel();

    // After the window lost the keyboard focus: whether it takes it back,
    // which it does while the pick runs and it is still the foreground
    // window without the focus.
    bool takesFocusBack(bool isForeground, bool hasFocus) const;

    bool dragging() const { return dragging_; }
    bool done() const { return done_; }
    bool accepted() const { return accepted_; }
    CanvasPoint anchor() const { return anchor_; }
    CanvasPoint current() const { return current_; }

    // The rectangle spanned by anchor and current while dragging; nothing
    // otherwise (the hint is shown).
    std::optional<CanvasRect> selection() const;
    // The accepted rectangle in virtual-desktop pixels, given the display's
    // bounds; nothing when the pick was not accepted.
    std::optional<ScreenRect> result(const ScreenRect& bounds) const;

private:
    CanvasPoint inside(int32_t x, int32_t y) const;

    int32_t width_;
    int32_t height_;
    bool dragging_ = false;
    bool done_ = false;
    bool accepted_ = false;
    CanvasPoint anchor_;
    CanvasPoint current_;
};

} // namespace qv
