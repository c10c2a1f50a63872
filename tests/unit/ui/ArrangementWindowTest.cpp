// The arrangement window's decisions: what it loads, how the desktop is
// fitted into the canvas, which tile a click picks, where a drag puts a
// display and how it snaps, what each button does, and what is painted.
#include "ui/ArrangementWindow.h"

#include "base/StrPrintf.h"
#include "sim/SimArrangementSurface.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace qv::test {
namespace {

std::string text(const PixelRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

std::string text(const ArrangementItem& item) {
    return strprintf("(%d,%d)-(%d,%d)", item.left, item.top, item.right, item.bottom);
}

// A monitor of its own make (the product code keeps the keys apart) at (x, y).
uint32_t plug(sim::SimDesktop& desk, uint16_t product, uint32_t width, uint32_t height, int32_t x, int32_t y) {
    return desk.displays.plug(
        sim::SimMonitor::fromEdid({.manufacturer = "ABC", .productCode = product, .width = width, .height = height}),
        x, y);
}

// One display is the whole extent: it fills 86 % of the canvas side that
// limits it (each half cut toward zero) and sits in the canvas's middle, at
// any DPI.
TEST(ArrangementFit, OneDisplayFillsEightySixPercentOfTheLimitingSideCentred) {
    struct Case {
        const char* what;
        uint32_t width, height, dpi;
        const char* canvas;
        const char* tile;
    };
    const Case cases[] = {
        // The canvas is 568 x 300 at 96 DPI, centre (300,208): a 16:9 display
        // is limited by the height, 258 of 300.
        {"landscape, height limits", 1920, 1080, 96, "(16,58)-(584,358)", "(71,79)-(529,337)"},
        // A very wide one by the width, 488 of 568.
        {"ultra-wide, width limits", 5120, 1080, 96, "(16,58)-(584,358)", "(56,157)-(544,259)"},
        {"portrait", 1080, 1920, 96, "(16,58)-(584,358)", "(228,79)-(372,337)"},
        // 852 x 450 at 150 %, centre (450,312): 387 of 450.
        {"150 %", 1920, 1080, 144, "(24,87)-(876,537)", "(106,119)-(794,505)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CoreObjects world;
        plug(world.desk, 0x1001, c.width, c.height, 0, 0);
        sim::SimArrangementSurface surface;
        surface.dpiOfWindow = c.dpi;
        ArrangementWindow window(surface, world.bus);
        ASSERT_TRUE(window.open());
        EXPECT_EQ(text(window.canvas()), c.canvas);
        ASSERT_EQ(window.items().size(), 1u);
        EXPECT_EQ(text(window.tileRect(window.items()[0])), c.tile);
    }
}

// Where a dragged display's top-left corner ends up, with a tolerance of 10
// desktop pixels. The dragged item is the last one, 100 x 50.
TEST(ArrangementSnap, EdgesWithinTheToleranceTouchAndLaterDisplaysOverrideEarlierOnes) {
    const auto item = [](int32_t left, int32_t top, int32_t right, int32_t bottom) {
        ArrangementItem i;
        i.left = left;
        i.top = top;
        i.right = right;
        i.bottom = bottom;
        return i;
    };
    const ArrangementItem other = item(0, 0, 1000, 500);
    struct Case {
        const char* what;
        std::vector<ArrangementItem> others;
        int32_t left, top;
        int32_t snappedLeft, snappedTop;
    };
    // Far below the other display, so only the horizontal edges are near.
    const int32_t below = 2000;
    const Case cases[] = {
        {"left edge near its right edge", {other}, 1009, below, 1000, below},
        {"left edge just inside its right edge", {other}, 991, below, 1000, below},
        {"left edge 10 away: outside", {other}, 1010, below, 1010, below},
        {"right edge near its left edge", {other}, -95, below, -100, below},
        {"right edge 10 away: outside", {other}, -110, below, -110, below},
        {"left edges aligned", {other}, 7, below, 0, below},
        {"top edge near its bottom edge", {other}, 3000, 508, 3000, 500},
        {"bottom edge near its top edge", {other}, 3000, -53, 3000, -50},
        {"top edges aligned", {other}, 3000, -6, 3000, 0},
        {"top edge 10 away: outside", {other}, 3000, 510, 3000, 510},
        {"both at once: a corner", {other}, 1004, 496, 1000, 500},
        // A narrow display (8 wide) is near with both edges: its right edge wins.
        {"its right edge before its left edge", {item(0, 0, 8, 500)}, 3, below, 8, below},
        // The second display is checked against the position the first gave.
        {"a later display overrides", {other, item(1005, 3000, 2000, 3500)}, 1003, below, 1005, below},
        {"a later display out of reach changes nothing", {other, item(1011, 3000, 2000, 3500)}, 1003, below, 1000,
         below},
        {"no other display", {}, 1003, 5, 1003, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ArrangementItem> items = c.others;
        items.push_back(item(c.left, c.top, c.left + 100, c.top + 50));
        int32_t left = c.left;
        int32_t top = c.top;
        ArrangementWindow::snap(items, static_cast<int>(items.size()) - 1, 10, left, top);
        EXPECT_EQ(left, c.snappedLeft);
        EXPECT_EQ(top, c.snappedTop);
    }
}

class ArrangementWindowTest : public CoreWorld {
protected:
    void SetUp() override {
        bus.setResultListener([this](const Action& action, const ActionResult& result) {
            actions.push_back(action);
            results.push_back(result);
        });
    }

    struct Point {
        int32_t x;
        int32_t y;
    };
    Point centreOf(int item) const {
        const PixelRect r = window.tileRect(window.items()[static_cast<size_t>(item)]);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Presses the left button on the item's tile, moves by the offset in
    // client pixels and lets go.
    void drag(int item, int32_t dx, int32_t dy) {
        const Point from = centreOf(item);
        window.onMouseDown(from.x, from.y);
        window.onMouseMove(from.x + dx, from.y + dy);
        window.onMouseUp();
    }
    void click(int item) {
        const Point at = centreOf(item);
        window.onMouseDown(at.x, at.y);
        window.onMouseUp();
    }
    DisplayInfo display(const std::string& key) {
        for (const DisplayInfo& d : bus.displays())
            if (d.key == key) return d;
        ADD_FAILURE() << "no display " << key;
        return {};
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        for (const std::string& line : desk.debug.lines())
            if (line.find("ArrangementWindow") != std::string::npos) out.push_back(line);
        return out;
    }

    sim::SimArrangementSurface surface;
    ArrangementWindow window{surface, bus};
    std::vector<Action> actions;
    std::vector<ActionResult> results;
};

// Two 1920 x 1080 displays 480 pixels apart. The extent (4320 wide) is
// drawn at a scale of about 0.113, so the tolerance is 1 + 106 desktop
// pixels, 12 screen pixels.
TEST_F(ArrangementWindowTest, DraggingALeftEdgeNearAnotherDisplaysRightEdgeMakesThemTouch) {
    plug(desk, 0x1001, 1920, 1080, 0, 0);
    plug(desk, 0x1002, 1920, 1080, 2400, 0);
    ASSERT_TRUE(window.open());
    ASSERT_EQ(window.items().size(), 2u);
    const double scale = window.scale();
    ASSERT_NEAR(scale, 488.48 / 4320, 1e-9);
    // The gap is 54 screen pixels.
    EXPECT_EQ(window.tileRect(window.items()[1]).left - window.tileRect(window.items()[0]).right, 54);

    struct Case {
        const char* what;
        int32_t dx;
        int32_t left; // where the dragged display's left edge ends up
    };
    const Case cases[] = {
        {"11 screen pixels short: touches", -43, 1920},
        {"2 screen pixels short: touches", -52, 1920},
        {"2 screen pixels over: pushed back to touch", -56, 1920},
        {"14 screen pixels short: moved, not snapped", -40, 2400 - 353},
        {"not moved: stays", 0, 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window.onCommand(ArrangementWindow::kRevert);
        surface.clearCalls();
        drag(1, c.dx, 0);
        EXPECT_EQ(text(window.items()[1]), strprintf("(%d,0)-(%d,1080)", c.left, c.left + 1920));
        EXPECT_EQ(window.scale(), scale) << "no refit while dragging";
        EXPECT_EQ(text(window.items()[0]), "(0,0)-(1920,1080)");
        EXPECT_EQ(surface.calls, (std::vector<std::string>{"capture", "invalidate", "invalidate", "release"}));
        EXPECT_FALSE(surface.captured);
    }
    EXPECT_TRUE(actions.empty()) << "dragging alone changes nothing";

    // Applied: the desktop has the two displays side by side.
    window.onCommand(ArrangementWindow::kRevert);
    drag(1, -43, 0);
    window.onCommand(ArrangementWindow::kApply);
    ASSERT_EQ(actions.size(), 1u);
    ASSERT_TRUE(results[0].ok) << results[0].message;
    EXPECT_EQ(display(window.items()[1].key).posX, 1920);
    EXPECT_EQ(display(window.items()[1].key).posY, 0);
}

// Marking the right-hand monitor primary and applying: one ApplyArrangement
// with every display in list order, after which that monitor is the primary
// at the desktop's origin and the others sit where they were relative to it.
TEST_F(ArrangementWindowTest, SetAsPrimaryThenApplyMakesThatDisplayThePrimaryAtTheOrigin) {
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    ASSERT_EQ(window.items().size(), 3u);
    click(2);
    EXPECT_EQ(window.selected(), 2);
    window.onCommand(ArrangementWindow::kSetPrimary);
    ASSERT_TRUE(window.items()[2].primary);
    EXPECT_FALSE(window.items()[0].primary);
    EXPECT_TRUE(actions.empty()) << "nothing changes before Apply";

    window.onCommand(ArrangementWindow::kApply);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::ApplyArrangement);
    const std::vector<DisplayPlacement> placements = {
        {"BOE-0A1C", 0, 0, 1920, 1200, 60, 0, false, {60000, 1000}, std::nullopt},
        {"DEL-41A8-0x4C4B3033", 1920, 0, 3840, 2160, 60, 0, false, {60000, 1000}, std::nullopt},
        {"GSM-5B09-205NTABC1234", 5760, 0, 2560, 1440, 144, 0, true, {144000, 1000}, std::nullopt},
    };
    EXPECT_EQ(actions[0].placements, placements);
    ASSERT_TRUE(results[0].ok) << results[0].message;

    const DisplayInfo right = display("GSM-5B09-205NTABC1234");
    EXPECT_TRUE(right.primary);
    EXPECT_EQ(right.posX, 0);
    EXPECT_EQ(right.posY, 0);
    EXPECT_EQ(display("BOE-0A1C").posX, -5760);
    EXPECT_FALSE(display("BOE-0A1C").primary);
    EXPECT_EQ(display("DEL-41A8-0x4C4B3033").posX, -3840);

    // The window shows the desktop as it now is.
    EXPECT_EQ(window.selected(), -1);
    EXPECT_EQ(text(window.items()[2]), "(0,0)-(2560,1440)");
    EXPECT_TRUE(window.items()[2].primary);
    EXPECT_EQ(text(window.items()[0]), "(-5760,0)-(-3840,1200)");
    EXPECT_EQ(surface.calls.back(), "invalidate");
}

// Apply with nothing moved leaves the desktop alone: no mode is set, not
// even on a monitor at 59.94 Hz whose driver lists 60 Hz first.
TEST_F(ArrangementWindowTest, ApplyingWithoutAChangeSetsNoMode) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    desk.displays.target(docked.right).monitor.modes.push_back({2560, 1440, 60, 32, Rational{60000, 1001}});
    desk.displays.target(docked.right).monitor.vsync = Rational{60000, 1001};
    desk.displays.sourceOf(docked.right).refreshHz = 60;
    ASSERT_TRUE(window.open());
    desk.displays.clearCalls();

    window.onCommand(ArrangementWindow::kApply);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok);
    EXPECT_EQ(results[0].message, DisplayManager::ArrangementInEffect);
    for (const std::string& call : desk.displays.calls()) {
        EXPECT_NE(call.rfind("ChangeDisplaySettingsEx", 0), 0u) << call;
        EXPECT_NE(call.rfind("SetDisplayConfig", 0), 0u) << call;
    }
    EXPECT_EQ(display("GSM-5B09-205NTABC1234").refreshRate, (RefreshRate{60000, 1001}));
}

TEST_F(ArrangementWindowTest, AClickOnEmptyCanvasClearsTheSelectionAndSetAsPrimaryThenDoesNothing) {
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    click(1);
    ASSERT_EQ(window.selected(), 1);
    const PixelRect canvas = window.canvas();
    surface.clearCalls();
    window.onMouseDown(canvas.left + 1, canvas.top + 1);
    window.onMouseUp();
    EXPECT_EQ(window.selected(), -1);
    EXPECT_EQ(window.dragged(), -1);
    EXPECT_EQ(surface.calls, std::vector<std::string>{"invalidate"}) << "no capture without a tile";

    surface.clearCalls();
    window.onCommand(ArrangementWindow::kSetPrimary);
    EXPECT_TRUE(surface.calls.empty());
    EXPECT_TRUE(window.items()[0].primary);
    EXPECT_FALSE(window.items()[1].primary);

    // Apply keeps the laptop panel primary.
    window.onCommand(ArrangementWindow::kApply);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_TRUE(actions[0].placements[0].primary);
    EXPECT_FALSE(actions[0].placements[1].primary);
    EXPECT_TRUE(display("BOE-0A1C").primary);
}

// Two displays overlapping by a quarter: a click where both are drawn picks
// the later one; tiles include their left and top edges, not their right and
// bottom ones.
TEST_F(ArrangementWindowTest, OverlappingTilesPickTheOneDrawnLast) {
    plug(desk, 0x1001, 1920, 1080, 0, 0);
    plug(desk, 0x1002, 1920, 1080, 960, 540);
    ASSERT_TRUE(window.open());
    const PixelRect first = window.tileRect(window.items()[0]);
    const PixelRect second = window.tileRect(window.items()[1]);
    ASSERT_LT(second.left, first.right);
    ASSERT_LT(second.top, first.bottom);
    struct Case {
        const char* what;
        int32_t x, y;
        int hit;
    };
    const Case cases[] = {
        {"where both are drawn", second.left, second.top, 1},
        {"the first's top-left corner", first.left, first.top, 0},
        {"the first's last column", first.right - 1, first.top, 0},
        {"right of the first", first.right, first.top, -1},
        {"below the first", first.left, first.bottom, -1},
        {"the second's bottom-right corner", second.right - 1, second.bottom - 1, 1},
        {"beyond the second", second.right, second.bottom - 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(window.hitTest(c.x, c.y), c.hit);
    }

    // Dragging from the overlap moves the later display.
    window.onMouseDown(second.left + 1, second.top + 1);
    EXPECT_EQ(window.selected(), 1);
    window.onMouseMove(second.left + 1, second.top + 101);
    window.onMouseUp();
    EXPECT_EQ(window.items()[0].top, 0);
    EXPECT_GT(window.items()[1].top, 540);
}

// Opening, reopening, Revert, Close and the close box.
TEST_F(ArrangementWindowTest, LifecycleAndUnappliedMoves) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"create QuorvaneArrange", "layout 96 600x440", "invalidate",
                                                       "show"}));
    EXPECT_EQ(surface.windowClass.title, "Quorvane \xE2\x80\x94 Arrange displays");
    EXPECT_EQ(surface.windowClass.exStyle, 0x00000001u);             // WS_EX_DLGMODALFRAME
    EXPECT_EQ(surface.windowClass.style, 0x00C00000u | 0x00080000u); // WS_CAPTION | WS_SYSMENU
    EXPECT_EQ(surface.windowClass.iconResource, 101);

    // Revert drops a move and the primary mark.
    drag(0, 0, 40);
    ASSERT_NE(window.items()[0].top, 0);
    click(1);
    window.onCommand(ArrangementWindow::kSetPrimary);
    window.onCommand(ArrangementWindow::kRevert);
    EXPECT_EQ(text(window.items()[0]), "(0,0)-(1920,1200)");
    EXPECT_TRUE(window.items()[0].primary);
    EXPECT_FALSE(window.items()[1].primary);
    EXPECT_EQ(window.selected(), -1);

    // Opening again while open: the same window, reloaded from the desktop as
    // it now is (a display moved meanwhile), in front.
    drag(0, 0, 40);
    click(2);
    desk.displays.sourceOf(docked.right).y = 100;
    surface.clearCalls();
    ASSERT_TRUE(window.open());
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"invalidate", "show"}));
    EXPECT_EQ(surface.creations, 1);
    EXPECT_EQ(text(window.items()[0]), "(0,0)-(1920,1200)");
    EXPECT_EQ(window.items()[2].top, 100);
    EXPECT_EQ(window.selected(), -1);

    // Close, then open again: a new window.
    window.onCommand(ArrangementWindow::kClose);
    EXPECT_FALSE(window.isOpen());
    EXPECT_FALSE(surface.visible);
    ASSERT_TRUE(window.open());
    EXPECT_EQ(surface.creations, 2);
    EXPECT_TRUE(surface.visible);
    // The close box likewise.
    window.onClose();
    EXPECT_FALSE(window.isOpen());
    ASSERT_TRUE(window.open());
    EXPECT_EQ(surface.creations, 3);
    EXPECT_TRUE(actions.empty()) << "only Apply changes the desktop";
}

TEST_F(ArrangementWindowTest, AWindowThatCannotBeCreatedIsLoggedOnceAndNothingIsShown) {
    desk.displays.laptopWithTwoDocked();
    surface.failCreate = true;
    EXPECT_FALSE(window.open());
    EXPECT_EQ(logLines(), std::vector<std::string>{"[Quorvane][ERR] ArrangementWindow: CreateWindowEx failed\n"});
    EXPECT_EQ(surface.calls, std::vector<std::string>{"create QuorvaneArrange"});
    EXPECT_FALSE(surface.visible);

    // A later request tries again.
    surface.failCreate = false;
    EXPECT_TRUE(window.open());
    EXPECT_TRUE(surface.visible);
    EXPECT_EQ(logLines().size(), 1u);
}

// Button notifications: a click and a quick second click count; focus and
// other notifications do not. Unknown ids do nothing.
TEST_F(ArrangementWindowTest, ButtonClicksAndDoubleClicksCountOtherNotificationsDoNot) {
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    window.onCommand(ArrangementWindow::kApply, 6); // BN_SETFOCUS
    window.onCommand(9999);
    EXPECT_TRUE(actions.empty());
    window.onCommand(ArrangementWindow::kApply, ArrangementWindow::kBnClicked);
    window.onCommand(ArrangementWindow::kApply, ArrangementWindow::kBnDoubleClicked);
    EXPECT_EQ(actions.size(), 2u);
    window.onCommand(ArrangementWindow::kClose, 7); // BN_KILLFOCUS
    EXPECT_TRUE(window.isOpen());
}

// The mouse capture taken by another window ends the drag: moving the mouse
// afterwards, button up or not, moves nothing.
TEST_F(ArrangementWindowTest, LosingTheCaptureEndsTheDrag) {
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    const Point from = centreOf(1);
    window.onMouseDown(from.x, from.y);
    window.onMouseMove(from.x, from.y + 30);
    const std::string moved = text(window.items()[1]);
    window.onCaptureLost();
    window.onMouseMove(from.x, from.y + 90);
    EXPECT_EQ(text(window.items()[1]), moved);
    surface.clearCalls();
    window.onMouseUp();
    EXPECT_TRUE(surface.calls.empty()) << "nothing left to release";
}

// A DPI change lays the window out again at the new DPI and refits the view
// to the larger canvas; a drag in progress ends.
TEST_F(ArrangementWindowTest, ADpiChangeLaysOutAndRefits) {
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(window.open());
    const double scale = window.scale();
    const Point from = centreOf(0);
    window.onMouseDown(from.x, from.y);
    surface.clearCalls();
    window.onDpiChanged(192);
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"release", "layout 192 1200x880", "invalidate"}));
    EXPECT_EQ(window.dragged(), -1);
    EXPECT_DOUBLE_EQ(window.scale(), scale * 2);
    EXPECT_EQ(text(window.canvas()), "(32,116)-(1168,716)");
}

// What the surface is given at 150 %: sizes, fonts, buttons; and what it paints.
TEST_F(ArrangementWindowTest, LayoutAndSceneAtTheWindowsDpi) {
    desk.displays.laptopWithTwoDocked();
    config.displayNames["DEL-41A8-0x4C4B3033"] = "Desk \xE2\x80\x9C" "4K\xE2\x80\x9D";
    surface.dpiOfWindow = 144;
    ASSERT_TRUE(window.open());

    const ArrangementLayout& layout = surface.lastLayout;
    EXPECT_EQ(layout.dpi, 144u);
    EXPECT_EQ(layout.clientWidth, 900);
    EXPECT_EQ(layout.clientHeight, 660);
    EXPECT_EQ(layout.body.height, -21);
    EXPECT_EQ(layout.body.weight, 400);
    EXPECT_EQ(layout.title.height, -26);
    EXPECT_EQ(layout.title.weight, 600);
    struct Button {
        uint32_t id;
        const char* caption;
        DipRect rect;
    };
    const Button buttons[] = {
        {2001, "Set as primary", {16, 372, 146, 402}},
        {2002, "Apply", {304, 372, 390, 402}},
        {2003, "Revert", {396, 372, 482, 402}},
        {2004, "Close", {494, 372, 584, 402}},
    };
    ASSERT_EQ(layout.controls.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(buttons[i].caption);
        const ClassicControl& control = layout.controls[i];
        EXPECT_EQ(control.id, buttons[i].id);
        EXPECT_EQ(control.kind, ControlKind::Button);
        EXPECT_EQ(control.caption, buttons[i].caption);
        EXPECT_EQ(control.rect, buttons[i].rect);
        EXPECT_TRUE(control.enabled);
    }

    click(1);
    const ArrangementScene scene = window.scene();
    EXPECT_EQ(text(scene.client), "(0,0)-(900,660)");
    EXPECT_EQ(scene.background, 0x121318u);
    EXPECT_EQ(scene.title.text, "Arrange displays");
    EXPECT_EQ(text(scene.title.band), "(24,18)-(876,51)");
    EXPECT_EQ(scene.title.font, FontRole::Title);
    EXPECT_EQ(scene.title.color, 0xF3F4F8u);
    EXPECT_EQ(scene.subtitle.text, "Drag a display to reposition it, then Apply.");
    EXPECT_EQ(text(scene.subtitle.band), "(24,51)-(876,81)");
    EXPECT_EQ(scene.subtitle.font, FontRole::Body);
    EXPECT_EQ(scene.subtitle.color, 0x979DADu);

    ASSERT_EQ(scene.tiles.size(), 3u);
    // The laptop panel: primary, not selected.
    const ArrangementTile& primary = scene.tiles[0];
    EXPECT_EQ(primary.rect, window.tileRect(window.items()[0]));
    EXPECT_EQ(primary.corner, 12);
    EXPECT_EQ(primary.fill, 0x33BEF5u);
    EXPECT_EQ(primary.outline, 0x333744u);
    EXPECT_EQ(primary.outlineWidth, 2);
    EXPECT_EQ(primary.mode.text, "1920x1200  \xE2\x98\x85");
    EXPECT_EQ(primary.name.color, 0x0C0E12u);
    EXPECT_EQ(primary.mode.color, 0x0C0E12u);
    // The selected monitor, under the user's name for it.
    const ArrangementTile& selected = scene.tiles[1];
    EXPECT_EQ(selected.fill, 0x1C1E26u);
    EXPECT_EQ(selected.outline, 0x33BEF5u);
    EXPECT_EQ(selected.outlineWidth, 3);
    EXPECT_EQ(selected.name.text, "Desk \xE2\x80\x9C" "4K\xE2\x80\x9D");
    EXPECT_EQ(selected.name.color, 0xF3F4F8u);
    EXPECT_EQ(selected.mode.text, "3840x2160");
    EXPECT_TRUE(selected.name.centered);
    const int32_t mid = (selected.rect.top + selected.rect.bottom) / 2;
    EXPECT_EQ(selected.name.band, (PixelRect{selected.rect.left, mid - 24, selected.rect.right, mid}));
    EXPECT_EQ(selected.mode.band, (PixelRect{selected.rect.left, mid, selected.rect.right, mid + 24}));
    EXPECT_EQ(scene.tiles[2].outlineWidth, 2);
    EXPECT_EQ(scene.tiles[2].mode.text, "2560x1440");

    // Buttons: pressed, normal and disabled.
    struct Look {
        bool pressed, enabled;
        ButtonPaint paint;
    };
    const Look looks[] = {
        {false, true, {0x1C1E26, 0x333744, 0xF3F4F8, false}},
        {true, true, {0x15161C, 0x333744, 0xF3F4F8, false}},
        {false, false, {0x1C1E26, 0x333744, 0x979DAD, false}},
    };
    for (const Look& l : looks) {
        const ArrangementButtonLook look = window.buttonLook(ArrangementWindow::kApply, l.pressed, l.enabled);
        EXPECT_EQ(look.caption, "Apply");
        EXPECT_EQ(look.paint, l.paint);
        EXPECT_EQ(look.corner, 9);
    }
}

// Nothing to arrange, and a mouse far outside the window: no crash, no
// overflow, and an Apply that the bus answers as a failure.
TEST_F(ArrangementWindowTest, NoDisplaysAndExtremeMouseMovesAreHandled) {
    ASSERT_TRUE(window.open());
    EXPECT_TRUE(window.items().empty());
    EXPECT_TRUE(window.scene().tiles.empty());
    window.onMouseDown(300, 200);
    EXPECT_EQ(window.selected(), -1);
    window.onCommand(ArrangementWindow::kSetPrimary);
    window.onCommand(ArrangementWindow::kApply);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(results[0].message, "Empty arrangement");

    plug(desk, 0x1001, 1920, 1080, 0, 0);
    ASSERT_TRUE(window.open());
    const Point from = centreOf(0);
    window.onMouseDown(from.x, from.y);
    for (const Point to : {Point{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()},
                           Point{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}}) {
        window.onMouseMove(to.x, to.y);
        const ArrangementItem& moved = window.items()[0];
        EXPECT_EQ(int64_t{moved.right} - moved.left, 1920) << "the display keeps its size";
        EXPECT_EQ(int64_t{moved.bottom} - moved.top, 1080);
    }
    window.onMouseUp();
    (void)window.scene();
    window.onCommand(ArrangementWindow::kRevert);
    EXPECT_EQ(text(window.items()[0]), "(0,0)-(1920,1080)");
}

} // namespace
} // namespace qv::test
