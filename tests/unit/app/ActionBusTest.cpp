#include "app/ActionBus.h"

#include "app/Config.h"
#include "app/DebugOutput.h"
#include "app/FileSystem.h"
#include "app/KnownFolders.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"
#include "sim/SimFileSystem.h"
#include "sim/SimKnownFolders.h"
#include "sim/SimWindows.h"
#include "windows/WindowPlacement.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

class ActionBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousFs_ = FileSystem::install(&fs);
        previousFolders_ = KnownFolders::install(&folders);
        previousOut_ = DebugOutput::install(&log);
        fs.addFolder("C:\\Users\\sim\\AppData\\Roaming");
        bus.setResultListener([this](const Action& action, const ActionResult& result) {
            heard.push_back({action, result});
        });
    }
    void TearDown() override {
        FileSystem::install(previousFs_);
        KnownFolders::install(previousFolders_);
        DebugOutput::install(previousOut_);
    }

    static Action make(ActionKind kind, std::string display = {}, std::string name = {}) {
        Action a;
        a.kind = kind;
        a.display = std::move(display);
        a.name = std::move(name);
        return a;
    }

    struct Heard {
        Action action;
        ActionResult result;
    };

    sim::SimFileSystem fs;
    sim::SimKnownFolders folders;
    sim::SimDebugOutput log;
    sim::SimDisplays desk;
    DisplayManager manager{desk};
    Config config;
    LayoutStore layouts;
    sim::SimWindows windowSystem{desk};
    WindowPlacement placement{windowSystem, manager};
    ActionBus bus{manager, placement, layouts, config};
    std::vector<Heard> heard;

private:
    FileSystem* previousFs_ = nullptr;
    KnownFolders* previousFolders_ = nullptr;
    DebugOutput* previousOut_ = nullptr;
};

TEST_F(ActionBusTest, DispatchLogsTheKindAndTellsTheListener) {
    struct Case {
        Action action;
        bool ok;
        const char* message;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {Action{}, false, "No action", "dispatch None"},
        {make(ActionKind::Exit), true, "Exit", "dispatch Exit"},
        {make(ActionKind::OpenSettings), true, "OpenSettings", "dispatch OpenSettings"},
        {make(ActionKind::RelaunchElevated), true, "RelaunchElevated", "dispatch RelaunchElevated"},
        {make(ActionKind::OpenPreview), false, "OpenPreview is not implemented yet", "dispatch OpenPreview"},
        {make(ActionKind::RefreshDisplays), true, "Displays refreshed", "dispatch RefreshDisplays"},
        {make(ActionKind::RenameDisplay, "", "Desk"), false, "No display to rename", "dispatch RenameDisplay"},
        {make(ActionKind::SaveLayout), false, "Layout name required", "dispatch SaveLayout"},
        {make(ActionKind::RestoreLayout), false, "Layout name required", "dispatch RestoreLayout"},
        {make(ActionKind::DeleteLayout), false, "Could not delete layout", "dispatch DeleteLayout"},
        {make(static_cast<ActionKind>(99)), false, "Unhandled action", "dispatch ?"},
    };
    for (const Case& c : cases) {
        heard.clear();
        log.clear();
        ActionResult result = bus.dispatch(c.action);
        EXPECT_EQ(result.ok, c.ok) << c.logged;
        EXPECT_EQ(result.message, c.message) << c.logged;
        EXPECT_TRUE(log.contains("INF", c.logged)) << c.logged;
        ASSERT_EQ(heard.size(), 1u) << c.logged;
        EXPECT_EQ(heard[0].action.kind, c.action.kind) << c.logged;
        EXPECT_EQ(heard[0].result.ok, c.ok) << c.logged;
        EXPECT_EQ(heard[0].result.message, c.message) << c.logged;
    }
}

// Kinds whose operations the program does not have yet must never claim success.
TEST_F(ActionBusTest, KindsWithoutTheirOperationFail) {
    const std::vector<Action> actions = {
        make(ActionKind::ProjectionExtend), make(ActionKind::SetResolution, "k"), make(ActionKind::ToggleHdr, "k"),
        make(ActionKind::PushNativeResolutions), make(ActionKind::ApplyArrangement),
    };
    for (const Action& a : actions) {
        ActionResult result = bus.dispatch(a);
        EXPECT_FALSE(result.ok) << actionKindName(a.kind);
        EXPECT_EQ(result.message, std::string(actionKindName(a.kind)) + " is not available yet");
    }
}

TEST_F(ActionBusTest, RenameDisplaySetsAndResetsTheNameAndSaves) {
    ActionResult renamed = bus.dispatch(make(ActionKind::RenameDisplay, "KEY1", "Desk"));
    EXPECT_TRUE(renamed.ok);
    EXPECT_EQ(renamed.message, "Renamed to 'Desk'");
    Config saved;
    ASSERT_TRUE(saved.load());
    EXPECT_EQ(saved.displayNames, (std::map<std::string, std::string>{{"KEY1", "Desk"}}));

    ActionResult reset = bus.dispatch(make(ActionKind::RenameDisplay, "KEY1", ""));
    EXPECT_TRUE(reset.ok);
    EXPECT_EQ(reset.message, "Display name reset");
    EXPECT_TRUE(config.displayNames.empty());
    Config savedAgain;
    ASSERT_TRUE(savedAgain.load());
    EXPECT_TRUE(savedAgain.displayNames.empty());
}

TEST_F(ActionBusTest, DisplayListCarriesUserNamesButTheCacheKeepsSystemNames) {
    desk.laptopWithTwoDocked();
    std::vector<DisplayInfo> system = manager.enumerate();
    ASSERT_EQ(system.size(), 3u);
    config.displayNames[system[1].key] = "Left desk";
    config.displayNames[system[2].key] = ""; // an empty entry overrides nothing

    std::vector<DisplayInfo> shown = bus.displays();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].name, system[0].name);
    EXPECT_EQ(shown[1].name, "Left desk");
    EXPECT_EQ(shown[2].name, system[2].name);
    ASSERT_EQ(manager.cache().size(), 3u);
    EXPECT_EQ(manager.cache()[1].name, system[1].name);
}

TEST_F(ActionBusTest, RefreshDisplaysFillsTheCache) {
    desk.laptopWithTwoDocked();
    ASSERT_TRUE(manager.cache().empty());
    EXPECT_TRUE(bus.dispatch(make(ActionKind::RefreshDisplays)).ok);
    EXPECT_EQ(manager.cache().size(), 3u);
}


// One session with the layout kinds, step by step: each answer is the bus's
// message, and the saved names follow in store order.
TEST_F(ActionBusTest, LayoutKindsSaveRestoreAndDeleteByName) {
    struct Step {
        Action action;
        bool ok;
        std::string message;
        std::vector<std::string> names; // layoutNames() afterwards
    };
    auto layout = [](ActionKind kind, const char* name) { return make(kind, "", name); };
    const std::vector<Step> steps = {
        {layout(ActionKind::SaveLayout, "Home"), false, "Could not save layout", {}}, // nothing connected yet
        {layout(ActionKind::SaveLayout, "Home"), true, "Saved layout 'Home'", {"Home"}},
        {layout(ActionKind::SaveLayout, "Desk"), true, "Saved layout 'Desk'", {"Home", "Desk"}},
        {layout(ActionKind::SaveLayout, "Home"), true, "Saved layout 'Home'", {"Desk", "Home"}},
        {layout(ActionKind::RestoreLayout, "Desk"), true, "Restored layout 'Desk'", {"Desk", "Home"}},
        {layout(ActionKind::RestoreLayout, "Nope"), false, "Could not restore 'Nope'", {"Desk", "Home"}},
        {layout(ActionKind::DeleteLayout, "Home"), true, "Deleted layout 'Home'", {"Desk"}},
        {layout(ActionKind::DeleteLayout, "Home"), false, "Could not delete layout", {"Desk"}},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        if (i == 1) desk.laptopWithTwoDocked();
        SCOPED_TRACE(std::string(actionKindName(step.action.kind)) + " " + step.action.name);
        ActionResult result = bus.dispatch(step.action);
        EXPECT_EQ(result.ok, step.ok);
        EXPECT_EQ(result.message, step.message);
        EXPECT_EQ(bus.layoutNames(), step.names);
    }
    EXPECT_TRUE(log.contains("WRN", "restore: layout 'Nope' not found"));
    LayoutStore saved;
    ASSERT_TRUE(saved.load());
    EXPECT_EQ(saved.names(), std::vector<std::string>{"Desk"});
}

// --- Window kinds ------------------------------------------------------------------

const std::string kLaptop = "\\\\.\\DISPLAY1";
const std::string kLeft = "\\\\.\\DISPLAY2";
const std::string kRight = "\\\\.\\DISPLAY3";
const std::string kHint = " \xE2\x80\x94 some refused (run elevated to move them)";
const std::string kBadGrid = "Grid must be COLSxROWS (2x2, 3x2, 4x4, \xE2\x80\xA6)";
const std::string kNotMoved = "Could not move window (elevated owner?)";

// A desktop of its own for every case: a laptop with two docked monitors
// (unless the case wants none) and the windows the case opens.
struct Desktop {
    sim::SimDisplays desk;
    sim::SimWindows windows{desk};
    DisplayManager manager{desk};
    WindowPlacement placement{windows, manager};
    Config config;
    LayoutStore layouts;
    ActionBus bus{manager, placement, layouts, config};
    WindowHandle subject = 0;  // the window whose final monitor the case checks

    std::string key(const std::string& gdiName) {
        for (const DisplayInfo& info : manager.enumerate())
            if (info.gdiName == gdiName) return info.key;
        return std::string();
    }
    WindowHandle open(const std::string& gdiName, const char* title) {
        return windows.openOn(gdiName, title, 800, 600);
    }
    WindowHandle openElevated(const std::string& gdiName, const char* title) {
        const WindowHandle h = open(gdiName, title);
        windows.window(h).elevated = true;
        return h;
    }
    WindowHandle openTool(const std::string& gdiName, const char* title) {
        const WindowHandle h = open(gdiName, title);
        windows.window(h).exStyle = 0x80;  // WS_EX_TOOLWINDOW
        return h;
    }
};

struct WindowCase {
    const char* what;
    std::function<Action(Desktop&)> arrange;
    bool ok;
    std::string message;
    std::string subjectOn = {};  // GDI name of the monitor the subject ends on; empty: not checked
    bool monitors = true;
};

Action windowAction(ActionKind kind, std::string name = {}, std::int32_t cell = 0) {
    Action a;
    a.kind = kind;
    a.name = std::move(name);
    a.cell = cell;
    return a;
}

void runWindowCases(const std::vector<WindowCase>& cases) {
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto d = std::make_unique<Desktop>();
        if (c.monitors) d->desk.laptopWithTwoDocked();
        const Action action = c.arrange(*d);
        const ActionResult result = d->bus.dispatch(action);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.message, c.message);
        if (!c.subjectOn.empty()) {
            EXPECT_EQ(d->windows.monitorOf(d->subject), c.subjectOn);
        }
    }
}

TEST_F(ActionBusTest, GatherTargetsTheGivenOrPrimaryDisplayAndFailsOnlyWhenNothingCouldMove) {
    using K = ActionKind;
    runWindowCases({
        {"primary by default",
         [](Desktop& d) {
             d.subject = d.open(kLeft, "Editor");
             return windowAction(K::GatherWindows);
         },
         true, "Gathered 1 window(s)", kLaptop},
        {"given display",
         [](Desktop& d) {
             d.subject = d.open(kLaptop, "Editor");
             Action a = windowAction(K::GatherWindows);
             a.display = d.key(kRight);
             return a;
         },
         true, "Gathered 1 window(s)", kRight},
        {"everything already there",
         [](Desktop& d) {
             d.open(kLaptop, "Editor");
             return windowAction(K::GatherWindows);
         },
         true, "Gathered 0 window(s)"},
        {"some refused",
         [](Desktop& d) {
             d.openElevated(kLeft, "Admin");
             d.subject = d.open(kLeft, "Editor");
             return windowAction(K::GatherWindows);
         },
         true, "Gathered 1 window(s)" + kHint, kLaptop},
        {"all refused",
         [](Desktop& d) {
             d.subject = d.openElevated(kLeft, "Admin");
             return windowAction(K::GatherWindows);
         },
         false, "Gathered 0 window(s)" + kHint, kLeft},
        {"target not connected",
         [](Desktop& d) {
             d.subject = d.open(kLeft, "Editor");
             Action a = windowAction(K::GatherWindows);
             a.display = "unplugged display";
             return a;
         },
         false, "Target monitor not connected", kLeft},
        {"no display at all", [](Desktop&) { return windowAction(K::GatherWindows); }, false,
         "No target monitor for gather", "", false},
    });
}

TEST_F(ActionBusTest, GrabNeedsAWindowAndATarget) {
    using K = ActionKind;
    runWindowCases({
        {"no window", [](Desktop&) { return windowAction(K::GrabWindow); }, false, "No window/target for grab"},
        {"no display at all",
         [](Desktop& d) {
             Action a = windowAction(K::GrabWindow);
             a.window = d.open(kLaptop, "Editor");
             return a;
         },
         false, "No window/target for grab", "", false},
        {"to the primary display, tool windows too",
         [](Desktop& d) {
             Action a = windowAction(K::GrabWindow);
             a.window = d.subject = d.openTool(kRight, "Palette");
             return a;
         },
         true, "Window grabbed", kLaptop},
        {"to the given display",
         [](Desktop& d) {
             Action a = windowAction(K::GrabWindow);
             a.window = d.subject = d.open(kLaptop, "Editor");
             a.display = d.key(kLeft);
             return a;
         },
         true, "Window grabbed", kLeft},
        {"refused",
         [](Desktop& d) {
             Action a = windowAction(K::GrabWindow);
             a.window = d.subject = d.openElevated(kRight, "Admin");
             return a;
         },
         false, kNotMoved, kRight},
    });
}

TEST_F(ActionBusTest, TileTargetsTheGivenDisplayElseTheForegroundWindowsElseThePrimary) {
    using K = ActionKind;
    runWindowCases({
        {"grid beyond 8", [](Desktop&) { return windowAction(K::TileWindows, "9x2"); }, false, kBadGrid},
        {"no grid", [](Desktop&) { return windowAction(K::TileWindows); }, false, kBadGrid},
        {"given display",
         [](Desktop& d) {
             d.subject = d.open(kRight, "Editor");
             d.open(kLaptop, "Other");
             Action a = windowAction(K::TileWindows, "2x2");
             a.display = d.key(kRight);
             return a;
         },
         true, "Tiled 1 window(s) into a 2x2 grid", kRight},
        {"display of the foreground window",
         [](Desktop& d) {
             d.open(kLaptop, "Other");
             d.subject = d.open(kLeft, "Editor");
             d.windows.setForeground(d.subject);
             return windowAction(K::TileWindows, "3X2");
         },
         true, "Tiled 1 window(s) into a 3x2 grid", kLeft},
        {"foreground is no application window: primary",
         [](Desktop& d) {
             d.open(kLaptop, "One");
             d.open(kLaptop, "Two");
             d.open(kLeft, "Elsewhere");
             d.windows.setForeground(d.openTool(kLeft, "Palette"));
             return windowAction(K::TileWindows, "2\xC3\x97" "2");
         },
         true, "Tiled 2 window(s) into a 2x2 grid"},
        {"nothing to tile",
         [](Desktop& d) {
             d.open(kLeft, "Elsewhere");
             return windowAction(K::TileWindows, "2x2");
         },
         true, "No windows on that display to tile"},
        {"all refused",
         [](Desktop& d) {
             d.openElevated(kLaptop, "Admin");
             return windowAction(K::TileWindows, "2x2");
         },
         false, "Tiled 0 window(s) into a 2x2 grid" + kHint},
        {"all failed",
         [](Desktop& d) {
             d.windows.window(d.open(kLaptop, "Closing")).moveError = 1400;
             return windowAction(K::TileWindows, "2x2");
         },
         false, "Tiled 0 window(s) into a 2x2 grid"},
        {"target not connected",
         [](Desktop& d) {
             d.open(kLaptop, "Editor");
             Action a = windowAction(K::TileWindows, "2x2");
             a.display = "unplugged display";
             return a;
         },
         false, "Monitor not connected"},
        {"no display at all", [](Desktop&) { return windowAction(K::TileWindows, "2x2"); }, false,
         "No target monitor for tiling", "", false},
    });
}

TEST_F(ActionBusTest, SnapTargetsTheGivenDisplayElseTheWindowsElseThePrimary) {
    using K = ActionKind;
    runWindowCases({
        {"bad grid before the cell", [](Desktop&) { return windowAction(K::SnapWindow, "0x2", 9); }, false,
         kBadGrid},
        {"cell past the grid", [](Desktop&) { return windowAction(K::SnapWindow, "2x2", 4); }, false,
         "Grid cell out of range"},
        {"negative cell", [](Desktop&) { return windowAction(K::SnapWindow, "2x2", -1); }, false,
         "Grid cell out of range"},
        {"no window and no foreground", [](Desktop&) { return windowAction(K::SnapWindow, "2x2", 0); }, false,
         "No app window to snap"},
        {"foreground is no application window",
         [](Desktop& d) {
             d.windows.setForeground(d.openTool(kLeft, "Palette"));
             return windowAction(K::SnapWindow, "2x2", 0);
         },
         false, "No app window to snap"},
        {"given window on its own display",
         [](Desktop& d) {
             Action a = windowAction(K::SnapWindow, "3\xC3\x97" "2", 2);
             a.window = d.subject = d.open(kRight, "Editor");
             return a;
         },
         true, "Snapped window to cell 3 of 3x2", kRight},
        {"foreground window",
         [](Desktop& d) {
             d.subject = d.open(kLeft, "Editor");
             d.windows.setForeground(d.subject);
             return windowAction(K::SnapWindow, "2x2", 0);
         },
         true, "Snapped window to cell 1 of 2x2", kLeft},
        {"given display wins",
         [](Desktop& d) {
             Action a = windowAction(K::SnapWindow, "2x2", 3);
             a.window = d.subject = d.open(kRight, "Editor");
             a.display = d.key(kLaptop);
             return a;
         },
         true, "Snapped window to cell 4 of 2x2", kLaptop},
        {"window on no monitor: primary",
         [](Desktop& d) {
             sim::SimWindow lost;
             lost.title = "Lost";
             lost.rect = {20000, 20000, 20800, 20600};
             Action a = windowAction(K::SnapWindow, "1x1", 0);
             a.window = d.subject = d.windows.open(lost);
             return a;
         },
         true, "Snapped window to cell 1 of 1x1", kLaptop},
        {"refused",
         [](Desktop& d) {
             Action a = windowAction(K::SnapWindow, "2x2", 0);
             a.window = d.subject = d.openElevated(kRight, "Admin");
             return a;
         },
         false, kNotMoved, kRight},
        {"target not connected",
         [](Desktop& d) {
             Action a = windowAction(K::SnapWindow, "2x2", 0);
             a.window = d.subject = d.open(kRight, "Editor");
             a.display = "unplugged display";
             return a;
         },
         false, kNotMoved, kRight},
        {"no display at all",
         [](Desktop& d) {
             Action a = windowAction(K::SnapWindow, "2x2", 0);
             a.window = d.open(kLaptop, "Editor");
             return a;
         },
         false, "No target monitor for snap", "", false},
    });
}

TEST_F(ActionBusTest, WindowsOnListsTheApplicationWindowsOfADisplay) {
    desk.laptopWithTwoDocked();
    const WindowHandle editor = windowSystem.openOn(kLeft, "Editor", 800, 600);
    windowSystem.openOn(kLaptop, "Mail", 800, 600);
    const std::string leftKey = manager.enumerate()[1].key;
    EXPECT_EQ(bus.windowsOn(leftKey), (std::vector<WindowEntry>{{editor, "Editor", leftKey}}));
}

} // namespace
} // namespace qv
