#include "windows/WindowPlacement.h"

#include "display/DisplayManager.h"
#include "sim/SimDisplays.h"
#include "sim/SimWindows.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimShow;
using sim::SimWindow;

const std::string kHint = " \xE2\x80\x94 some refused (run elevated to move them)";
const std::string kLaptop = "\\\\.\\DISPLAY1";  // 1920x1200 at (0,0), work area 1920x1160
const std::string kLeft = "\\\\.\\DISPLAY2";    // 3840x2160 at (1920,0)
const std::string kRight = "\\\\.\\DISPLAY3";   // 2560x1440 at (5760,0)

// A laptop with two docked monitors, their windows, and the placement service.
class WindowPlacementTest : public test::CoreWorld {
protected:
    void SetUp() override { docked = desk.displays.laptopWithTwoDocked(); }

    // The display key of the monitor with that GDI name, from a fresh enumeration.
    std::string keyOf(const std::string& gdiName) {
        for (const DisplayInfo& info : manager.enumerate())
            if (info.gdiName == gdiName) return info.key;
        return std::string();
    }

    static ScreenRect at(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
        return ScreenRect{left, top, left + width, top + height};
    }

    // A titled window width × height with its top-left corner at (left, top).
    static SimWindow app(std::string title, std::int32_t left, std::int32_t top, std::int32_t width = 800,
                         std::int32_t height = 600) {
        SimWindow w;
        w.title = std::move(title);
        w.rect = at(left, top, width, height);
        return w;
    }

    bool untouched(WindowHandle window) const {
        for (const std::string& call : desk.windows.callsFor(window))
            if (call.rfind("SetWindowPos", 0) == 0 || call.rfind("ShowWindow", 0) == 0) return false;
        return true;
    }

    sim::SimDisplays::Docked docked{};
};

// --- Gathering -----------------------------------------------------------------------

TEST_F(WindowPlacementTest, GatherMovesEveryApplicationWindowAndCountsRefusalsApart) {
    enum class Outcome { Moved, Untouched, Refused };
    struct Case {
        const char* what;
        SimWindow window;
        Outcome outcome;
        ScreenRect rectAfter;  // Moved: GetWindowRect afterwards
        SimShow showAfter = SimShow::Normal;
    };
    const ScreenRect laptopWork = desk.windows.workArea(kLaptop);
    ASSERT_EQ(laptopWork, (ScreenRect{0, 0, 1920, 1160}));
    // A maximised window's rectangle reaches past the work area by its invisible borders.
    const ScreenRect maximisedOnLaptop{-7, 0, 1927, 1167};

    SimWindow maximised = app("Browser", 5800, 100, 1200, 900);
    maximised.show = SimShow::Maximized;
    SimWindow minimised = app("Mail", 2000, 100, 1000, 700);
    minimised.show = SimShow::Minimized;
    SimWindow minimisedFromMaximised = app("Player", 2100, 200, 640, 360);
    minimisedFromMaximised.show = SimShow::Minimized;
    minimisedFromMaximised.maximizeOnRestore = true;
    SimWindow cloaked = app("On another desktop", 2000, 100);
    cloaked.cloaked = true;
    SimWindow cloakUnknown = app("Cloak query fails", 2000, 100, 600, 400);
    cloakUnknown.cloakQueryFails = true;
    SimWindow tool = app("Palette", 2000, 100, 200, 400);
    tool.exStyle = 0x80;  // WS_EX_TOOLWINDOW
    SimWindow toolWithButton = app("Toolbox", 2000, 100, 200, 400);
    toolWithButton.exStyle = 0x80 | 0x40000;  // WS_EX_TOOLWINDOW | WS_EX_APPWINDOW
    SimWindow owned = app("Find", 2500, 300, 400, 200);
    SimWindow elevated = app("Administrator: Terminal", 2000, 100);
    elevated.elevated = true;
    SimWindow failing = app("Closing", 2000, 100);
    failing.moveError = 1400;  // ERROR_INVALID_WINDOW_HANDLE
    SimWindow hidden = app("Hidden", 2000, 100);
    hidden.visible = false;
    SimWindow notRoot = app("Not a root", 2000, 100);
    notRoot.root = 0x9999;
    SimWindow zeroSize = app("Zero size", 2000, 100, 0, 0);

    std::vector<Case> cases = {
        {"plain window", app("Editor", 2000, 100), Outcome::Moved, at(560, 280, 800, 600)},
        {"maximised ends maximised", maximised, Outcome::Moved, maximisedOnLaptop, SimShow::Maximized},
        {"minimised ends restored", minimised, Outcome::Moved, at(460, 230, 1000, 700)},
        {"minimised from maximised ends maximised", minimisedFromMaximised, Outcome::Moved, maximisedOnLaptop,
         SimShow::Maximized},
        {"larger than the work area is shrunk to it", app("Huge", 1920, 0, 3000, 2000), Outcome::Moved, laptopWork},
        {"taller only", app("Tall", 1920, 0, 500, 2000), Outcome::Moved, at(710, 0, 500, 1160)},
        {"cloaked", cloaked, Outcome::Untouched, {}},
        {"cloak state unknown", cloakUnknown, Outcome::Moved, at(660, 380, 600, 400)},
        {"tool window", tool, Outcome::Untouched, {}},
        {"tool window with a taskbar button", toolWithButton, Outcome::Moved, at(860, 380, 200, 400)},
        {"owned window", owned, Outcome::Moved, at(760, 480, 400, 200)},
        {"elevated", elevated, Outcome::Refused, {}},
        {"move fails otherwise", failing, Outcome::Untouched, {}},
        {"untitled", app("", 2000, 100), Outcome::Untouched, {}},
        {"hidden", hidden, Outcome::Untouched, {}},
        {"not its own root", notRoot, Outcome::Untouched, {}},
        {"zero size", zeroSize, Outcome::Untouched, {}},
        {"already on the target", app("Notes", 100, 100), Outcome::Untouched, {}},
    };
    std::vector<WindowHandle> handles;
    for (const Case& c : cases) handles.push_back(desk.windows.open(c.window));
    const WindowHandle ownerOfFind = handles[0];
    desk.windows.window(handles[10]).owner = ownerOfFind;
    // The shell's desktop window covers the laptop but is never moved.
    const WindowHandle shell = desk.windows.open(app("Program Manager", 1920, 0, 3840, 2160));
    desk.windows.setShellWindow(shell);

    const MoveReport report = placement.gatherWindows(keyOf(kLaptop));

    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.moved, 9);
    EXPECT_EQ(report.refused, 1);
    EXPECT_EQ(report.skipped, 2);  // the failed move and the window already there
    EXPECT_EQ(report.message, "Gathered 9 window(s)" + kHint);
    EXPECT_TRUE(untouched(shell));
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const WindowHandle h = handles[i];
        switch (c.outcome) {
        case Outcome::Moved:
            EXPECT_EQ(desk.windows.windowRect(h), c.rectAfter);
            EXPECT_EQ(desk.windows.window(h).show, c.showAfter);
            EXPECT_EQ(desk.windows.monitorOf(h), kLaptop);
            break;
        case Outcome::Refused:
        case Outcome::Untouched:
            EXPECT_EQ(desk.windows.windowRect(h), c.window.show == SimShow::Normal ? c.window.rect : ScreenRect{});
            if (c.outcome == Outcome::Untouched && c.window.moveError == 0) {
                EXPECT_TRUE(untouched(h));
            }
            break;
        }
    }
}

TEST_F(WindowPlacementTest, GatherWithEveryWindowOnTheTargetSkipsThemAll) {
    desk.windows.openOn(kLaptop, "One", 800, 600);
    desk.windows.openOn(kLaptop, "Two", 400, 300);
    const MoveReport report = placement.gatherWindows(keyOf(kLaptop));
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.moved, 0);
    EXPECT_EQ(report.skipped, 2);
    EXPECT_EQ(report.refused, 0);
    EXPECT_EQ(report.message, "Gathered 0 window(s)");
    EXPECT_TRUE(desk.windows.changes().empty());
}

TEST_F(WindowPlacementTest, GatherOntoAMonitorThatIsNotConnectedMovesNothing) {
    const std::string leftKey = keyOf(kLeft);
    const WindowHandle editor = desk.windows.openOn(kLaptop, "Editor", 800, 600);
    desk.displays.unplug(docked.left);

    for (const std::string& target : {leftKey, std::string("no such display")}) {
        const MoveReport report = placement.gatherWindows(target);
        EXPECT_FALSE(report.ok);
        EXPECT_EQ(report.message, "Target monitor not connected");
        EXPECT_EQ(report.moved + report.skipped + report.refused, 0);
    }
    EXPECT_TRUE(untouched(editor));
}

// The monitor map comes from a fresh enumeration for every operation: a
// monitor plugged in after the service was built is a target at once.
TEST_F(WindowPlacementTest, FollowsMonitorsPluggedAndMovedBetweenOperations) {
    const WindowHandle editor = desk.windows.openOn(kLaptop, "Editor", 800, 600);
    const uint32_t extra = desk.displays.plug(sim::SimMonitor::fromEdid({.manufacturer = "SAM",
                                                                .productCode = 0x7001,
                                                                .serialNumber = 7,
                                                                .monitorName = "Odyssey",
                                                                .serialText = "",
                                                                .width = 1280,
                                                                .height = 1024,
                                                                .refreshHz = 60}),
                                     0, -1024);
    const std::string extraGdi = desk.displays.gdiNameOf(extra);
    ASSERT_TRUE(placement.grabWindow(editor, keyOf(extraGdi)));
    EXPECT_EQ(desk.windows.windowRect(editor), at(240, -1024 + 192, 800, 600));
    EXPECT_EQ(placement.displayOfWindow(editor), keyOf(extraGdi));

    // The monitor moves; the window stays where it was, now off every monitor.
    desk.displays.sourceOf(extra).x = -5000;
    EXPECT_EQ(placement.displayOfWindow(editor), "");
    ASSERT_TRUE(placement.grabWindow(editor, keyOf(extraGdi)));
    EXPECT_EQ(desk.windows.windowRect(editor), at(-5000 + 240, -1024 + 192, 800, 600));
}

// Two clones share one GDI device name; only the later record's key finds
// the monitor.
TEST_F(WindowPlacementTest, ClonesResolveToTheLaterRecordOnly) {
    const std::string laptopKey = keyOf(kLaptop);
    const std::string rightKey = keyOf(kRight);
    desk.displays.clone(docked.right, docked.laptop);
    const WindowHandle editor = desk.windows.openOn(kLeft, "Editor", 800, 600);

    const MoveReport toLaptop = placement.gatherWindows(laptopKey);
    EXPECT_EQ(toLaptop.message, "Target monitor not connected");
    EXPECT_TRUE(untouched(editor));

    const MoveReport toRight = placement.gatherWindows(rightKey);
    EXPECT_EQ(toRight.message, "Gathered 1 window(s)");
    EXPECT_EQ(desk.windows.monitorOf(editor), kLaptop);
    EXPECT_EQ(placement.displayOfWindow(editor), rightKey);
}

// --- Grabbing and the centre move -----------------------------------------------------

TEST_F(WindowPlacementTest, GrabRestoresMovesAndMaximisesAgainInThatOrder) {
    SimWindow w = app("Browser", 2000, 100, 1200, 900);
    w.show = SimShow::Maximized;
    const WindowHandle browser = desk.windows.open(w);

    ASSERT_TRUE(placement.grabWindow(browser, keyOf(kRight)));

    // Restored before its size is read, so the restored size is centred.
    EXPECT_EQ(desk.windows.callsFor(browser), (std::vector<std::string>{
                                             "IsZoomed",
                                             "IsIconic",
                                             "ShowWindow(SW_RESTORE)",
                                             "GetWindowRect",
                                             "SetWindowPos(6440, 250, 1200, 900, SWP_NOZORDER|SWP_NOACTIVATE)",
                                             "ShowWindow(SW_SHOWMAXIMIZED)",
                                         }));
    EXPECT_EQ(desk.windows.window(browser).show, SimShow::Maximized);
    EXPECT_EQ(desk.windows.monitorOf(browser), kRight);
}

TEST_F(WindowPlacementTest, GrabTakesAnyWindowButReportsRefusalsAndMissingTargets) {
    SimWindow tool = app("Palette", 2000, 100, 200, 400);
    tool.exStyle = 0x80;
    const WindowHandle palette = desk.windows.open(tool);
    EXPECT_TRUE(placement.grabWindow(palette, keyOf(kLaptop)));  // no application window test
    EXPECT_EQ(desk.windows.monitorOf(palette), kLaptop);

    SimWindow admin = app("Administrator: Terminal", 2000, 100, 1200, 900);
    admin.elevated = true;
    admin.show = SimShow::Maximized;
    const WindowHandle terminal = desk.windows.open(admin);
    EXPECT_FALSE(placement.grabWindow(terminal, keyOf(kLaptop)));
    EXPECT_EQ(desk.windows.window(terminal).show, SimShow::Maximized);
    EXPECT_EQ(desk.windows.monitorOf(terminal), kLeft);

    EXPECT_FALSE(placement.grabWindow(palette, "no such display"));
    EXPECT_FALSE(placement.grabWindow(0, keyOf(kLaptop)));
}

// --- Tiling and snapping ------------------------------------------------------------------

TEST_F(WindowPlacementTest, TileWrapsAfterTheLastCellAndLinesVisibleFramesUpWithCells) {
    const ScreenRect work = desk.windows.workArea(kLaptop);
    std::vector<WindowHandle> tiled;
    for (const char* title : {"E", "D", "C", "B", "A"})
        tiled.insert(tiled.begin(), desk.windows.openOn(kLaptop, title, 700, 500));
    desk.windows.maximize(tiled[1]);
    const WindowHandle elsewhere = desk.windows.openOn(kLeft, "Elsewhere", 700, 500);

    const MoveReport report = placement.tileWindows(keyOf(kLaptop), Grid{2, 2});

    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.moved, 5);
    EXPECT_EQ(report.message, "Tiled 5 window(s) into a 2x2 grid");
    const std::vector<std::int32_t> cells = {0, 1, 2, 3, 0};
    for (size_t i = 0; i < tiled.size(); ++i) {
        SCOPED_TRACE(desk.windows.window(tiled[i]).title);
        EXPECT_EQ(desk.windows.visibleFrame(tiled[i]), Grid({2, 2}).cell(work, cells[i]));
        EXPECT_EQ(desk.windows.window(tiled[i]).show, SimShow::Normal);
    }
    EXPECT_TRUE(untouched(elsewhere));
}

TEST_F(WindowPlacementTest, TileCountsRefusalsAndFailuresWhichStillUseUpTheirCells) {
    const ScreenRect work = desk.windows.workArea(kRight);
    SimWindow admin = app("Administrator", 6000, 100);
    admin.elevated = true;
    SimWindow closing = app("Closing", 6000, 100);
    closing.moveError = 1400;
    const WindowHandle third = desk.windows.open(app("Third", 6000, 100));
    desk.windows.open(closing);
    desk.windows.open(admin);

    const MoveReport report = placement.tileWindows(keyOf(kRight), Grid{3, 1});

    EXPECT_EQ(report.moved, 1);
    EXPECT_EQ(report.refused, 1);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.message, "Tiled 1 window(s) into a 3x1 grid" + kHint);
    EXPECT_EQ(desk.windows.visibleFrame(third), Grid({3, 1}).cell(work, 2));
}

TEST_F(WindowPlacementTest, TileReportsBadGridsMissingMonitorsAndEmptyDisplays) {
    desk.windows.openOn(kLaptop, "Editor", 800, 600);
    struct Case {
        Grid grid;
        std::string target;
        bool ok;
        std::string message;
    };
    const std::vector<Case> cases = {
        {Grid{0, 2}, keyOf(kLaptop), false, "Invalid grid"},
        {Grid{2, 9}, keyOf(kLaptop), false, "Invalid grid"},
        {Grid{2, 2}, "no such display", false, "Monitor not connected"},
        {Grid{2, 2}, keyOf(kRight), true, "No windows on that display to tile"},
    };
    for (const Case& c : cases) {
        const MoveReport report = placement.tileWindows(c.target, c.grid);
        EXPECT_EQ(report.ok, c.ok) << c.message;
        EXPECT_EQ(report.message, c.message);
        EXPECT_EQ(report.moved + report.skipped + report.refused, 0) << c.message;
    }
    EXPECT_TRUE(desk.windows.changes().empty());
}

// The window rectangle is widened by the invisible borders so that the
// visible frame, not the window rectangle, fills the cell.
TEST_F(WindowPlacementTest, RectanglePlacementWidensTheTargetByTheInvisibleFrame) {
    const std::string laptopKey = keyOf(kLaptop);
    SimWindow framed = app("Framed", 100, 100);
    framed.invisibleBorders = {7, 0, 7, 7};
    SimWindow frameless = framed;
    frameless.title = "No DWM frame";
    frameless.frameQueryFails = true;
    const WindowHandle a = desk.windows.open(framed);
    const WindowHandle b = desk.windows.open(frameless);

    ASSERT_TRUE(placement.snapWindow(a, laptopKey, Grid{2, 2}, 0));
    ASSERT_TRUE(placement.snapWindow(b, laptopKey, Grid{2, 2}, 3));

    const std::vector<std::string> aCalls = desk.windows.callsFor(a);
    EXPECT_EQ(aCalls.back(), "SetWindowPos(-7, 0, 974, 587, SWP_NOZORDER|SWP_NOACTIVATE)");
    EXPECT_EQ(desk.windows.visibleFrame(a), (ScreenRect{0, 0, 960, 580}));
    // Without the frame bounds the window rectangle itself fills the cell.
    EXPECT_EQ(desk.windows.callsFor(b).back(), "SetWindowPos(960, 580, 960, 580, SWP_NOZORDER|SWP_NOACTIVATE)");
}

TEST_F(WindowPlacementTest, SnapPlacesOneApplicationWindowInOneCell) {
    const std::string leftKey = keyOf(kLeft);
    const ScreenRect work = desk.windows.workArea(kLeft);
    SimWindow maximisedWindow = app("Editor", 100, 100);
    maximisedWindow.show = SimShow::Maximized;
    const WindowHandle editor = desk.windows.open(maximisedWindow);

    ASSERT_TRUE(placement.snapWindow(editor, leftKey, Grid{2, 2}, 3));
    EXPECT_EQ(desk.windows.visibleFrame(editor), (ScreenRect{work.left + 1920, 1060, work.right, work.bottom}));
    EXPECT_EQ(desk.windows.window(editor).show, SimShow::Normal);

    desk.windows.clearCalls();
    EXPECT_FALSE(placement.snapWindow(editor, leftKey, Grid{2, 2}, 4));
    EXPECT_FALSE(placement.snapWindow(editor, leftKey, Grid{2, 2}, -1));
    EXPECT_FALSE(placement.snapWindow(editor, leftKey, Grid{9, 1}, 0));
    EXPECT_FALSE(placement.snapWindow(editor, "no such display", Grid{2, 2}, 0));
    EXPECT_FALSE(placement.snapWindow(0, leftKey, Grid{2, 2}, 0));
    SimWindow tool = app("Palette", 2000, 100, 200, 400);
    tool.exStyle = 0x80;
    const WindowHandle palette = desk.windows.open(tool);
    EXPECT_FALSE(placement.snapWindow(palette, leftKey, Grid{2, 2}, 0));
    EXPECT_TRUE(desk.windows.changes().empty());

    SimWindow admin = app("Administrator", 2000, 100);
    admin.elevated = true;
    EXPECT_FALSE(placement.snapWindow(desk.windows.open(admin), leftKey, Grid{2, 2}, 0));
}

// --- Window lists --------------------------------------------------------------------------

TEST_F(WindowPlacementTest, ApplicationWindowTestAsksInItsOrder) {
    const WindowHandle editor = desk.windows.openOn(kLaptop, "Editor", 800, 600);
    EXPECT_TRUE(placement.isAppWindow(editor));
    EXPECT_EQ(desk.windows.callsFor(editor), (std::vector<std::string>{
                                            "IsWindowVisible",
                                            "GetAncestor(GA_ROOT)",
                                            "DwmGetWindowAttribute(DWMWA_CLOAKED)",
                                            "GetWindowLongPtr(GWL_EXSTYLE)",
                                            "GetWindowRect",
                                            "GetWindowTextLength",
                                        }));
}

TEST_F(WindowPlacementTest, WindowsOnADisplayInZOrderWithTheirTitles) {
    const std::string laptopKey = keyOf(kLaptop);
    const WindowHandle back = desk.windows.openOn(kLaptop, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5 playlist", 800, 600);
    desk.windows.openOn(kLeft, "Elsewhere", 800, 600);
    SimWindow tool = app("Palette", 100, 100, 200, 400);
    tool.exStyle = 0x80;
    desk.windows.open(tool);
    SimWindow minimised = app("Mail", 100, 100);
    minimised.show = SimShow::Minimized;
    const WindowHandle mail = desk.windows.open(minimised);
    const WindowHandle front = desk.windows.openOn(kLaptop, "Editor", 800, 600);
    const WindowHandle offscreen = desk.windows.open(app("Lost", 20000, 20000));

    EXPECT_EQ(placement.windowsOnDisplay(laptopKey),
              (std::vector<WindowEntry>{{front, "Editor", laptopKey},
                                        {mail, "Mail", laptopKey},
                                        {back, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5 playlist", laptopKey}}));
    EXPECT_EQ(placement.windowsOnDisplay(""), (std::vector<WindowEntry>{{offscreen, "Lost", ""}}));
    EXPECT_EQ(placement.displayOfWindow(mail), laptopKey);
    EXPECT_EQ(placement.displayOfWindow(offscreen), "");
    EXPECT_EQ(placement.displayOfWindow(0), "");
}

TEST_F(WindowPlacementTest, ForegroundCountsOnlyWhenItIsAnApplicationWindow) {
    const WindowHandle editor = desk.windows.openOn(kLaptop, "Editor", 800, 600);
    SimWindow tool = app("Palette", 100, 100, 200, 400);
    tool.exStyle = 0x80;
    const WindowHandle palette = desk.windows.open(tool);

    EXPECT_EQ(placement.foregroundAppWindow(), 0u);
    desk.windows.setForeground(editor);
    EXPECT_EQ(placement.foregroundAppWindow(), editor);
    desk.windows.setForeground(palette);
    EXPECT_EQ(placement.foregroundAppWindow(), 0u);
}

} // namespace
} // namespace qv
