#include "actions/ActionBus.h"

#include "settings/Config.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"
#include "sim/SimWindows.h"
#include "unit/CoreWorld.h"
#include "unit/display/DisplayTestFixture.h"
#include "windows/WindowPlacement.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

// dispatch writes the kind's name first and the result's message last, as
// information for a success and as a warning for a failure.
void expectDispatchLog(const sim::SimDebugOutput& log, const Action& action, bool ok, const std::string& message) {
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), std::string("[Quorvane][INF] dispatch ") + actionKindName(action.kind) + "\n");
    EXPECT_EQ(lines.back(), std::string("[Quorvane][") + (ok ? "INF" : "WRN") + "] " + message + "\n");
}

class ActionBusTest : public test::CoreWorld {
protected:
    void SetUp() override {
        bus.setResultListener([this](const Action& action, const ActionResult& result) {
            heard.push_back({action, result});
        });
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

    std::vector<Heard> heard;
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
        desk.debug.clear();
        ActionResult result = bus.dispatch(c.action);
        EXPECT_EQ(result.ok, c.ok) << c.logged;
        EXPECT_EQ(result.message, c.message) << c.logged;
        EXPECT_TRUE(desk.debug.contains("INF", c.logged)) << c.logged;
        expectDispatchLog(desk.debug, c.action, c.ok, c.message);
        ASSERT_EQ(heard.size(), 1u) << c.logged;
        EXPECT_EQ(heard[0].action.kind, c.action.kind) << c.logged;
        EXPECT_EQ(heard[0].result.ok, c.ok) << c.logged;
        EXPECT_EQ(heard[0].result.message, c.message) << c.logged;
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

// A save that fails is a failure the user hears about, and what the panels
// show stays what the files hold.
TEST_F(ActionBusTest, RenameAndDeleteWhoseSaveFailsReportItAndChangeNothing) {
    const std::string settings = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane\\config.json";
    const std::string layoutsFile = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane\\layouts.json";
    ASSERT_TRUE(bus.dispatch(make(ActionKind::RenameDisplay, "KEY1", "Desk")).ok);
    desk.displays.laptopWithTwoDocked();
    ASSERT_TRUE(bus.dispatch(make(ActionKind::SaveLayout, "", "Home")).ok);
    desk.files.failOn(sim::SimFileSystem::Op::Open, settings + ".tmp");
    desk.files.failOn(sim::SimFileSystem::Op::Open, layoutsFile + ".tmp");

    struct Case {
        Action action;
        std::string message;
    };
    const std::vector<Case> cases = {
        {make(ActionKind::RenameDisplay, "KEY1", "Left"), "Could not save the display name"},
        {make(ActionKind::RenameDisplay, "KEY1", ""), "Could not save the display name"},
        {make(ActionKind::RenameDisplay, "KEY2", "Right"), "Could not save the display name"},
        {make(ActionKind::DeleteLayout, "", "Home"), "Could not delete layout"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + " " + c.action.display);
        const ActionResult result = bus.dispatch(c.action);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(config.displayNames, (std::map<std::string, std::string>{{"KEY1", "Desk"}}));
        EXPECT_EQ(bus.layoutNames(), std::vector<std::string>{"Home"});
    }
    desk.files.clearFailures();
    Config savedSettings;
    ASSERT_TRUE(savedSettings.load());
    EXPECT_EQ(savedSettings.displayNames, config.displayNames);
    LayoutStore savedLayouts;
    ASSERT_TRUE(savedLayouts.load());
    EXPECT_EQ(savedLayouts.names(), bus.layoutNames());
}

TEST_F(ActionBusTest, DisplayListCarriesUserNamesButTheCacheKeepsSystemNames) {
    desk.displays.laptopWithTwoDocked();
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
    desk.displays.laptopWithTwoDocked();
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
        // Nothing moved since "Desk" was saved: restoring it changes nothing.
        {layout(ActionKind::RestoreLayout, "Desk"), true, "Layout 'Desk' already in effect", {"Desk", "Home"}},
        {layout(ActionKind::RestoreLayout, "Nope"), false, "Could not restore 'Nope'", {"Desk", "Home"}},
        {layout(ActionKind::DeleteLayout, "Home"), true, "Deleted layout 'Home'", {"Desk"}},
        {layout(ActionKind::DeleteLayout, "Home"), false, "Could not delete layout", {"Desk"}},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        if (i == 1) desk.displays.laptopWithTwoDocked();
        SCOPED_TRACE(std::string(actionKindName(step.action.kind)) + " " + step.action.name);
        ActionResult result = bus.dispatch(step.action);
        EXPECT_EQ(result.ok, step.ok);
        EXPECT_EQ(result.message, step.message);
        EXPECT_EQ(bus.layoutNames(), step.names);
    }
    EXPECT_TRUE(desk.debug.contains("WRN", "restore: layout 'Nope' not found"));
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

// --- Display kinds -----------------------------------------------------------------
// Each kind reaches its display manager operation with the action's arguments,
// and the operation's answer, success or failure, comes back unchanged.

namespace keys = test::docked;
using Docked = sim::SimDisplays::Docked;

const DisplayInfo* findIn(const std::vector<DisplayInfo>& list, const std::string& key) {
    for (const DisplayInfo& d : list)
        if (d.key == key) return &d;
    return nullptr;
}

struct DisplayCase {
    const char* what;
    Action action;
    bool ok;
    std::string message;
    // Runs on the docked laptop before its first enumeration.
    std::function<void(sim::SimDisplays&, const Docked&)> arrange = nullptr;
    // What the displays look like afterwards, from a fresh enumeration.
    std::function<void(const std::vector<DisplayInfo>&)> check = nullptr;
};

Action displayAction(ActionKind kind, std::string display = {}) {
    Action a;
    a.kind = kind;
    a.display = std::move(display);
    return a;
}

template <typename Fill>
Action displayAction(ActionKind kind, std::string display, Fill fill) {
    Action a = displayAction(kind, std::move(display));
    fill(a);
    return a;
}

auto hdrCapable(bool enabled) {
    return [=](sim::SimDisplays& d, const Docked& k) {
        d.target(k.right).monitor.color = AdvancedColorInfo{true, enabled, dc::ColorEncodingRgb, 10};
    };
}

auto activeKeysAre(std::vector<std::string> expected) {
    return [=](const std::vector<DisplayInfo>& list) {
        std::vector<std::string> actual;
        for (const DisplayInfo& d : list) actual.push_back(d.key);
        EXPECT_EQ(actual, expected);
    };
}

auto modeIs(const char* key, uint32_t width, uint32_t height, uint32_t hz, uint32_t orientation = 0) {
    return [=](const std::vector<DisplayInfo>& list) {
        const DisplayInfo* d = findIn(list, key);
        ASSERT_NE(d, nullptr) << key;
        EXPECT_EQ(d->width, width);
        EXPECT_EQ(d->height, height);
        EXPECT_EQ(d->refreshHz, hz);
        EXPECT_EQ(d->orientation, orientation);
    };
}

auto positionIs(const char* key, int32_t x, int32_t y) {
    return [=](const std::vector<DisplayInfo>& list) {
        const DisplayInfo* d = findIn(list, key);
        ASSERT_NE(d, nullptr) << key;
        EXPECT_EQ(d->posX, x);
        EXPECT_EQ(d->posY, y);
        EXPECT_EQ(d->primary, x == 0 && y == 0);
    };
}

auto hdrIs(const char* key, bool on) {
    return [=](const std::vector<DisplayInfo>& list) {
        const DisplayInfo* d = findIn(list, key);
        ASSERT_NE(d, nullptr) << key;
        EXPECT_EQ(d->hdrEnabled, on);
    };
}

TEST_F(ActionBusTest, DisplayKindsCarryOutTheirOperationAndPassItsResult) {
    using K = ActionKind;
    using keys::Laptop;
    using keys::Left;
    using keys::Right;
    const std::vector<DisplayCase> cases = {
        // Projections.
        {"internal", displayAction(K::ProjectionInternal), true, "Internal applied", nullptr,
         activeKeysAre({Laptop})},
        {"clone", displayAction(K::ProjectionClone), true, "Clone applied", nullptr,
         [](const std::vector<DisplayInfo>& list) {
             ASSERT_EQ(list.size(), 3u);
             for (const DisplayInfo& d : list) EXPECT_EQ(d.posX, 0) << d.key;
         }},
        {"extend", displayAction(K::ProjectionExtend), true, "Extend applied",
         [](sim::SimDisplays& d, const Docked& k) { d.detach(k.right); }, activeKeysAre({Laptop, Left, Right})},
        {"external", displayAction(K::ProjectionExternal), true, "External applied", nullptr,
         activeKeysAre({Left, Right})},
        {"projection refused", displayAction(K::ProjectionExtend), false,
         "SetDisplayConfig(Extend) failed: The parameter is incorrect (0x57)",
         [](sim::SimDisplays& d, const Docked&) {
             d.refuseSetDisplayConfig(dc::SdcTopologyExtend, sim::SimDisplays::ErrorInvalidParameter);
         }},

        // One display's settings.
        {"resolution keeps the rate",
         displayAction(K::SetResolution, Right, [](Action& a) { a.width = 1920, a.height = 1080; }), true,
         "GSM-5B09-205NTABC1234 set to 1920x1080@144Hz", nullptr, modeIs(Right, 1920, 1080, 60)},
        {"resolution of an unknown display",
         displayAction(K::SetResolution, "XYZ-0001", [](Action& a) { a.width = 1920, a.height = 1080; }), false,
         "Display not found: XYZ-0001"},
        {"resolution without a display",
         displayAction(K::SetResolution, "", [](Action& a) { a.width = 1920, a.height = 1080; }), false,
         "Display not found: "},
        {"refresh rate", displayAction(K::SetRefreshRate, Right, [](Action& a) { a.refreshHz = 60; }), true,
         "GSM-5B09-205NTABC1234 set to 60 Hz", nullptr, modeIs(Right, 2560, 1440, 60)},
        {"refresh rate refused", displayAction(K::SetRefreshRate, Right, [](Action& a) { a.refreshHz = 61; }),
         false, "Refresh-rate change failed for GSM-5B09-205NTABC1234"},
        {"orientation", displayAction(K::SetOrientation, Left, [](Action& a) { a.orientation = 3; }), true,
         "DEL-41A8-0x4C4B3033 orientation changed", nullptr, modeIs(Left, 2160, 3840, 60, 3)},
        {"orientation out of range means landscape",
         displayAction(K::SetOrientation, Left, [](Action& a) { a.orientation = -1; }), true,
         "DEL-41A8-0x4C4B3033 orientation changed",
         [](sim::SimDisplays& d, const Docked& k) { test::rotate(d, k.left, dc::Rotation90); },
         modeIs(Left, 3840, 2160, 60, 0)},
        {"rotate the primary when no display is given", displayAction(K::RotateNext), true,
         "BOE-0A1C orientation changed", nullptr, modeIs(Laptop, 1200, 1920, 60, 1)},
        {"rotate the given display", displayAction(K::RotateNext, Right), true,
         "GSM-5B09-205NTABC1234 orientation changed", nullptr, modeIs(Right, 1440, 2560, 144, 1)},
        {"primary", displayAction(K::SetPrimary, Left), true, "DEL-41A8-0x4C4B3033 is now primary", nullptr,
         positionIs(Laptop, -1920, 0)},
        {"already primary", displayAction(K::SetPrimary, Laptop), true, "BOE-0A1C is already primary"},
        {"hdr off turns on", displayAction(K::ToggleHdr, Right), true, "HDR on for GSM-5B09-205NTABC1234",
         hdrCapable(false), hdrIs(Right, true)},
        {"hdr on turns off", displayAction(K::ToggleHdr, Right), true, "HDR off for GSM-5B09-205NTABC1234",
         hdrCapable(true), hdrIs(Right, false)},
        {"hdr not supported", displayAction(K::ToggleHdr, Laptop), false,
         "BOE-0A1C doesn't support HDR / advanced color"},
        {"hdr of an unknown display", displayAction(K::ToggleHdr, "XYZ-0001"), false, "Display not found: XYZ-0001"},

        // Attaching and detaching.
        {"disable", displayAction(K::DisableDisplay, Right), true, "GSM-5B09-205NTABC1234 disabled", nullptr,
         activeKeysAre({Laptop, Left})},
        {"enable", displayAction(K::EnableDisplay, Right), true, "GSM-5B09-205NTABC1234 enabled",
         [](sim::SimDisplays& d, const Docked& k) { d.detach(k.right); }, activeKeysAre({Laptop, Left, Right})},
        {"enable a display that is not connected", displayAction(K::EnableDisplay, "XYZ-0001"), false,
         "No inactive path for XYZ-0001"},

        // Arrangement.
        {"mirror", displayAction(K::MirrorSpecific, "", [](Action& a) { a.displays = {Right, Laptop}; }), true,
         "Mirrored 2 displays", nullptr, positionIs(Right, 0, 0)},
        {"mirror refused",
         displayAction(K::MirrorSpecific, "", [](Action& a) { a.displays = {Right, Laptop}; }), false,
         "Subset mirror not supported for this combination: The request is not supported (0x32)",
         [](sim::SimDisplays& d, const Docked&) {
             d.refuseSetDisplayConfig(dc::SdcValidate, sim::SimDisplays::ErrorNotSupported);
         }},
        {"mirror needs two", displayAction(K::MirrorSpecific, Left, [](Action& a) { a.displays = {Left}; }), false,
         "Select at least two displays to mirror"},
        {"flip", displayAction(K::FlipArrangement), true, "Arrangement flipped",
         [](sim::SimDisplays& d, const Docked& k) { d.unplug(k.right); }, positionIs(Left, 0, 0)},
        {"flip needs two", displayAction(K::FlipArrangement), false, "Flip needs exactly two displays (found 3)"},
        {"apply arrangement",
         displayAction(K::ApplyArrangement, "",
                       [](Action& a) {
                           a.placements = {DisplayPlacement{.key = Right, .x = 0, .y = 0, .primary = true},
                                           DisplayPlacement{.key = Laptop, .x = 2560, .y = 0}};
                       }),
         true, "Arrangement applied to 2 display(s)", nullptr, positionIs(Laptop, 2560, 0)},
        {"empty arrangement", displayAction(K::ApplyArrangement), false, "Empty arrangement"},

        // Every display at once.
        {"native", displayAction(K::PushNativeResolutions), true, "Native modes applied to 3 display(s)",
         [](sim::SimDisplays& d, const Docked& k) {
             d.sourceOf(k.left).width = 2560;
             d.sourceOf(k.left).height = 1440;
         },
         modeIs(Left, 3840, 2160, 60)},
        {"max", displayAction(K::PushMaxResolutions), true, "Maximum modes applied to 3 display(s)"},
        {"fixed size", displayAction(K::PushResolutionAll, "", [](Action& a) { a.width = 3840, a.height = 2160; }),
         true, "3840x2160 applied to 1 display(s); some don't support it"},
        {"fixed size nobody offers",
         displayAction(K::PushResolutionAll, "", [](Action& a) { a.width = 1234, a.height = 567; }), false,
         "1234x567 applied to 0 display(s); some don't support it"},
    };
    for (const DisplayCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto d = std::make_unique<Desktop>();
        const Docked docked = d->desk.laptopWithTwoDocked();
        if (c.arrange) c.arrange(d->desk, docked);
        d->manager.enumerate();
        heard.clear();
        d->bus.setResultListener([this](const Action& action, const ActionResult& result) {
            heard.push_back({action, result});
        });
        desk.debug.clear();

        const ActionResult result = d->bus.dispatch(c.action);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.message, c.message);
        expectDispatchLog(desk.debug, c.action, c.ok, c.message);
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].action.kind, c.action.kind);
        EXPECT_EQ(heard[0].action.display, c.action.display);
        EXPECT_EQ(heard[0].result.ok, c.ok);
        EXPECT_EQ(heard[0].result.message, c.message);
        if (c.check) c.check(d->manager.enumerate());
    }
}

TEST_F(ActionBusTest, WindowsOnListsTheApplicationWindowsOfADisplay) {
    desk.displays.laptopWithTwoDocked();
    const WindowHandle editor = desk.windows.openOn(kLeft, "Editor", 800, 600);
    desk.windows.openOn(kLaptop, "Mail", 800, 600);
    const std::string leftKey = manager.enumerate()[1].key;
    EXPECT_EQ(bus.windowsOn(leftKey), (std::vector<WindowEntry>{{editor, "Editor", leftKey}}));
}

} // namespace
} // namespace qv
