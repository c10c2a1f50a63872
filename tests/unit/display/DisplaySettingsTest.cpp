// Changes to one display: mode, refresh rate, orientation, primary, HDR.
#include "DisplayTestFixture.h"

#include <string>
#include <vector>

namespace qv::test {
namespace {

using namespace docked;
using Docked = sim::SimDisplays::Docked;
using Displays = std::vector<DisplayInfo>;

const std::string Registry = "CDS_UPDATEREGISTRY";
const std::string Staged = "CDS_UPDATEREGISTRY|CDS_NORESET";
const std::string StagedPrimary = "CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_NORESET";

const DisplayInfo& in(const Displays& list, const std::string& key) {
    for (const DisplayInfo& d : list)
        if (d.key == key)
            return d;
    static const DisplayInfo none;
    ADD_FAILURE() << key << " is not in the list";
    return none;
}

auto modeIs(const char* key, uint32_t width, uint32_t height, uint32_t hz, uint32_t orientation = 0) {
    return [=](const Displays& list) {
        const DisplayInfo& d = in(list, key);
        EXPECT_EQ(d.width, width);
        EXPECT_EQ(d.height, height);
        EXPECT_EQ(d.refreshHz, hz);
        EXPECT_EQ(d.orientation, orientation);
    };
}

auto positionsAre(std::vector<std::pair<const char*, std::pair<int, int>>> expected) {
    return [=](const Displays& list) {
        for (const auto& [key, at] : expected) {
            EXPECT_EQ(in(list, key).posX, at.first) << key;
            EXPECT_EQ(in(list, key).posY, at.second) << key;
            EXPECT_EQ(in(list, key).primary, at.first == 0 && at.second == 0) << key;
        }
    };
}

auto hdrIs(const char* key, bool on) {
    return [=](const Displays& list) { EXPECT_EQ(in(list, key).hdrEnabled, on); };
}

const auto colour = [](bool enabled) { return AdvancedColorInfo{true, enabled, dc::ColorEncodingRgb, 10}; };

TEST(DisplaySettingOps, SetModeAndRefreshRate) {
    const auto mode = [](const char* key, uint32_t w, uint32_t h, uint32_t hz) {
        return [=](DisplayManager& m) { return m.setMode(key, w, h, hz); };
    };
    const auto rate = [](const char* key, uint32_t hz) {
        return [=](DisplayManager& m) { return m.setRefreshRate(key, hz); };
    };
    const std::string right1080at144 = "DM_PELSWIDTH=1920 DM_PELSHEIGHT=1080 DM_DISPLAYFREQUENCY=144";
    const std::string right1080 = "DM_PELSWIDTH=1920 DM_PELSHEIGHT=1080";
    runOperationCases({
        {"size and rate", nullptr, mode(Right, 1920, 1080, 60), true,
         "GSM-5B09-205NTABC1234 set to 1920x1080@60Hz",
         {cds(RightGdi, "DM_PELSWIDTH=1920 DM_PELSHEIGHT=1080 DM_DISPLAYFREQUENCY=60", Registry)}, true,
         modeIs(Right, 1920, 1080, 60)},
        {"rate 0 keeps the current rate", nullptr, mode(Left, 2560, 1440, 0), true,
         "DEL-41A8-0x4C4B3033 set to 2560x1440@60Hz",
         {cds(LeftGdi, "DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440 DM_DISPLAYFREQUENCY=60", Registry)}, true,
         modeIs(Left, 2560, 1440, 60)},
        {"no such size at 144 Hz: asked again without a rate, reported at 144 Hz", nullptr,
         mode(Right, 1920, 1080, 0), true, "GSM-5B09-205NTABC1234 set to 1920x1080@144Hz",
         {cds(RightGdi, right1080at144, Registry), cds(RightGdi, right1080, Registry)}, true,
         modeIs(Right, 1920, 1080, 60)},
        {"bad parameter: asked again without a rate",
         [](sim::SimDisplays& d, const Docked&) { d.refuseChange(RightGdi, dc::DispChangeBadParam, 1); },
         mode(Right, 1920, 1080, 144), true, "GSM-5B09-205NTABC1234 set to 1920x1080@144Hz",
         {cds(RightGdi, right1080at144, Registry), cds(RightGdi, right1080, Registry)}, true,
         modeIs(Right, 1920, 1080, 60)},
        {"refused also without a rate",
         [](sim::SimDisplays& d, const Docked&) { d.refuseChange(RightGdi, dc::DispChangeBadMode); },
         mode(Right, 1920, 1080, 0), false, "ChangeDisplaySettingsEx failed for GSM-5B09-205NTABC1234",
         {cds(RightGdi, right1080at144, Registry), cds(RightGdi, right1080, Registry)}, false},
        {"another refusal is not asked again",
         [](sim::SimDisplays& d, const Docked&) { d.refuseChange(RightGdi, dc::DispChangeFailed); },
         mode(Right, 1920, 1080, 0), false, "ChangeDisplaySettingsEx failed for GSM-5B09-205NTABC1234",
         {cds(RightGdi, right1080at144, Registry)}, false},
        {"unknown key: enumerated once", nullptr, mode("XYZ-0001", 1920, 1080, 0), false,
         "Display not found: XYZ-0001", {}, true},
        {"display without GDI name", [](sim::SimDisplays& d, const Docked& k) { d.target(k.right).failSourceName = true; },
         mode(Right, 1920, 1080, 0), false, "Display not found: GSM-5B09-205NTABC1234", {}, false},
        {"current mode unreadable",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.right).failCurrentMode = true; },
         mode(Right, 1920, 1080, 0), false, "Could not read current mode for GSM-5B09-205NTABC1234", {}, false},

        {"refresh rate", nullptr, rate(Right, 60), true, "GSM-5B09-205NTABC1234 set to 60 Hz",
         {cds(RightGdi, "DM_DISPLAYFREQUENCY=60", Registry)}, true, modeIs(Right, 2560, 1440, 60)},
        {"unsupported refresh rate: not asked again", nullptr, rate(Right, 75), false,
         "Refresh-rate change failed for GSM-5B09-205NTABC1234", {cds(RightGdi, "DM_DISPLAYFREQUENCY=75", Registry)},
         false},
        {"refresh rate of an unknown key", nullptr, rate("XYZ-0001", 60), false, "Display not found: XYZ-0001", {},
         true},
        {"refresh rate, current mode unreadable",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.right).failCurrentMode = true; }, rate(Right, 60),
         false, "Could not read current mode for GSM-5B09-205NTABC1234", {}, false},
    });
}

TEST(DisplaySettingOps, OrientationAndRotation) {
    const auto orient = [](const char* key, uint32_t orientation) {
        return [=](DisplayManager& m) { return m.setOrientation(key, orientation); };
    };
    const auto next = [](const char* key) { return [=](DisplayManager& m) { return m.rotateNext(key); }; };
    const auto turned = [](uint32_t rotation) {
        return [=](sim::SimDisplays& d, const Docked& k) {
            rotate(d, k.left, rotation);
            rotate(d, k.laptop, rotation);
        };
    };
    runOperationCases({
        {"landscape to 90 degrees swaps the size", nullptr, orient(Left, 1), true,
         "DEL-41A8-0x4C4B3033 orientation changed", {cds(LeftGdi, currentFields(1920, 0, 1, 2160, 3840, 60), Registry)},
         true, modeIs(Left, 2160, 3840, 60, 1)},
        {"90 to 270 degrees keeps the size", turned(dc::Rotation90), orient(Left, 3), true,
         "DEL-41A8-0x4C4B3033 orientation changed", {cds(LeftGdi, currentFields(1920, 0, 3, 2160, 3840, 60), Registry)},
         true, modeIs(Left, 2160, 3840, 60, 3)},
        {"180 degrees from portrait swaps back", turned(dc::Rotation90), orient(Left, 2), true,
         "DEL-41A8-0x4C4B3033 orientation changed", {cds(LeftGdi, currentFields(1920, 0, 2, 3840, 2160, 60), Registry)},
         true, modeIs(Left, 3840, 2160, 60, 2)},
        {"7 means landscape", turned(dc::Rotation90), orient(Left, 7), true, "DEL-41A8-0x4C4B3033 orientation changed",
         {cds(LeftGdi, currentFields(1920, 0, 0, 3840, 2160, 60), Registry)}, true, modeIs(Left, 3840, 2160, 60, 0)},
        {"refused", [](sim::SimDisplays& d, const Docked&) { d.refuseChange(LeftGdi, dc::DispChangeBadMode); },
         orient(Left, 1), false, "Orientation change failed for DEL-41A8-0x4C4B3033",
         {cds(LeftGdi, currentFields(1920, 0, 1, 2160, 3840, 60), Registry)}, false},
        {"orientation of an unknown key", nullptr, orient("XYZ-0001", 1), false, "Display not found: XYZ-0001", {},
         true},
        {"orientation, current mode unreadable",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.left).failCurrentMode = true; }, orient(Left, 1),
         false, "Could not read current mode for DEL-41A8-0x4C4B3033", {}, false},

        {"empty key rotates the primary display", nullptr, next(""), true, "BOE-0A1C orientation changed",
         {cds(LaptopGdi, currentFields(0, 0, 1, 1200, 1920, 60), Registry)}, true, modeIs(Laptop, 1200, 1920, 60, 1)},
        {"90 steps to 180", turned(dc::Rotation90), next(Left), true, "DEL-41A8-0x4C4B3033 orientation changed",
         {cds(LeftGdi, currentFields(1920, 0, 2, 3840, 2160, 60), Registry)}, true, modeIs(Left, 3840, 2160, 60, 2)},
        {"270 returns to landscape", turned(dc::Rotation270), next(Laptop), true, "BOE-0A1C orientation changed",
         {cds(LaptopGdi, currentFields(0, 0, 0, 1920, 1200, 60), Registry)}, true, modeIs(Laptop, 1920, 1200, 60, 0)},
        {"no key and no primary display",
         [](sim::SimDisplays& d, const Docked& k) { d.sourceOf(k.laptop).x = -1920; }, next(""), false,
         "No display to rotate", {}, false},
        {"rotating an unknown key", nullptr, next("XYZ-0001"), false, "Display not found: XYZ-0001", {}, true},
    });
}

TEST(DisplaySettingOps, SetPrimaryShiftsTheWholeDesktop) {
    const auto primary = [](const char* key) { return [=](DisplayManager& m) { return m.setPrimary(key); }; };
    const std::vector<std::string> stagedAroundLeft = {
        cds(LaptopGdi, currentFields(-1920, 0, 0, 1920, 1200, 60), Staged),
        cds(LeftGdi, currentFields(0, 0, 0, 3840, 2160, 60), StagedPrimary),
        cds(RightGdi, currentFields(3840, 0, 0, 2560, 1440, 144), Staged),
        CdsCommit,
    };
    runOperationCases({
        {"display at (1920,0) becomes primary; the others keep their places relative to it", nullptr,
         primary(Left), true, "DEL-41A8-0x4C4B3033 is now primary", stagedAroundLeft, true,
         positionsAre({{Laptop, {-1920, 0}}, {Left, {0, 0}}, {Right, {3840, 0}}})},
        {"the current primary: nothing is called", nullptr, primary(Laptop), true, "BOE-0A1C is already primary", {},
         false},
        {"a display whose mode cannot be read is left where it is",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.right).failCurrentMode = true; }, primary(Left), true,
         "DEL-41A8-0x4C4B3033 is now primary", {stagedAroundLeft[0], stagedAroundLeft[1], CdsCommit}, true,
         positionsAre({{Laptop, {-1920, 0}}, {Left, {0, 0}}, {Right, {5760, 0}}})},
        {"commit refused", [](sim::SimDisplays& d, const Docked&) { d.refuseCommit(dc::DispChangeFailed); },
         primary(Left), false, "Set-primary apply failed", stagedAroundLeft, false},
        // Windows refuses the new primary's staging; the commit moves the others
        // and the old primary stays at the origin: not reported as success.
        {"staging of the new primary refused",
         [](sim::SimDisplays& d, const Docked&) { d.refuseChange(LeftGdi, dc::DispChangeBadMode); }, primary(Left),
         false, "Set-primary apply failed", stagedAroundLeft, true,
         positionsAre({{Laptop, {0, 0}}, {Left, {3840, 0}}, {Right, {5760, 0}}})},
        {"display without GDI name", [](sim::SimDisplays& d, const Docked& k) { d.target(k.left).failSourceName = true; },
         primary(Left), false, "Display not found: DEL-41A8-0x4C4B3033", {}, false},
        {"unknown key", nullptr, primary("XYZ-0001"), false, "Display not found: XYZ-0001", {}, true},
    });
}

TEST(DisplaySettingOps, SetHdr) {
    const auto hdr = [](const char* key, bool on) { return [=](DisplayManager& m) { return m.setHdr(key, on); }; };
    const auto capable = [](bool enabled) {
        return [=](sim::SimDisplays& d, const Docked& k) { d.target(k.right).monitor.color = colour(enabled); };
    };
    const std::string enable = "DisplayConfigSetDeviceInfo(SET_ADVANCED_COLOR_STATE, 4354, enable)";
    const std::string disable = "DisplayConfigSetDeviceInfo(SET_ADVANCED_COLOR_STATE, 4354, disable)";
    runOperationCases({
        {"on", capable(false), hdr(Right, true), true, "HDR on for GSM-5B09-205NTABC1234", {enable}, true,
         hdrIs(Right, true)},
        {"off", capable(true), hdr(Right, false), true, "HDR off for GSM-5B09-205NTABC1234", {disable}, true,
         hdrIs(Right, false)},
        {"no GDI name needed",
         [&](sim::SimDisplays& d, const Docked& k) {
             capable(false)(d, k);
             d.target(k.right).failSourceName = true;
         },
         hdr(Right, true), true, "HDR on for GSM-5B09-205NTABC1234", {enable}, true, hdrIs(Right, true)},
        {"not supported: Windows is not asked", nullptr, hdr(Laptop, true), false,
         "BOE-0A1C doesn't support HDR / advanced color", {}, false},
        {"enable refused",
         [&](sim::SimDisplays& d, const Docked& k) {
             capable(false)(d, k);
             d.refuseAdvancedColor(sim::SimDisplays::ErrorInvalidParameter);
         },
         hdr(Right, true), false, "HDR enable failed: The parameter is incorrect (0x57)", {enable}, false},
        {"disable refused",
         [&](sim::SimDisplays& d, const Docked& k) {
             capable(true)(d, k);
             d.refuseAdvancedColor(sim::SimDisplays::ErrorNotSupported);
         },
         hdr(Right, false), false, "HDR disable failed: The request is not supported (0x32)", {disable}, false},
        {"unknown key", nullptr, hdr("XYZ-0001", true), false, "Display not found: XYZ-0001", {}, true},
    });
}

} // namespace
} // namespace qv::test
