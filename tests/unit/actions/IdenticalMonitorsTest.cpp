// Two monitors of one model on one desk: every action, name and layout aimed
// at one of them must reach that one, today and after a restart.
#include "unit/CoreWorld.h"

#include "layout/HotplugRestore.h"
#include "sim/SimEdid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::test {
namespace {

// A laptop panel and, to its right, two monitors of one model whose header
// serial is the placeholder 0x01010101 and that carry no serial text.
class IdenticalMonitors : public CoreWorld {
protected:
    static constexpr const char* kShared = "ABC-2710-0x01010101";

    void SetUp() override {
        sim::SimMonitor panel = sim::SimMonitor::fromEdid({.manufacturer = "BOE", .productCode = 0x0A1C,
                                                           .width = 1920, .height = 1200});
        panel.internal = true;
        laptop = desk.displays.plug(panel, 0, 0);
        first = desk.displays.plug(twin(), 1920, 0);
        second = desk.displays.plug(twin(), 1920 + 2560, 0);
    }

    static sim::SimMonitor twin(const char* serialText = "") {
        return sim::SimMonitor::fromEdid({.manufacturer = "ABC", .productCode = 0x2710, .serialNumber = 0x01010101,
                                          .monitorName = "Studio 27", .serialText = serialText, .width = 2560,
                                          .height = 1440});
    }

    static std::string keyOn(uint32_t targetId) { return std::string(kShared) + "#" + std::to_string(targetId); }

    // key -> shown name, in list order.
    std::vector<std::pair<std::string, std::string>> shown(ActionBus& through) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const DisplayInfo& info : through.displays()) out.emplace_back(info.key, info.name);
        return out;
    }

    Action action(ActionKind kind, const std::string& display, const std::string& name = "") {
        Action a;
        a.kind = kind;
        a.display = display;
        a.name = name;
        return a;
    }

    uint32_t laptop = 0, first = 0, second = 0;
};

TEST_F(IdenticalMonitors, EachHasAKeyOfItsOwnThatActionsReach) {
    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].key, "BOE-0A1C"); // unique: unchanged
    EXPECT_EQ(list[1].key, keyOn(first));
    EXPECT_EQ(list[2].key, keyOn(second));

    // Turning the second one turns the second one.
    Action rotate = action(ActionKind::SetOrientation, keyOn(second));
    rotate.orientation = 1;
    ASSERT_TRUE(bus.dispatch(rotate).ok);
    EXPECT_EQ(desk.displays.sourceOf(second).width, 1440u);
    EXPECT_EQ(desk.displays.sourceOf(first).width, 2560u);

    ASSERT_TRUE(bus.dispatch(action(ActionKind::RenameDisplay, keyOn(second), "Right twin")).ok);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"BOE-0A1C", "\\\\.\\DISPLAY1"}, {keyOn(first), "Studio 27"}, {keyOn(second), "Right twin"}};
    EXPECT_EQ(shown(bus), expected);
}

TEST_F(IdenticalMonitors, DifferingSerialTextsGiveTheSerialTextKeys) {
    desk.displays.unplug(first);
    desk.displays.unplug(second);
    first = desk.displays.plug(twin("CN0A1"), 1920, 0);
    second = desk.displays.plug(twin("CN0A2"), 1920 + 2560, 0);
    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].key, "ABC-2710-CN0A1");
    EXPECT_EQ(list[2].key, "ABC-2710-CN0A2");
}

TEST_F(IdenticalMonitors, NamesAndLayoutsSurviveARestart) {
    ASSERT_TRUE(bus.dispatch(action(ActionKind::RenameDisplay, keyOn(first), "Left twin")).ok);
    ASSERT_TRUE(bus.dispatch(action(ActionKind::RenameDisplay, keyOn(second), "Right twin")).ok);
    // The user puts the right twin above the left one and saves that.
    Action arrange;
    arrange.kind = ActionKind::ApplyArrangement;
    arrange.placements = {{"BOE-0A1C", 0, 0, 0, 0, 0, 0, true},
                          {keyOn(first), 1920, 0, 0, 0, 0, 0, false},
                          {keyOn(second), 1920, -1440, 0, 0, 0, 0, false}};
    ASSERT_TRUE(bus.dispatch(arrange).ok);
    ASSERT_TRUE(bus.dispatch(action(ActionKind::SaveLayout, "", "Stacked")).ok);
    // Then moves it back.
    desk.displays.sourceOf(second).x = 1920 + 2560;
    desk.displays.sourceOf(second).y = 0;

    // A new run over the same desk and files.
    DisplayManager manager2{desk.displays};
    Config config2;
    ASSERT_TRUE(config2.load());
    LayoutStore layouts2;
    ASSERT_TRUE(layouts2.load());
    WindowPlacement placement2{desk.windows, manager2};
    ActionBus bus2{manager2, placement2, layouts2, config2};

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"BOE-0A1C", "\\\\.\\DISPLAY1"}, {keyOn(first), "Left twin"}, {keyOn(second), "Right twin"}};
    EXPECT_EQ(shown(bus2), expected);
    const ActionResult restored = bus2.dispatch(action(ActionKind::RestoreLayout, "", "Stacked"));
    EXPECT_TRUE(restored.ok) << restored.message;
    EXPECT_EQ(desk.displays.sourceOf(second).x, 1920);
    EXPECT_EQ(desk.displays.sourceOf(second).y, -1440);
    EXPECT_EQ(desk.displays.sourceOf(first).y, 0);
}

TEST_F(IdenticalMonitors, UndockingOneAndDockingAgainRestoresTheLayoutOfBoth) {
    manager.enumerate();
    Action arrange;
    arrange.kind = ActionKind::ApplyArrangement;
    arrange.placements = {{"BOE-0A1C", 0, 0, 0, 0, 0, 0, true},
                          {keyOn(second), 1920, 0, 0, 0, 0, 0, false},
                          {keyOn(first), 1920 + 2560, 0, 0, 0, 0, 0, false}};
    ASSERT_TRUE(bus.dispatch(arrange).ok);
    ASSERT_TRUE(bus.dispatch(action(ActionKind::SaveLayout, "", "Swapped")).ok);
    config.hotplugSettleMs = 0;  // each change acted on at once
    HotplugRestore hotplug{manager, layouts, config, desk.ticks};
    hotplug.prime();

    // The second one goes: the one left over is unique and goes by the key
    // it builds alone.
    const sim::SimMonitor unplugged = desk.displays.target(second).monitor;
    desk.displays.unplug(second);
    desk.ticks.advance(10000);
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), (std::vector<std::string>{kShared, "BOE-0A1C"}));

    // Put back the other way round by hand, then plugged in again on the same
    // connector: the saved layout of all three comes back.
    desk.displays.sourceOf(first).x = 1920;
    desk.displays.plug(unplugged, 1920 + 2560, 0, second);
    desk.ticks.advance(10000);
    hotplug.onDisplayChange();
    EXPECT_EQ(hotplug.knownKeys(), (std::vector<std::string>{keyOn(first), keyOn(second), "BOE-0A1C"}));
    EXPECT_EQ(desk.displays.sourceOf(second).x, 1920);
    EXPECT_EQ(desk.displays.sourceOf(first).x, 1920 + 2560);
}

TEST_F(IdenticalMonitors, ANameOrPlacementUnderTheSharedKeyStaysWithTheFirst) {
    config.displayNames[kShared] = "Named before";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"BOE-0A1C", "\\\\.\\DISPLAY1"}, {keyOn(first), "Named before"}, {keyOn(second), "Studio 27"}};
    EXPECT_EQ(shown(bus), expected);

    Action arrange;
    arrange.kind = ActionKind::ApplyArrangement;
    arrange.placements = {{"BOE-0A1C", 0, 0, 0, 0, 0, 0, true}, {kShared, 0, 1200, 0, 0, 0, 0, false}};
    ASSERT_TRUE(bus.dispatch(arrange).ok);
    EXPECT_EQ(desk.displays.sourceOf(first).y, 1200);
    EXPECT_EQ(desk.displays.sourceOf(second).y, 0);

    // A hotkey or script still naming the shared key makes the first primary.
    const ActionResult primary = bus.dispatch(action(ActionKind::SetPrimary, kShared));
    EXPECT_TRUE(primary.ok) << primary.message;
    EXPECT_EQ(desk.displays.sourceOf(first).x, 0);
    EXPECT_EQ(desk.displays.sourceOf(first).y, 0);
}

TEST_F(IdenticalMonitors, MirrorAndAttachFindTheRightTwin) {
    manager.enumerate();
    Action mirror;
    mirror.kind = ActionKind::MirrorSpecific;
    mirror.displays = {keyOn(first), keyOn(second)};
    const ActionResult mirrored = bus.dispatch(mirror);
    EXPECT_TRUE(mirrored.ok) << mirrored.message;
    EXPECT_EQ(mirrored.message, "Mirrored 2 displays");
    EXPECT_EQ(desk.displays.sourceOf(first).id, desk.displays.sourceOf(second).id);

    // Taken off the desktop, the second twin is still known by its own key
    // among every connected target, and attaching it brings that one back.
    sim::SimDisplays fresh;
    fresh.plug(twin(), 0, 0);
    const uint32_t off = fresh.plugDetached(twin());
    DisplayManager freshManager{fresh};
    EXPECT_EQ(freshManager.enumerate()[0].key, kShared);
    const ActionResult attached = freshManager.setEnabled(keyOn(off), true);
    EXPECT_TRUE(attached.ok) << attached.message;
    ASSERT_EQ(freshManager.cache().size(), 2u);
    EXPECT_EQ(freshManager.cache()[1].targetId, off);
}

} // namespace
} // namespace qv::test
