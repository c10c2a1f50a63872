#include "windows/WindowHomecoming.h"

#include "layout/HotplugRestore.h"
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

const std::string kLaptop = "\\\\.\\DISPLAY1";  // 1920x1200 at (0,0), work area 1920x1160
const std::string kHint = " \xE2\x80\x94 some refused (run elevated to move them)";

// WINDOWPLACEMENT show commands, learn.microsoft.com "ShowWindow function".
constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kShowMinimized = 2;
constexpr std::uint32_t kShowMaximized = 3;

ScreenRect at(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    return ScreenRect{left, top, left + width, top + height};
}

SimWindow app(std::string title, ScreenRect rect) {
    SimWindow w;
    w.title = std::move(title);
    w.rect = rect;
    return w;
}

// A laptop with two docked monitors, wired as the tray controller wires it:
// the hotplug restore tells the homecoming about changes and settles, and a
// one-shot timer stands in for the controller's settle timer. The tests play
// Windows' part when a monitor goes: windows left on no monitor are moved
// onto the laptop's panel, without any call the program could see.
struct HomecomingDesk : test::CoreObjects, DisplayChangeListener {
    HomecomingDesk() {
        docked = desk.displays.laptopWithTwoDocked();
        leftMonitor = desk.displays.target(docked.left).monitor;
        rightMonitor = desk.displays.target(docked.right).monitor;
        for (const DisplayInfo& info : manager.enumerate()) keys.push_back(info.key);
        bus.setWindowHomecoming(&home);
        hotplug.setListener(this);
    }

    HomecomingDesk(const HomecomingDesk&) = delete;
    HomecomingDesk& operator=(const HomecomingDesk&) = delete;
    ~HomecomingDesk() override { hotplug.setListener(nullptr); }

    // Starts the program's watch: the current displays are the settled ones.
    void start() {
        hotplug.prime();
        home.prime();
    }

    void displaysChanging(const std::vector<std::string>& connected) override { home.displaysChanging(connected); }
    void displaysSettled() override {
        home.setEnabled(config.restoreWindowsOnReconnect);
        home.displaysSettled();
    }

    // Windows moves the windows off vanished monitors, then broadcasts
    // WM_DISPLAYCHANGE.
    void displayChange() {
        int cascade = 0;
        for (WindowHandle window : desk.windows.enumWindows()) {
            if (!desk.windows.monitorOf(window).empty()) continue;
            const ScreenRect rect = desk.windows.window(window).rect;
            desk.windows.moveTo(window, at(40 * cascade, 40 * cascade, rect.width(), rect.height()));
            ++cascade;
        }
        arm(hotplug.onDisplayChange());
    }
    void arm(uint32_t milliseconds) { timerDue = milliseconds == 0 ? 0 : desk.ticks.milliseconds() + milliseconds; }
    // Time passes; the settle timer fires when it is due.
    void wait(uint64_t milliseconds) {
        const uint64_t end = desk.ticks.milliseconds() + milliseconds;
        while (timerDue != 0 && timerDue <= end) {
            desk.ticks.set(timerDue);
            arm(hotplug.onSettleTimer());
        }
        desk.ticks.set(end);
    }

    void unplugLeft() { desk.displays.unplug(docked.left); }
    void plugLeft(std::optional<uint32_t> port = std::nullopt) {
        docked.left = desk.displays.plug(leftMonitor, 1920, 0, port);
    }
    void unplugRight() { desk.displays.unplug(docked.right); }
    void plugRight() { docked.right = desk.displays.plug(rightMonitor, 1920 + 3840, 0); }

    // The calls that change a window: SetWindowPos, SetWindowPlacement, ShowWindow.
    std::vector<std::string> changesOf(WindowHandle window) const {
        std::vector<std::string> out;
        for (const std::string& call : desk.windows.callsFor(window))
            if (call.rfind("Set", 0) == 0 || call.rfind("ShowWindow", 0) == 0) out.push_back(call);
        return out;
    }

    sim::SimDisplays::Docked docked{};
    sim::SimMonitor leftMonitor, rightMonitor;
    std::vector<std::string> keys;
    WindowHomecoming home{desk.windows, manager};
    HotplugRestore hotplug{manager, layouts, config, desk.ticks};
    uint64_t timerDue = 0;
};

class WindowHomecomingTest : public ::testing::Test, protected HomecomingDesk {};

// Where each kind of window ends up after its monitor went away and came back.
TEST_F(WindowHomecomingTest, EveryWindowStateComesBackToItsPlace) {
    struct Case {
        const char* what;
        SimWindow window;
        SimShow show;
        bool restoreMaximized;
        // A snapped window comes back at its snapped rectangle as a plain
        // window: snapping is the user's gesture, not a state to set.
        bool placementKept = true;
    };
    SimWindow snapped = app("snapped", at(1920, 0, 1920, 2120));
    snapped.snappedFrom = at(2300, 300, 900, 700);
    const std::vector<Case> cases = {
        {"normal", app("normal", at(2100, 150, 800, 500)), SimShow::Normal, false},
        {"maximised", app("maximised", at(2400, 200, 1000, 800)), SimShow::Maximized, false},
        {"minimised", app("minimised", at(2600, 400, 700, 500)), SimShow::Minimized, false},
        {"minimised from maximised", app("min-max", at(2200, 500, 900, 600)), SimShow::Minimized, true},
        {"snapped to the left half", snapped, SimShow::Normal, false, false},
    };
    std::vector<WindowHandle> handles;
    for (const Case& c : cases) {
        SimWindow w = c.window;
        w.show = c.show;
        w.maximizeOnRestore = c.restoreMaximized;
        handles.push_back(desk.windows.open(w));
    }
    const WindowHandle stay = desk.windows.openOn(kLaptop, "on the laptop", 600, 400);
    const ScreenRect stayRect = desk.windows.windowRect(stay);
    std::vector<ScreenRect> rects;
    std::vector<WindowPlacementInfo> placements;
    for (WindowHandle h : handles) {
        rects.push_back(desk.windows.windowRect(h));
        placements.emplace_back();
        desk.windows.getWindowPlacement(h, placements.back());
    }
    start();

    unplugLeft();
    displayChange();
    wait(5000);
    for (WindowHandle h : handles) EXPECT_EQ(desk.windows.monitorOf(h), kLaptop);
    EXPECT_EQ(home.waitingCount(), cases.size());

    plugLeft();
    desk.windows.clearCalls();
    displayChange();
    wait(3000);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        WindowPlacementInfo now;
        desk.windows.getWindowPlacement(handles[i], now);
        EXPECT_EQ(desk.windows.windowRect(handles[i]), rects[i]);
        EXPECT_EQ(now.showCmd, placements[i].showCmd);
        if (cases[i].placementKept) {
            EXPECT_EQ(now.normal, placements[i].normal);
            EXPECT_EQ(now.flags, placements[i].flags);
        }
    }
    // A maximised window is restored onto its display first, then maximised
    // there; a minimised one stays in the taskbar.
    EXPECT_EQ(changesOf(handles[1]), (std::vector<std::string>{"SetWindowPlacement(SW_SHOWNOACTIVATE, 2400, 200, 1000, 800)",
                                                               "SetWindowPlacement(SW_SHOWMAXIMIZED, 2400, 200, 1000, 800)"}));
    EXPECT_EQ(changesOf(handles[2]), (std::vector<std::string>{"SetWindowPlacement(SW_SHOWMINNOACTIVE, 2600, 400, 700, 500)"}));
    EXPECT_EQ(home.waitingCount(), 0u);
    EXPECT_TRUE(changesOf(stay).empty());
    EXPECT_EQ(desk.windows.windowRect(stay), stayRect);
    EXPECT_TRUE(desk.debug.contains("INF", "Put 5 window(s) back on the displays that came back"));
}

// The user's own moves while the display was away, and windows closed
// meanwhile, are left alone.
TEST_F(WindowHomecomingTest, WindowsMovedOrClosedMeanwhileStayAsTheyAre) {
    const WindowHandle moved = desk.windows.open(app("moved", at(2100, 150, 800, 500)));
    const WindowHandle closed = desk.windows.open(app("closed", at(2500, 150, 800, 500)));
    const WindowHandle waits = desk.windows.open(app("waits", at(2900, 150, 800, 500)));
    start();

    unplugLeft();
    displayChange();
    wait(4000);
    desk.windows.moveTo(moved, at(300, 300, 800, 500));
    desk.windows.close(closed);
    plugLeft();
    desk.windows.clearCalls();
    displayChange();
    wait(3000);

    EXPECT_EQ(desk.windows.windowRect(moved), at(300, 300, 800, 500));
    EXPECT_TRUE(changesOf(moved).empty());
    EXPECT_EQ(desk.windows.windowRect(waits), at(2900, 150, 800, 500));
    EXPECT_EQ(home.waitingCount(), 0u);
}

// A program that follows each monitor's DPI takes a new size from Windows
// when it lands on a monitor of another DPI; its own size is set once more.
TEST_F(WindowHomecomingTest, AcrossDpisTheSizeIsSetAgainAfterTheMove) {
    desk.windows.setMonitorDpi("\\\\.\\DISPLAY2", 144);
    SimWindow aware = app("aware", at(2100, 150, 1200, 900));
    aware.perMonitorDpiAware = true;
    const WindowHandle window = desk.windows.open(aware);
    start();

    unplugLeft();
    displayChange();
    wait(5000);
    plugLeft();
    desk.windows.clearCalls();
    displayChange();
    wait(3000);

    EXPECT_EQ(desk.windows.windowRect(window), at(2100, 150, 1200, 900));
    EXPECT_EQ(changesOf(window), (std::vector<std::string>{"SetWindowPos(2100, 150, 1200, 900, SWP_NOZORDER|SWP_NOACTIVATE)",
                                                           "SetWindowPos(2100, 150, 1200, 900, SWP_NOZORDER|SWP_NOACTIVATE)"}));
}

// A monitor that comes back elsewhere on the desktop (another arrangement,
// another port) takes its windows along to the same place on it.
TEST_F(WindowHomecomingTest, ADisplayBackElsewhereTakesItsWindowsAlong) {
    const WindowHandle window = desk.windows.open(app("left", at(2100, 150, 800, 500)));
    start();
    unplugLeft();
    displayChange();
    wait(5000);
    docked.left = desk.displays.plug(leftMonitor, -3840, 0);
    displayChange();
    wait(3000);
    EXPECT_EQ(desk.windows.windowRect(window), at(-3840 + 180, 150, 800, 500));
}

TEST_F(WindowHomecomingTest, WithTheSettingOffWindowsStayWhereWindowsLeftThem) {
    config.restoreWindowsOnReconnect = false;
    const WindowHandle window = desk.windows.open(app("left", at(2100, 150, 800, 500)));
    start();
    unplugLeft();
    displayChange();
    wait(5000);
    const ScreenRect left = desk.windows.windowRect(window);
    plugLeft();
    displayChange();
    wait(3000);
    EXPECT_EQ(desk.windows.windowRect(window), left);
    EXPECT_EQ(home.waitingCount(), 0u);

    // "RestoreWindows" still puts back what was recorded since.
    desk.windows.moveTo(window, at(3000, 500, 800, 500));
    Action restore;
    restore.kind = ActionKind::RestoreWindows;
    const ActionResult result = bus.dispatch(restore);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, "Put 1 window(s) back");
    EXPECT_EQ(desk.windows.windowRect(window), left);
}

// A change that has not settled is not acted on, and the places recorded are
// those from before the first change: later window events while displays
// come and go record nothing.
TEST_F(WindowHomecomingTest, NothingIsRecordedWhileDisplaysComeAndGo) {
    const WindowHandle window = desk.windows.open(app("left", at(2100, 150, 800, 500)));
    start();
    unplugLeft();
    // A window event arrives before the WM_DISPLAYCHANGE does.
    desk.windows.moveTo(window, at(0, 0, 800, 500));
    home.record();
    displayChange();
    home.record();
    wait(2999);
    EXPECT_EQ(home.waitingCount(), 1u);
    EXPECT_EQ(home.homeOf(window)->rect, at(2100, 150, 800, 500));
    plugLeft();
    displayChange();
    wait(3000);
    EXPECT_EQ(desk.windows.windowRect(window), at(2100, 150, 800, 500));
}

TEST_F(WindowHomecomingTest, RescueBringsWindowsOutsideEveryDisplayOntoThePrimary) {
    const WindowHandle lost = desk.windows.open(app("lost", at(9000, 100, 800, 500)));
    SimWindow maximisedAway = app("maximised away", at(-5000, 200, 900, 600));
    maximisedAway.show = SimShow::Maximized;
    const WindowHandle maximised = desk.windows.open(maximisedAway);
    SimWindow minimisedAway = app("minimised away", at(12000, 300, 700, 400));
    minimisedAway.show = SimShow::Minimized;
    const WindowHandle minimised = desk.windows.open(minimisedAway);
    SimWindow elevatedAway = app("elevated away", at(9000, 900, 700, 400));
    elevatedAway.elevated = true;
    const WindowHandle elevated = desk.windows.open(elevatedAway);
    const WindowHandle partly = desk.windows.open(app("partly visible", at(1800, 100, 800, 500)));
    SimWindow huge = app("huge", at(20000, 0, 3000, 2000));
    const WindowHandle big = desk.windows.open(huge);
    start();
    desk.windows.clearCalls();

    Action rescue;
    rescue.kind = ActionKind::RescueWindows;
    const ActionResult result = bus.dispatch(rescue);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, "Brought 4 window(s) onto the primary display" + kHint);
    // The laptop's work area is 1920x1160 at (0,0).
    EXPECT_EQ(desk.windows.windowRect(lost), at(560, 330, 800, 500));
    EXPECT_EQ(desk.windows.monitorOf(maximised), kLaptop);
    EXPECT_EQ(desk.windows.window(maximised).show, SimShow::Maximized);
    EXPECT_EQ(desk.windows.window(minimised).show, SimShow::Minimized);
    EXPECT_EQ(desk.windows.window(minimised).rect, at(610, 380, 700, 400));
    EXPECT_EQ(desk.windows.windowRect(big), at(0, 0, 1920, 1160));
    EXPECT_EQ(desk.windows.windowRect(elevated), at(9000, 900, 700, 400));
    EXPECT_TRUE(changesOf(partly).empty());
}

TEST_F(WindowHomecomingTest, RestoreWithNothingRecordedSaysSo) {
    Action restore;
    restore.kind = ActionKind::RestoreWindows;
    const ActionResult result = bus.dispatch(restore);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "No window positions kept yet");
}

// Displays coming and going: what the settle time makes of each sequence.
// Each set of monitors has a saved layout, so every change that is acted on
// logs one restore.
TEST(WindowHomecomingFlaps, EachSequenceIsActedOnOnceItHasSettled) {
    struct Case {
        const char* what;
        std::function<void(HomecomingDesk&)> sequence;
        int layoutRestores;  // layouts matched and restored (or found in effect)
    };
    const std::vector<Case> cases = {
        {"a 400 ms drop while the monitor sleeps",
         [](HomecomingDesk& d) {
             d.unplugLeft();
             d.displayChange();
             d.wait(400);
             d.plugLeft();
             d.displayChange();
             d.wait(3000);
         },
         0},
        {"two monitors waking 10 s apart",
         [](HomecomingDesk& d) {
             d.unplugLeft();
             d.unplugRight();
             d.displayChange();
             d.wait(60000);
             d.plugLeft();
             d.displayChange();
             d.wait(10000);
             d.plugRight();
             d.displayChange();
             d.wait(3000);
         },
         2},  // the laptop alone, then all three; never the two
        {"an undock, and a redock with the monitor on another port",
         [](HomecomingDesk& d) {
             d.unplugRight();
             d.displayChange();
             d.wait(150);
             d.unplugLeft();
             d.displayChange();
             d.wait(20000);
             d.plugLeft(77);
             d.plugRight();
             d.displayChange();
             d.wait(3000);
         },
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HomecomingDesk d;
        ASSERT_TRUE(d.layouts.captureCurrent("Desk", d.manager));
        const WindowHandle onLeft = d.desk.windows.open(app("left", at(2100, 150, 800, 500)));
        const WindowHandle onRight = d.desk.windows.open(app("right", at(6000, 300, 700, 400)));
        const WindowHandle onLaptop = d.desk.windows.openOn(kLaptop, "laptop", 600, 400);
        const ScreenRect laptopRect = d.desk.windows.windowRect(onLaptop);
        d.start();
        d.desk.displays.unplug(d.docked.left);
        d.desk.displays.unplug(d.docked.right);
        d.displayChange();
        d.wait(5000);
        ASSERT_TRUE(d.layouts.captureCurrent("Laptop", d.manager));
        d.plugLeft();
        d.plugRight();
        d.displayChange();
        d.wait(3000);
        d.desk.debug.clear();

        c.sequence(d);

        int restores = 0;
        for (const std::string& line : d.desk.debug.lines())
            if (line.find("Auto-restore") != std::string::npos) ++restores;  // restored, or already in effect
        EXPECT_EQ(restores, c.layoutRestores);
        // Whatever the sequence, every window is back at its place, and the
        // laptop's window never moved.
        EXPECT_EQ(d.desk.windows.windowRect(onLeft), at(2100, 150, 800, 500));
        EXPECT_EQ(d.desk.windows.windowRect(onRight), at(6000, 300, 700, 400));
        EXPECT_EQ(d.desk.windows.windowRect(onLaptop), laptopRect);
        EXPECT_EQ(d.home.waitingCount(), 0u);
    }
}

} // namespace
} // namespace qv
