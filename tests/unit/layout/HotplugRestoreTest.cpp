#include "layout/HotplugRestore.h"

#include "settings/Config.h"
#include "layout/LayoutStore.h"

#include "LayoutTestFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

constexpr int32_t SimDisplaysError = sim::SimDisplays::ErrorGenFailure;

// Passes every call to the simulated desktop and, like Windows, delivers
// WM_DISPLAYCHANGE to the program's window while a display change is being
// committed, that is, from within the call.
class BroadcastingDisplays final : public DisplayConfigApi {
public:
    explicit BroadcastingDisplays(sim::SimDisplays& desk) : desk_(desk) {}

    std::function<void()> onDisplayChange;

    int32_t getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) override {
        return desk_.getBufferSizes(flags, numPaths, numModes);
    }
    int32_t queryConfig(uint32_t flags, uint32_t& numPaths, PathInfo* paths, uint32_t& numModes, ModeInfo* modes,
                        uint32_t* topologyId) override {
        return desk_.queryConfig(flags, numPaths, paths, numModes, modes, topologyId);
    }
    int32_t getTargetName(const Luid& adapterId, uint32_t targetId, TargetDeviceName& out) override {
        return desk_.getTargetName(adapterId, targetId, out);
    }
    int32_t getSourceName(const Luid& adapterId, uint32_t sourceId, SourceDeviceName& out) override {
        return desk_.getSourceName(adapterId, sourceId, out);
    }
    int32_t getTargetPreferredMode(const Luid& adapterId, uint32_t targetId, TargetPreferredMode& out) override {
        return desk_.getTargetPreferredMode(adapterId, targetId, out);
    }
    int32_t getAdvancedColorInfo(const Luid& adapterId, uint32_t targetId, AdvancedColorInfo& out) override {
        return desk_.getAdvancedColorInfo(adapterId, targetId, out);
    }
    bool enumDisplaySettings(const std::string& gdiName, uint32_t modeNum, DevMode& mode) override {
        return desk_.enumDisplaySettings(gdiName, modeNum, mode);
    }
    int32_t changeDisplaySettings(const std::string* gdiName, const DevMode* mode, uint32_t flags) override {
        int32_t result = desk_.changeDisplaySettings(gdiName, mode, flags);
        const bool commit = !gdiName && !mode && flags == 0;
        if (commit && result == dc::DispChangeSuccessful && onDisplayChange) onDisplayChange();
        return result;
    }
    int32_t setDisplayConfig(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                             uint32_t flags) override {
        return desk_.setDisplayConfig(paths, modes, flags);
    }
    int32_t setAdvancedColorState(const Luid& adapterId, uint32_t targetId, bool enable) override {
        return desk_.setAdvancedColorState(adapterId, targetId, enable);
    }
    std::unique_ptr<MonitorDeviceSet> openMonitorDevices() override { return desk_.openMonitorDevices(); }
    std::string formatSystemMessage(uint32_t code) override { return desk_.formatSystemMessage(code); }

private:
    sim::SimDisplays& desk_;
};

// A laptop whose dock brings two external monitors. The program starts with
// the laptop alone; the tests plug the dock in and out.
class HotplugRestoreTest : public test::LayoutFixture {
protected:
    void SetUp() override {
        LayoutFixture::SetUp();
        const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
        const std::vector<DisplayInfo> all = manager.enumerate();
        panel = all[0].key;
        left = all[1].key;
        right = all[2].key;
        leftMonitor = desk.displays.target(docked.left).monitor;
        rightMonitor = desk.displays.target(docked.right).monitor;
        laptopId = docked.laptop;
        leftId = docked.left;
        rightId = docked.right;
        undock();
        // These cases are about what a change restores once it is acted on;
        // the settle time has cases of its own.
        config.hotplugSettleMs = 0;
        displays.onDisplayChange = [this] {
            ++broadcasts;
            hotplug.onDisplayChange();
        };
    }

    void dock() {
        leftId = desk.displays.plug(leftMonitor, 1920, 0);
        rightId = desk.displays.plug(rightMonitor, 1920 + 3840, 0);
    }
    void undock() {
        desk.displays.unplug(leftId);
        desk.displays.unplug(rightId);
    }

    void saveLayouts(const std::vector<Layout>& layouts) {
        desk.files.setFile(path, fileWith(layouts));
        ASSERT_TRUE(store.load());
    }

    // The arrangement the user keeps for the docked laptop: the big monitor
    // left of the panel, the fast one right of it.
    Layout deskLayout(const char* name = "Desk") const {
        return {name, {at(left, -3840, 0), at(panel, 0, 0, true), at(right, 1920, 0)}};
    }

    std::vector<std::string> restoredLines() const {
        std::vector<std::string> out;
        for (const std::string& line : desk.debug.lines())
            if (line.find("uto-restore") != std::string::npos) out.push_back(line);
        return out;
    }

    static std::vector<std::string> sorted(std::vector<std::string> keys) {
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    const std::string kRestored = "[Quorvane][INF] Auto-restored layout for connected monitor set\n";

    std::string panel, left, right;
    sim::SimMonitor leftMonitor, rightMonitor;
    uint32_t laptopId = 0, leftId = 0, rightId = 0;

    BroadcastingDisplays displays{desk.displays};
    DisplayManager broadcastingManager{displays};
    LayoutStore store;
    Config config;
    HotplugRestore hotplug{broadcastingManager, store, config, desk.ticks};
    int broadcasts = 0;
};

TEST_F(HotplugRestoreTest, DockingRestoresTheLayoutOfExactlyTheConnectedMonitors) {
    saveLayouts({
        {"Laptop", {at(panel, 0, 0, true)}},
        {"Desk and projector", {at(left, -3840, 0), at(panel, 0, 0, true), at(right, 1920, 0), at("EPS-0A1B", 0, 1200)}},
        deskLayout(),
    });
    hotplug.prime(); // records the laptop alone, restores nothing
    EXPECT_EQ(hotplug.knownKeys(), std::vector<std::string>{panel});

    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
    EXPECT_EQ(positionOf(right), std::make_pair(1920, 0));
    EXPECT_EQ(hotplug.lastAutoRestore(), sim::SimTickSource::kStart);
    // The display change the restore itself causes ends at the set comparison.
    EXPECT_GE(broadcasts, 1);
    EXPECT_EQ(restoredLines(), std::vector<std::string>{kRestored});
}

TEST_F(HotplugRestoreTest, TheEarlierOfTwoMatchingLayoutsWins) {
    Layout stacked{"Stacked", {at(left, 0, -2160), at(panel, 0, 0, true), at(right, 1920, 0)}};
    saveLayouts({stacked, deskLayout()});
    hotplug.prime();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(positionOf(left), std::make_pair(0, -2160));
}

TEST_F(HotplugRestoreTest, ChangesRightAfterARestoreAreRecordedButNotRestored) {
    Layout laptopAndLeft{"Laptop and left", {at(left, 0, -2160), at(panel, 0, 0, true)}};
    saveLayouts({deskLayout(), laptopAndLeft});
    hotplug.prime();
    dock();
    hotplug.onDisplayChange();
    ASSERT_EQ(restoredLines().size(), 1u);

    // The right monitor drops out and comes back within the guard time.
    desk.ticks.advance(1000);
    desk.displays.unplug(rightId);
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left}));
    desk.ticks.advance(1999);
    rightId = desk.displays.plug(rightMonitor, 1920, 0);
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
    EXPECT_EQ(restoredLines().size(), 1u);
    EXPECT_EQ(hotplug.lastAutoRestore(), sim::SimTickSource::kStart);

    // Three seconds after the restore, the next different set restores again.
    desk.ticks.advance(1);
    desk.displays.unplug(rightId);
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines().size(), 2u);
    EXPECT_EQ(positionOf(left), std::make_pair(0, -2160));
    EXPECT_EQ(hotplug.lastAutoRestore(), sim::SimTickSource::kStart + 3000);
}

TEST_F(HotplugRestoreTest, WithTheSettingOffTheSetIsStillFollowed) {
    saveLayouts({deskLayout()});
    config.autoRestoreOnHotplug = false;
    hotplug.prime();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
    EXPECT_EQ(positionOf(left), std::make_pair(1920, 0));

    // Switching the setting on does nothing until the set changes again.
    config.autoRestoreOnHotplug = true;
    hotplug.onDisplayChange();
    EXPECT_TRUE(restoredLines().empty());
    undock();
    hotplug.onDisplayChange();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines(), std::vector<std::string>{kRestored});
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
}

TEST_F(HotplugRestoreTest, ChangingTheSameMonitorsNeverRestores) {
    dock();
    saveLayouts({deskLayout()});
    hotplug.prime();
    ASSERT_TRUE(broadcastingManager.setMode(right, 1920, 1080, 0).ok);
    hotplug.onDisplayChange();
    ASSERT_TRUE(broadcastingManager.setOrientation(left, 1).ok);
    hotplug.onDisplayChange();
    EXPECT_TRUE(restoredLines().empty());
    EXPECT_EQ(positionOf(left), std::make_pair(1920, 0));
}

// Docking where Windows already puts the monitors as the layout has them:
// nothing is set again, and the log says why.
TEST_F(HotplugRestoreTest, ALayoutAlreadyInEffectIsNotAppliedAgain) {
    saveLayouts({{"As docked", {at(panel, 0, 0, true), at(left, 1920, 0), at(right, 1920 + 3840, 0)}}});
    hotplug.prime();
    dock();
    desk.displays.clearCalls();
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines(), std::vector<std::string>{
                                   "[Quorvane][INF] Auto-restore: the matching layout is already in effect\n"});
    for (const std::string& call : desk.displays.calls()) {
        EXPECT_EQ(call.find("ChangeDisplaySettings"), std::string::npos) << call;
        EXPECT_EQ(call.find("SetDisplayConfig"), std::string::npos) << call;
    }
}

TEST_F(HotplugRestoreTest, NoMatchingLayoutLeavesTheDesktopAlone) {
    saveLayouts({{"Laptop", {at(panel, 0, 0, true)}}});
    hotplug.prime();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
    EXPECT_TRUE(restoredLines().empty());
    EXPECT_EQ(hotplug.lastAutoRestore(), 0u);
    EXPECT_EQ(positionOf(left), std::make_pair(1920, 0));
}

TEST_F(HotplugRestoreTest, AFailedRestoreIsOnlyLogged) {
    saveLayouts({deskLayout()});
    hotplug.prime();
    dock();
    for (uint32_t id : {laptopId, leftId, rightId}) desk.displays.target(id).failCurrentMode = true;
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines(),
              std::vector<std::string>{"[Quorvane][WRN] Auto-restore failed: No saved monitors are connected\n"});
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
}

// A machine that booted moments ago: the first restore is not held back by
// a guard that measures from tick 0, and the guard then counts from it.
TEST_F(HotplugRestoreTest, GuardWithAClockThatStartsNearZero) {
    Layout laptopAndLeft{"Laptop and left", {at(left, 0, -2160), at(panel, 0, 0, true)}};
    saveLayouts({deskLayout(), laptopAndLeft});
    desk.ticks.set(120);
    hotplug.prime();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines(), std::vector<std::string>{kRestored});
    EXPECT_EQ(hotplug.lastAutoRestore(), 120u);

    // 2999 ms later the right monitor drops out: the laptop-and-left layout
    // matches, but the guard holds it back.
    desk.ticks.set(3119);
    desk.displays.unplug(rightId);
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines().size(), 1u);
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));

    // 3000 ms after the restore it comes back, and the desk layout returns.
    desk.ticks.set(3120);
    rightId = desk.displays.plug(rightMonitor, 1920, 0);
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines().size(), 2u);
    EXPECT_EQ(hotplug.lastAutoRestore(), 3120u);
}

// The display query fails in the middle of a hotplug burst: that says nothing
// about the monitors, so the set known before stays and the next change with
// the same monitors does not restore a layout over the user's arrangement.
TEST_F(HotplugRestoreTest, AFailedQueryKeepsTheKnownSet) {
    dock();
    saveLayouts({deskLayout()});
    hotplug.prime();
    const std::vector<std::string> docked = hotplug.knownKeys();
    desk.ticks.advance(10000);

    desk.displays.failQuery(SimDisplaysError, 1);
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), docked);
    EXPECT_TRUE(desk.debug.contains("WRN", "Hotplug check skipped: the displays could not be queried"));

    hotplug.onDisplayChange();
    EXPECT_TRUE(restoredLines().empty());
    EXPECT_EQ(positionOf(left), std::make_pair(1920, 0)); // where the user has it, not where the layout puts it
}

TEST_F(HotplugRestoreTest, AFailedQueryAtStartRecordsTheFirstSetWithoutRestoring) {
    dock();
    saveLayouts({deskLayout()});
    desk.displays.failQuery(SimDisplaysError, 1);
    hotplug.prime();
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), sorted({panel, left, right}));
    EXPECT_TRUE(restoredLines().empty());
    EXPECT_EQ(positionOf(left), std::make_pair(1920, 0));

    // From then on, changes of the set restore as usual.
    undock();
    hotplug.onDisplayChange();
    dock();
    hotplug.onDisplayChange();
    EXPECT_EQ(restoredLines(), std::vector<std::string>{kRestored});
}

} // namespace
} // namespace qv
