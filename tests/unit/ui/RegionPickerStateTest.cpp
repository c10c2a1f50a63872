// The region picker's decisions: which drags are accepted, the rectangle
// returned in virtual-desktop pixels, what cancels, and when the mouse
// capture is taken and given back.
#include "ui/RegionPickerState.h"

#include "base/StrPrintf.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qv {
namespace {

using Capture = RegionPickerState::Capture;
using Reaction = RegionPickerState::Reaction;

std::string text(const std::optional<ScreenRect>& r) {
    if (!r) return "none";
    return strprintf("(%d,%d,%d,%d)", r->left, r->top, r->right, r->bottom);
}

// A whole drag: down at one point, a few moves, up at the other.
void drag(RegionPickerState& state, CanvasPoint from, CanvasPoint to) {
    state.buttonDown(from.x, from.y);
    state.mouseMove((from.x + to.x) / 2, from.y);
    state.mouseMove(to.x, (from.y + to.y) / 2);
    state.mouseMove(to.x, to.y);
    state.buttonUp(to.x, to.y);
}

TEST(RegionPickerState, ADragInAnyDirectionGivesTheSameRectangleOnTheDesktop) {
    struct Case {
        const char* what;
        ScreenRect bounds;
        CanvasPoint a, b;
        const char* result;
    };
    const ScreenRect primary{0, 0, 1920, 1080};
    const ScreenRect left{-1920, 0, 0, 1080};
    const ScreenRect above{200, -1440, 2760, 0};
    const Case cases[] = {
        {"primary", primary, {300, 200}, {900, 700}, "(300,200,900,700)"},
        {"display left of the primary", left, {100, 100}, {500, 400}, "(-1820,100,-1420,400)"},
        {"display above the primary", above, {10, 20}, {2560, 1440}, "(210,-1420,2760,0)"},
    };
    for (const Case& c : cases) {
        const CanvasPoint corners[][2] = {
            {c.a, c.b},                                       // down and right
            {c.b, c.a},                                       // up and left
            {{c.b.x, c.a.y}, {c.a.x, c.b.y}},                 // down and left
            {{c.a.x, c.b.y}, {c.b.x, c.a.y}},                 // up and right
        };
        for (const auto& corner : corners) {
            SCOPED_TRACE(strprintf("%s: (%d,%d) to (%d,%d)", c.what, corner[0].x, corner[0].y, corner[1].x,
                                   corner[1].y));
            RegionPickerState state(c.bounds.width(), c.bounds.height());
            drag(state, corner[0], corner[1]);
            EXPECT_TRUE(state.done());
            EXPECT_TRUE(state.accepted());
            EXPECT_FALSE(state.dragging());
            EXPECT_EQ(text(state.result(c.bounds)), c.result);
        }
    }
}

TEST(RegionPickerState, TheCaptureIsTakenOnButtonDownAndGivenBackOnButtonUp) {
    RegionPickerState state(1920, 1080);
    EXPECT_EQ(state.mouseMove(10, 10), Reaction{}) << "a move without the button draws nothing";
    EXPECT_EQ(state.buttonUp(10, 10), Reaction{}) << "a button up without a drag does nothing";
    EXPECT_EQ(state.buttonDown(100, 100), (Reaction{true, Capture::Take}));
    EXPECT_EQ(state.selection(), (CanvasRect{100, 100, 100, 100}));
    EXPECT_EQ(state.mouseMove(40, 300), (Reaction{true, Capture::Keep}));
    EXPECT_EQ(state.selection(), (CanvasRect{40, 100, 100, 300}));
    EXPECT_FALSE(state.done());
    EXPECT_EQ(state.buttonUp(40, 300), (Reaction{false, Capture::Release}));
    EXPECT_EQ(text(state.result(ScreenRect{0, 0, 1920, 1080})), "(40,100,100,300)");
}

// A drag with a side shorter than 16 pixels is dropped: the overlay stays
// with its hint, the capture is given back and the next drag counts.
TEST(RegionPickerState, ADragWithASideUnderSixteenPixelsShowsTheHintAgain) {
    struct Case {
        const char* what;
        CanvasPoint from, to;
        bool accepted;
    };
    const Case cases[] = {
        {"15 x 300", {100, 100}, {115, 400}, false},
        {"300 x 15", {100, 100}, {400, 115}, false},
        {"15 x 300 drawn up and left", {115, 400}, {100, 100}, false},
        {"a click", {100, 100}, {100, 100}, false},
        {"16 x 16", {100, 100}, {116, 116}, true},
        {"16 x 16 drawn up and left", {116, 116}, {100, 100}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegionPickerState state(1920, 1080);
        state.buttonDown(c.from.x, c.from.y);
        state.mouseMove(c.to.x, c.to.y);
        const Reaction up = state.buttonUp(c.to.x, c.to.y);
        EXPECT_EQ(up.capture, Capture::Release);
        EXPECT_EQ(state.accepted(), c.accepted);
        EXPECT_EQ(state.done(), c.accepted);
        EXPECT_FALSE(state.dragging());
        if (c.accepted) continue;
        EXPECT_TRUE(up.redraw) << "the hint is drawn again";
        EXPECT_EQ(state.selection(), std::nullopt);
        EXPECT_EQ(text(state.result(ScreenRect{0, 0, 1920, 1080})), "none");

        drag(state, {500, 500}, {700, 600});
        EXPECT_EQ(text(state.result(ScreenRect{0, 0, 1920, 1080})), "(500,500,700,600)");
    }
}

TEST(RegionPickerState, EscapeTheRightButtonAndLosingTheActivationCancel) {
    struct Case {
        const char* what;
        Reaction (*act)(RegionPickerState&);
        bool cancels;
    };
    const Case cases[] = {
        {"Esc", [](RegionPickerState& s) { return s.keyDown(0x1B); }, true},
        {"another key", [](RegionPickerState& s) { return s.keyDown(0x0D); }, false},
        {"right button", [](RegionPickerState& s) { return s.rightButtonDown(); }, true},
        {"another visible window activated (Alt+Tab)",
         [](RegionPickerState& s) { return s.activated(false, true); }, true},
        {"deactivated towards no visible window", [](RegionPickerState& s) { return s.activated(false, false); },
         false},
        {"activated", [](RegionPickerState& s) { return s.activated(true, true); }, false},
        {"the application deactivated", [](RegionPickerState& s) { return s.applicationActivated(false); }, true},
        {"the application activated", [](RegionPickerState& s) { return s.applicationActivated(true); }, false},
    };
    for (const Case& c : cases) {
        for (const bool dragging : {false, true}) {
            SCOPED_TRACE(strprintf("%s, %s", c.what, dragging ? "while dragging" : "with the hint"));
            RegionPickerState state(1920, 1080);
            if (dragging) {
                state.buttonDown(100, 100);
                state.mouseMove(600, 500);
            }
            const Reaction reaction = c.act(state);
            EXPECT_EQ(state.done(), c.cancels);
            EXPECT_FALSE(state.accepted());
            if (c.cancels) {
                EXPECT_FALSE(state.dragging());
                EXPECT_EQ(reaction.capture, dragging ? Capture::Release : Capture::Keep);
                EXPECT_EQ(text(state.result(ScreenRect{0, 0, 1920, 1080})), "none");
            } else {
                EXPECT_EQ(reaction, Reaction{});
                EXPECT_EQ(state.dragging(), dragging);
            }
        }
    }
}

// Messages that still arrive once the pick is decided (the window's
// destruction deactivates it) change nothing.
TEST(RegionPickerState, ADecidedPickIgnoresLaterEvents) {
    RegionPickerState state(1920, 1080);
    drag(state, {100, 100}, {500, 400});
    ASSERT_TRUE(state.accepted());
    EXPECT_EQ(state.activated(false, true), Reaction{});
    EXPECT_EQ(state.applicationActivated(false), Reaction{});
    EXPECT_EQ(state.buttonDown(5, 5), Reaction{});
    EXPECT_EQ(state.mouseMove(900, 900), Reaction{});
    EXPECT_EQ(state.cancel(), Reaction{});
    EXPECT_TRUE(state.accepted());
    EXPECT_EQ(text(state.result(ScreenRect{0, 0, 1920, 1080})), "(100,100,500,400)");
}

// While the button is held the mouse is captured and may wander onto
// another display; the selection stops at this display's edges.
TEST(RegionPickerState, TheSelectionStaysOnTheDisplay) {
    const ScreenRect bounds{-1920, 0, 0, 1080};
    struct Case {
        const char* what;
        CanvasPoint from, to;
        const char* result;
    };
    const Case cases[] = {
        {"onto the display to the right", {1800, 500}, {2500, -300}, "(-120,0,0,500)"},
        {"past the top-left corner", {300, 200}, {-50, -40}, "(-1920,0,-1620,200)"},
        {"past the bottom", {10, 10}, {400, 5000}, "(-1910,10,-1520,1080)"},
        {"past the right edge: the 20 pixels left count", {1900, 100}, {4000, 900}, "(-20,100,0,900)"},
        {"past the right edge: one pixel left is too thin", {1919, 100}, {4000, 900}, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegionPickerState state(bounds.width(), bounds.height());
        drag(state, c.from, c.to);
        EXPECT_EQ(text(state.result(bounds)), c.result);
    }
}

TEST(RegionPickerState, TakesTheFocusBackOnlyAsForegroundWindowWithoutIt) {
    RegionPickerState state(800, 600);
    EXPECT_TRUE(state.takesFocusBack(true, false));
    EXPECT_FALSE(state.takesFocusBack(true, true));
    EXPECT_FALSE(state.takesFocusBack(false, false));
    state.keyDown(0x1B);
    EXPECT_FALSE(state.takesFocusBack(true, false)) << "not once the pick has ended";
}

} // namespace
} // namespace qv
