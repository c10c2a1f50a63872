#include "app/ActionBus.h"

#include "app/Config.h"
#include "app/DebugOutput.h"
#include "app/FileSystem.h"
#include "app/KnownFolders.h"
#include "display/DisplayManager.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"
#include "sim/SimFileSystem.h"
#include "sim/SimKnownFolders.h"

#include <gtest/gtest.h>

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
    ActionBus bus{manager, config};
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
        make(ActionKind::PushNativeResolutions), make(ActionKind::ApplyArrangement), make(ActionKind::GatherWindows),
        make(ActionKind::TileWindows, "", "2x2"),   make(ActionKind::SnapWindow, "", "2x2"),
        make(ActionKind::SaveLayout, "", "Home"),    make(ActionKind::RestoreLayout, "", "Home"),
        make(ActionKind::DeleteLayout, "", "Home"),
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

} // namespace
} // namespace qv
