#include "DisplayTestFixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qv::test {
namespace {

using sim::EdidContents;
using sim::SimMonitor;

class DisplayEnumeration : public DisplayFixture {};

TEST_F(DisplayEnumeration, LaptopWithTwoDockedMonitors) {
    const auto docked = desk.displays.laptopWithTwoDocked();
    desk.displays.target(docked.right).monitor.color = AdvancedColorInfo{true, true, dc::ColorEncodingRgb, 10};

    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_EQ(displays.size(), 3u);

    struct Expected {
        uint32_t targetId;
        const char* key;
        const char* name;
        const char* gdiName;
        uint32_t sourceId;
        int32_t x;
        uint32_t width, height, refreshHz;
        bool primary;
    };
    const Expected expected[] = {
        // The panel has no friendly name and no name descriptor: its GDI name is shown.
        {docked.laptop, "BOE-0A1C", "\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1", 0, 0, 1920, 1200, 60, true},
        {docked.left, "DEL-41A8-0x4C4B3033", "DELL U2720Q", "\\\\.\\DISPLAY2", 1, 1920, 3840, 2160, 60, false},
        // Reported as "Generic PnP Monitor", listed under its EDID name.
        {docked.right, "GSM-5B09-205NTABC1234", "LG ULTRAGEAR", "\\\\.\\DISPLAY3", 2, 5760, 2560, 1440, 144, false},
    };
    for (size_t i = 0; i < 3; ++i) {
        const DisplayInfo& d = displays[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(e.key);
        EXPECT_EQ(d.targetId, e.targetId);
        EXPECT_EQ(d.key, e.key);
        EXPECT_EQ(d.name, e.name);
        EXPECT_EQ(d.gdiName, e.gdiName);
        EXPECT_EQ(d.sourceId, e.sourceId);
        EXPECT_EQ(d.adapterId, sim::SimDisplays::Adapter);
        EXPECT_EQ(d.posX, e.x);
        EXPECT_EQ(d.posY, 0);
        EXPECT_EQ(d.width, e.width);
        EXPECT_EQ(d.height, e.height);
        EXPECT_EQ(d.refreshHz, e.refreshHz);
        EXPECT_EQ(d.orientation, 0u);
        EXPECT_EQ(d.primary, e.primary);
        EXPECT_TRUE(d.active);
        EXPECT_TRUE(d.preferred.valid);
        EXPECT_EQ(d.preferred.width, e.width);
        EXPECT_EQ(d.preferred.height, e.height);
        EXPECT_EQ(d.preferred.refreshHz, e.refreshHz);
    }
    EXPECT_TRUE(displays[2].hdrSupported);
    EXPECT_TRUE(displays[2].hdrEnabled);
    EXPECT_EQ(displays[2].bitsPerColor, 10u);
    EXPECT_EQ(displays[2].colorEncoding, "RGB");
    EXPECT_FALSE(displays[0].hdrSupported);
    EXPECT_EQ(displays[0].colorEncoding, "");

    ASSERT_EQ(manager.cache().size(), 3u);
    EXPECT_EQ(manager.cache()[1].key, displays[1].key);
    EXPECT_EQ(manager.primaryKey(), "BOE-0A1C");
    ASSERT_TRUE(manager.find("GSM-5B09-205NTABC1234"));
    EXPECT_EQ(manager.find("GSM-5B09-205NTABC1234")->targetId, docked.right);
    EXPECT_FALSE(manager.find("GSM-5B09"));
}

TEST_F(DisplayEnumeration, KeysSurviveUndockAndDock) {
    const auto docked = desk.displays.laptopWithTwoDocked();
    const std::vector<DisplayInfo> before = manager.enumerate();
    const SimMonitor left = desk.displays.target(docked.left).monitor;
    const SimMonitor right = desk.displays.target(docked.right).monitor;

    desk.displays.unplug(docked.left);
    desk.displays.unplug(docked.right);
    const std::vector<DisplayInfo> undocked = manager.enumerate();
    ASSERT_EQ(undocked.size(), 1u);
    EXPECT_EQ(undocked[0].key, before[0].key);
    EXPECT_TRUE(undocked[0].primary);
    EXPECT_FALSE(manager.find(before[1].key));

    // Docked again on other connectors (new target ids), in the other order.
    desk.displays.plug(right, 1920 + 3840, 0);
    desk.displays.plug(left, 1920, 0);
    const std::vector<DisplayInfo> redocked = manager.enumerate();
    ASSERT_EQ(redocked.size(), 3u);
    EXPECT_EQ(redocked[1].key, before[2].key);
    EXPECT_EQ(redocked[2].key, before[1].key);
    EXPECT_NE(redocked[1].targetId, before[2].targetId);
}

// How the friendly name and the EDID monitor name combine.
TEST_F(DisplayEnumeration, FriendlyNameRule) {
    struct Case {
        const char* friendlyName;
        const char* edidName;
        const char* expected;
    };
    const Case cases[] = {
        {"Generic PnP Monitor", "Studio 27", "Studio 27"},
        {"Generic PnP Monitor", "", "Generic PnP Monitor"},
        {"generic pnp monitor", "Studio 27", "generic pnp monitor"},
        {"Generic PnP Monitor ", "Studio 27", "Generic PnP Monitor "},
        {"DELL U2720Q", "Studio 27", "DELL U2720Q"},
        {"", "Studio 27", "Studio 27"},
        {"", "", "\\\\.\\DISPLAY1"},
    };
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        SimMonitor monitor = SimMonitor::fromEdid({.monitorName = c.edidName});
        monitor.friendlyName = c.friendlyName;
        machine.plug(monitor, 0, 0);
        DisplayManager displays(machine);
        const std::vector<DisplayInfo> list = displays.enumerate();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].name, c.expected) << "friendly name '" << c.friendlyName << "', EDID name '"
                                            << c.edidName << "'";
    }
}

// What the EDID registry value adds to the identity Windows reports ("ABC",
// product 0x1234 from the target name).
TEST_F(DisplayEnumeration, EdidValueRefinesTheKey) {
    struct Case {
        const char* what;
        EdidContents edid;
        std::function<void(sim::SimTarget&)> change;
        const char* key;
        const char* name;
    };
    const EdidContents withSerial{.serialNumber = 0x0001E240, .monitorName = "Studio 27"};
    const auto none = [](sim::SimTarget&) {};
    const Case cases[] = {
        {"serial number", withSerial, none, "ABC-1234-0x0001E240", "Studio 27"},
        {"serial FFFFFFFF with serial text",
         {.serialNumber = 0xFFFFFFFF, .serialText = "A1B2C3"}, none, "ABC-1234-A1B2C3", "Generic PnP Monitor"},
        {"256-byte value with an extension block",
         {.serialNumber = 0x0001E240, .monitorName = "Studio 27", .extensionBlocks = 1}, none,
         "ABC-1234-0x0001E240", "Studio 27"},
        {"384-byte value with DisplayID extensions",
         {.serialNumber = 0x0001E240, .monitorName = "Studio 27", .extensionBlocks = 2}, none,
         "ABC-1234-0x0001E240", "Studio 27"},
        {"512-byte value", {.serialText = "A1B2C3", .extensionBlocks = 3}, none, "ABC-1234-A1B2C3",
         "Generic PnP Monitor"},
        {"serial text with bytes outside ASCII", {.serialText = "2\xa0\x1eW\xff"}, none, "ABC-1234-2",
         "Generic PnP Monitor"},
        {"monitor name in a legacy code page", {.monitorName = "\xcf\xd4\xca\xbe\xc6\xf7"}, none, "ABC-1234",
         "Generic PnP Monitor"},
        {"127 bytes", withSerial, [](sim::SimTarget& t) { t.monitor.edid.resize(127); }, "ABC-1234",
         "Generic PnP Monitor"},
        {"wrong header", withSerial, [](sim::SimTarget& t) { t.monitor.edid[0] = 0x01; }, "ABC-1234",
         "Generic PnP Monitor"},
        {"wrong value type", withSerial, [](sim::SimTarget& t) { t.monitor.edidValueType = 1; }, "ABC-1234",
         "Generic PnP Monitor"},
        {"no EDID value", withSerial, [](sim::SimTarget& t) { t.monitor.hasEdidValue = false; }, "ABC-1234",
         "Generic PnP Monitor"},
        {"hardware key cannot be opened", withSerial, [](sim::SimTarget& t) { t.failOpenDevKey = true; },
         "ABC-1234", "Generic PnP Monitor"},
        {"instance id unreadable", withSerial, [](sim::SimTarget& t) { t.failInstanceId = true; }, "ABC-1234",
         "Generic PnP Monitor"},
        {"monitor device not present", withSerial, [](sim::SimTarget& t) { t.inDeviceClass = false; },
         "ABC-1234", "Generic PnP Monitor"},
        {"Windows reports no EDID ids", withSerial,
         [](sim::SimTarget& t) {
             t.monitor.edidManufactureId = 0;
             t.monitor.edidProductCodeId = 0;
         },
         "ABC-1234-0x0001E240", "Studio 27"},
        {"no EDID ids anywhere", withSerial,
         [](sim::SimTarget& t) {
             t.monitor.edidManufactureId = 0;
             t.monitor.hasEdidValue = false;
         },
         "path:f3a148bc", "Generic PnP Monitor"},
        {"no target name", withSerial, [](sim::SimTarget& t) { t.failTargetName = true; }, "unknown",
         "\\\\.\\DISPLAY1"},
    };
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        const uint32_t id = machine.plug(genericMonitor(c.edid), 0, 0);
        c.change(machine.target(id));
        DisplayManager displays(machine);
        const std::vector<DisplayInfo> list = displays.enumerate();
        ASSERT_EQ(list.size(), 1u) << c.what;
        EXPECT_EQ(list[0].key, c.key) << c.what;
        EXPECT_EQ(list[0].name, c.name) << c.what;
    }
}

// Two monitors of one model on connectors whose instance ids end in UID4352
// and UID43520: the first id lies inside the second, yet each monitor reads
// its own EDID, whichever is listed first.
TEST_F(DisplayEnumeration, EachMonitorReadsItsOwnEdidWhenOneInstanceIdContainsAnother) {
    for (const bool shortIdFirst : {true, false}) {
        SCOPED_TRACE(shortIdFirst ? "UID4352 listed first" : "UID43520 listed first");
        sim::SimDisplays machine;
        const SimMonitor a = genericMonitor({.manufacturer = "DEL", .productCode = 0x41A8, .serialNumber = 0x1111});
        const SimMonitor b = genericMonitor({.manufacturer = "DEL", .productCode = 0x41A8, .serialNumber = 0x2222});
        if (shortIdFirst) {
            machine.plug(a, 0, 0, 4352);
            machine.plug(b, 1920, 0, 43520);
        } else {
            machine.plug(b, 1920, 0, 43520);
            machine.plug(a, 0, 0, 4352);
        }
        DisplayManager displays(machine);
        std::vector<std::string> keys;
        for (const DisplayInfo& d : displays.enumerate()) keys.push_back(std::to_string(d.targetId) + " " + d.key);
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, (std::vector<std::string>{"4352 DEL-41A8-0x00001111", "43520 DEL-41A8-0x00002222"}));
    }
}

TEST_F(DisplayEnumeration, MonitorClassWalkPassesOverOtherDevicesAndAlwaysCloses) {
    const uint32_t id = desk.displays.plug(genericMonitor({.serialNumber = 77}), 0, 0);
    // A foreign monitor first, then a phantom entry of the same monitor whose
    // value is too short: the walk goes on to the real device.
    desk.displays.addStrayDevice({"DISPLAY\\XYZ0000\\5&99&0&UID1", sim::buildEdid({.manufacturer = "XYZ"})});
    std::vector<uint8_t> shortEdid = sim::buildEdid({.serialNumber = 99});
    shortEdid.resize(100);
    desk.displays.addStrayDevice({desk.displays.target(id).instanceId(), shortEdid});

    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].key, "ABC-1234-0x0000004D");

    const std::vector<std::string> walk = desk.displays.callsStartingWith("SetupDi");
    const std::vector<std::string> expected = {
        "SetupDiGetClassDevs(Monitor, DIGCF_PRESENT)",
        "SetupDiEnumDeviceInfo(0)",
        "SetupDiGetDeviceInstanceId(0)",
        "SetupDiEnumDeviceInfo(1)",
        "SetupDiGetDeviceInstanceId(1)",
        "SetupDiOpenDevRegKey(1)",
        "SetupDiEnumDeviceInfo(2)",
        "SetupDiGetDeviceInstanceId(2)",
        "SetupDiOpenDevRegKey(2)",
        "SetupDiDestroyDeviceInfoList",
    };
    EXPECT_EQ(walk, expected);

    // Without a match the walk ends at the first missing index, and closes.
    desk.displays.target(id).inDeviceClass = false;
    desk.displays.clearCalls();
    manager.enumerate();
    const std::vector<std::string> tail = desk.displays.callsStartingWith("SetupDi");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[tail.size() - 2], "SetupDiEnumDeviceInfo(2)");
    EXPECT_EQ(tail.back(), "SetupDiDestroyDeviceInfoList");
}

TEST_F(DisplayEnumeration, MonitorClassUnavailableKeepsWindowsIdentityAndWarns) {
    desk.displays.plug(genericMonitor({.serialNumber = 77, .monitorName = "Studio 27"}), 0, 0);
    desk.displays.failMonitorClass(true);
    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].key, "ABC-1234");
    EXPECT_EQ(list[0].name, "Generic PnP Monitor");
    EXPECT_TRUE(desk.debug.contains("WRN", "enrichFromEdid: SetupDiGetClassDevs failed"));
}

TEST_F(DisplayEnumeration, CloneTopologySharesSourceAndPosition) {
    const auto docked = desk.displays.laptopWithTwoDocked();
    desk.displays.unplug(docked.right);
    desk.displays.clone(docked.left, docked.laptop);

    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].sourceId, list[1].sourceId);
    EXPECT_EQ(list[0].gdiName, list[1].gdiName);
    EXPECT_EQ(list[1].posX, 0);
    EXPECT_EQ(list[1].posY, 0);
    EXPECT_TRUE(list[0].primary);
    EXPECT_TRUE(list[1].primary);
    EXPECT_NE(list[0].key, list[1].key);
    EXPECT_EQ(manager.currentProjection(), Projection::Clone);
}

TEST_F(DisplayEnumeration, KeylessDisplaysGetKeysOfTheirOwnAndUnknownFindsTheFirst) {
    const uint32_t first = desk.displays.plug(genericMonitor(), 0, 0);
    const uint32_t second = desk.displays.plug(genericMonitor(), 1920, 0);
    desk.displays.target(first).failTargetName = true;
    desk.displays.target(second).failTargetName = true;

    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].key, "unknown#" + std::to_string(first));
    EXPECT_EQ(list[1].key, "unknown#" + std::to_string(second));
    EXPECT_EQ(manager.find(list[1].key)->targetId, second);
    // A key stored while both were "unknown" still finds the first.
    ASSERT_TRUE(manager.find("unknown"));
    EXPECT_EQ(manager.find("unknown")->targetId, first);
    EXPECT_EQ(manager.find("unknown")->posX, 0);
}

TEST_F(DisplayEnumeration, OrientationFromRotation) {
    struct Case {
        uint32_t rotation;
        uint32_t orientation;
    };
    const Case cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {0, 0}, {5, 0}, {0xFFFFFFFF, 0}};
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        SimMonitor monitor = genericMonitor();
        monitor.rotation = c.rotation;
        machine.plug(monitor, 0, 0);
        DisplayManager displays(machine);
        const std::vector<DisplayInfo> list = displays.enumerate();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].orientation, c.orientation) << "rotation " << c.rotation;
    }
}

TEST_F(DisplayEnumeration, RefreshRatesRoundToWholeHertz) {
    struct Case {
        Rational rate;
        uint32_t hz;
    };
    const Case cases[] = {
        {{59940, 1000}, 60}, {{60000, 1001}, 60}, {{144000, 1000}, 144}, {{119880, 1000}, 120},
        {{29970, 1000}, 30}, {{59499, 1000}, 59}, {{50, 1}, 50},          {{60, 0}, 0},
    };
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        const uint32_t id = machine.plug(genericMonitor(), 0, 0);
        machine.target(id).monitor.vsync = c.rate;
        machine.target(id).monitor.preferred->vSyncFreq = c.rate;
        machine.target(id).failCurrentMode = true;  // keep the configuration's rate
        DisplayManager displays(machine);
        const std::vector<DisplayInfo> list = displays.enumerate();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].refreshHz, c.hz) << c.rate.numerator << "/" << c.rate.denominator;
        EXPECT_EQ(list[0].preferred.refreshHz, c.hz) << c.rate.numerator << "/" << c.rate.denominator;
    }
}

TEST_F(DisplayEnumeration, CurrentGdiModeOverridesSizeAndRateButNotPosition) {
    const uint32_t id = desk.displays.plug(genericMonitor(), -1920, 0);
    desk.displays.target(id).monitor.vsync = Rational{59940, 1000};
    desk.displays.target(id).gdiCurrent = sim::SimMode{1600, 900, 59};

    const std::vector<DisplayInfo> list = manager.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].width, 1600u);
    EXPECT_EQ(list[0].height, 900u);
    EXPECT_EQ(list[0].refreshHz, 59u);
    EXPECT_EQ(list[0].posX, -1920);
    EXPECT_FALSE(list[0].primary);
    EXPECT_EQ(desk.displays.callsStartingWith("EnumDisplaySettingsEx"),
              std::vector<std::string>{"EnumDisplaySettingsEx(\\\\.\\DISPLAY1, ENUM_CURRENT_SETTINGS)"});

    // Without a GDI name the current mode is not asked for.
    desk.displays.target(id).failSourceName = true;
    desk.displays.clearCalls();
    const std::vector<DisplayInfo> unnamed = manager.enumerate();
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed[0].gdiName, "");
    EXPECT_EQ(unnamed[0].width, 1920u);
    EXPECT_EQ(unnamed[0].refreshHz, 60u);
    EXPECT_TRUE(desk.displays.callsStartingWith("EnumDisplaySettingsEx").empty());
}

TEST_F(DisplayEnumeration, AdvancedColourAndPreferredMode) {
    struct Case {
        std::optional<AdvancedColorInfo> color;
        const char* encoding;
        bool supported;
        uint32_t bits;
    };
    const Case cases[] = {
        {AdvancedColorInfo{true, false, 0, 8}, "RGB", true, 8},
        {AdvancedColorInfo{true, true, 1, 10}, "YCbCr 4:4:4", true, 10},
        {AdvancedColorInfo{false, false, 2, 8}, "YCbCr 4:2:2", false, 8},
        {AdvancedColorInfo{false, false, 3, 8}, "YCbCr 4:2:0", false, 8},
        {AdvancedColorInfo{false, false, 4, 8}, "Intensity", false, 8},
        {AdvancedColorInfo{false, false, 9, 8}, "Intensity", false, 8},
        {std::nullopt, "", false, 0},
    };
    for (const Case& c : cases) {
        sim::SimDisplays machine;
        SimMonitor monitor = genericMonitor();
        monitor.color = c.color;
        monitor.preferred.reset();
        machine.plug(monitor, 0, 0);
        DisplayManager displays(machine);
        const std::vector<DisplayInfo> list = displays.enumerate();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].colorEncoding, c.encoding);
        EXPECT_EQ(list[0].hdrSupported, c.supported);
        EXPECT_EQ(list[0].hdrEnabled, c.color && c.color->advancedColorEnabled);
        EXPECT_EQ(list[0].bitsPerColor, c.bits);
        EXPECT_FALSE(list[0].preferred.valid);
    }
}

TEST_F(DisplayEnumeration, KeyForTargetWorksForDetachedMonitors) {
    desk.displays.plug(genericMonitor(), 0, 0);
    const uint32_t detached = desk.displays.plugDetached(genericMonitor({.serialText = "S-77"}));
    EXPECT_EQ(manager.enumerate().size(), 1u);
    EXPECT_EQ(manager.keyForTarget(sim::SimDisplays::Adapter, detached), "ABC-1234-S-77");
    EXPECT_EQ(manager.keyForTarget(sim::SimDisplays::Adapter, 9999), "unknown");
    EXPECT_EQ(manager.keyForTarget(Luid{1, 0}, detached), "unknown");
}

TEST_F(DisplayEnumeration, PlacementSnapshotComesFromAFreshEnumeration) {
    const auto docked = desk.displays.laptopWithTwoDocked();
    manager.enumerate();
    // The 4K monitor moves above the panel, the other one a little up.
    desk.displays.sourceOf(docked.left).x = 0;
    desk.displays.sourceOf(docked.left).y = -2160;
    desk.displays.sourceOf(docked.right).y = -360;
    desk.displays.target(docked.left).monitor.rotation = dc::Rotation90;

    const std::vector<DisplayPlacement> placements = manager.placementSnapshot();
    const std::vector<DisplayPlacement> expected = {
        {"BOE-0A1C", 0, 0, 1920, 1200, 60, 0, true, {60000, 1000}, std::nullopt},
        {"DEL-41A8-0x4C4B3033", 0, -2160, 3840, 2160, 60, 1, false, {60000, 1000}, std::nullopt},
        {"GSM-5B09-205NTABC1234", 5760, -360, 2560, 1440, 144, 0, false, {144000, 1000}, std::nullopt},
    };
    EXPECT_EQ(placements, expected);
}

} // namespace
} // namespace qv::test
