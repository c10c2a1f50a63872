// Whole arrangements as layouts restore them: advanced colour before the
// mode, exact refresh rates, and nothing done when nothing differs.
#include "DisplayTestFixture.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {
namespace {

using namespace docked;
using Docked = sim::SimDisplays::Docked;
using Displays = std::vector<DisplayInfo>;

// 59.94 Hz, as the display configuration reports it.
constexpr Rational NtscRate{60000, 1001};

const std::string Staged = "CDS_UPDATEREGISTRY|CDS_NORESET";
const std::string StagedPrimary = "CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_NORESET";
const std::string SuppliedApply =
    "SetDisplayConfig(3 paths, 5 modes, SDC_USE_SUPPLIED_DISPLAY_CONFIG|SDC_APPLY|SDC_SAVE_TO_DATABASE|"
    "SDC_ALLOW_CHANGES)";

std::string hdrCall(uint32_t target, bool on) {
    return strprintf("DisplayConfigSetDeviceInfo(SET_ADVANCED_COLOR_STATE, %u, %s)", target,
                     on ? "enable" : "disable");
}

// The three displays staged where they are, as a snapshot of the docked
// laptop restores them, the right one at `rightHz`.
std::vector<std::string> restagedAsTheyAre(uint32_t rightHz) {
    return {cds(LaptopGdi, "DM_POSITION=(0,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=1920 DM_PELSHEIGHT=1200 "
                           "DM_DISPLAYFREQUENCY=60",
                StagedPrimary),
            cds(LeftGdi, "DM_POSITION=(1920,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160 "
                         "DM_DISPLAYFREQUENCY=60",
                Staged),
            cds(RightGdi,
                strprintf("DM_POSITION=(5760,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440 "
                          "DM_DISPLAYFREQUENCY=%u",
                          rightHz),
                Staged),
            CdsCommit};
}

// The right-hand monitor supports HDR (off) and lists 59.94 Hz after 60 Hz
// at its size; GDI shows both as 60 Hz.
void hdrAndNtsc(sim::SimDisplays& d, const Docked& k) {
    sim::SimMonitor& right = d.target(k.right).monitor;
    right.color = AdvancedColorInfo{true, false, dc::ColorEncodingRgb, 10};
    right.modes.push_back({2560, 1440, 60, 32, NtscRate});
}

// The placements of the desktop as it is, with one change.
std::function<ActionResult(DisplayManager&)> snapshotWith(std::function<void(std::vector<DisplayPlacement>&)> change) {
    return [=](DisplayManager& m) {
        std::vector<DisplayPlacement> placements = m.placementSnapshot();
        if (change)
            change(placements);
        return m.applyArrangement(placements);
    };
}

DisplayPlacement& right(std::vector<DisplayPlacement>& placements) { return placements[2]; }

auto rightRunsAt(uint32_t hz, std::optional<Rational> exact, bool hdr) {
    return [=](const Displays& list) {
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list[2].refreshHz, hz);
        if (exact) {
            EXPECT_EQ(list[2].refreshRate.numerator, exact->numerator);
            EXPECT_EQ(list[2].refreshRate.denominator, exact->denominator);
        }
        EXPECT_EQ(list[2].hdrEnabled, hdr);
    };
}

// Switching HDR makes the simulated driver fall back to the first rate it
// lists (60 Hz), as real drivers do: the colour is switched before the modes
// are staged, so the layout's 144 Hz is what the display ends up with.
TEST(DisplayArrangement, AdvancedColourIsSetBeforeTheMode) {
    const auto withHdr = [](bool on) {
        return snapshotWith([=](std::vector<DisplayPlacement>& p) { right(p).hdr = on; });
    };
    const auto hdrOn = [](sim::SimDisplays& d, const Docked& k) {
        hdrAndNtsc(d, k);
        d.target(k.right).monitor.color->advancedColorEnabled = true;
    };
    std::vector<std::string> onThenModes = {hdrCall(4354, true)};
    for (const std::string& call : restagedAsTheyAre(144))
        onThenModes.push_back(call);
    std::vector<std::string> offThenModes = onThenModes;
    offThenModes[0] = hdrCall(4354, false);
    runOperationCases({
        {"HDR on, then the rate the switch reset", hdrAndNtsc, withHdr(true), true,
         "Arrangement applied to 3 display(s)", onThenModes, true, rightRunsAt(144, Rational{144000, 1000}, true)},
        {"HDR off, then the rate", hdrOn, withHdr(false), true, "Arrangement applied to 3 display(s)", offThenModes,
         true, rightRunsAt(144, Rational{144000, 1000}, false)},
        // A layout saved before HDR was kept, or on a display without it,
        // leaves the colour alone.
        {"no HDR state in the placement", hdrOn,
         snapshotWith([](std::vector<DisplayPlacement>& p) {
             right(p).hdr.reset();
             right(p).y = 100;
         }),
         true, "Arrangement applied to 3 display(s)",
         {restagedAsTheyAre(144)[0], restagedAsTheyAre(144)[1],
          cds(RightGdi, "DM_POSITION=(5760,100) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440 "
                        "DM_DISPLAYFREQUENCY=144",
              Staged),
          CdsCommit},
         true, rightRunsAt(144, std::nullopt, true)},
        {"HDR asked of a display without it", nullptr,
         snapshotWith([](std::vector<DisplayPlacement>& p) {
             right(p).hdr = true;
             right(p).y = 100;
         }),
         true, "Arrangement applied to 3 display(s)",
         {restagedAsTheyAre(144)[0], restagedAsTheyAre(144)[1],
          cds(RightGdi, "DM_POSITION=(5760,100) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440 "
                        "DM_DISPLAYFREQUENCY=144",
              Staged),
          CdsCommit},
         true, rightRunsAt(144, std::nullopt, false)},
        // The primary's mode refused: nothing of the arrangement stays, the
        // colour switched back included.
        {"HDR on, then the primary's mode refused", hdrAndNtsc,
         snapshotWith([](std::vector<DisplayPlacement>& p) {
             right(p).hdr = true;
             p[0].width = 3840;
             p[0].height = 2160;
         }),
         false, "BOE-0A1C refused 3840x2160 at 60 Hz: the mode is not supported; the arrangement was not applied",
         {hdrCall(4354, true),
          cds(LaptopGdi, "DM_POSITION=(0,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160 "
                         "DM_DISPLAYFREQUENCY=60",
              StagedPrimary),
          hdrCall(4354, false)},
         true, [](const Displays& list) { EXPECT_FALSE(list[2].hdrEnabled); }},
        // Refused colour: the modes are still set, and the answer says so.
        {"HDR refused", hdrAndNtsc, withHdr(true), false,
         "Arrangement applied to 3 display(s); GSM-5B09-205NTABC1234 refused HDR on: The request is not supported "
         "(0x32)",
         onThenModes, true, rightRunsAt(144, std::nullopt, false),
         [](sim::SimDisplays& d) { d.refuseAdvancedColor(sim::SimDisplays::ErrorNotSupported); }},
    });
}

// GDI knows whole hertz only: 60 Hz there is the first 60 Hz mode the driver
// lists, not 59.94 Hz. The exact rate goes through the display configuration
// afterwards.
TEST(DisplayArrangement, ExactRatesAreSetThroughTheDisplayConfiguration) {
    const auto ntsc = snapshotWith([](std::vector<DisplayPlacement>& p) {
        right(p).refreshHz = 60;
        right(p).refreshRate = RefreshRate{NtscRate.numerator, NtscRate.denominator};
    });
    std::vector<std::string> modesThenRate = restagedAsTheyAre(60);
    modesThenRate.push_back(SuppliedApply);
    runOperationCases({
        {"59.94 Hz from 144 Hz", hdrAndNtsc, ntsc, true, "Arrangement applied to 3 display(s)", modesThenRate, true,
         rightRunsAt(60, NtscRate, false)},
        {"59.94 Hz from 60 Hz",
         [](sim::SimDisplays& d, const Docked& k) {
             hdrAndNtsc(d, k);
             d.sourceOf(k.right).refreshHz = 60;
         },
         ntsc, true, "Arrangement applied to 3 display(s)", modesThenRate, true, rightRunsAt(60, NtscRate, false)},
        {"60 Hz exactly from 59.94 Hz",
         [](sim::SimDisplays& d, const Docked& k) {
             hdrAndNtsc(d, k);
             d.sourceOf(k.right).refreshHz = 60;
             d.target(k.right).monitor.vsync = NtscRate;
         },
         snapshotWith([](std::vector<DisplayPlacement>& p) {
             right(p).refreshHz = 60;
             right(p).refreshRate = RefreshRate{60, 1};
         }),
         true, "Arrangement applied to 3 display(s)", modesThenRate, true, rightRunsAt(60, Rational{60000, 1000}, false)},
        // Without an exact rate (a layout saved before it was kept) the whole
        // rate decides, as it always did.
        {"whole hertz only", hdrAndNtsc,
         snapshotWith([](std::vector<DisplayPlacement>& p) {
             right(p).refreshHz = 60;
             right(p).refreshRate = RefreshRate{};
         }),
         true, "Arrangement applied to 3 display(s)", restagedAsTheyAre(60), true,
         rightRunsAt(60, Rational{60000, 1000}, false)},
        {"a rate the monitor does not offer", nullptr, ntsc, false,
         "Arrangement applied to 3 display(s); GSM-5B09-205NTABC1234 runs at 60 Hz, not 59.94 Hz", modesThenRate,
         true, rightRunsAt(60, Rational{60000, 1000}, false)},
        {"the configuration refused", hdrAndNtsc, ntsc, false,
         "Arrangement applied to 3 display(s); GSM-5B09-205NTABC1234 refused 59.94 Hz: A device attached to the "
         "system is not functioning (0x1F)",
         modesThenRate, true, rightRunsAt(60, Rational{60000, 1000}, false),
         [](sim::SimDisplays& d) {
             d.refuseSetDisplayConfig(dc::SdcApply | dc::SdcUseSuppliedDisplayConfig,
                                      sim::SimDisplays::ErrorGenFailure);
         }},
    });
}

// The configuration handed over for the exact rate keeps every other path as
// it was and leaves the changed path's target mode to Windows.
TEST(DisplayArrangement, TheExactRateLeavesTheTargetModeToWindows) {
    sim::SimDisplays machine;
    const Docked k = machine.laptopWithTwoDocked();
    hdrAndNtsc(machine, k);
    DisplayManager manager(machine);
    std::vector<DisplayPlacement> placements = manager.placementSnapshot();
    right(placements).refreshHz = 60;
    right(placements).refreshRate = RefreshRate{NtscRate.numerator, NtscRate.denominator};
    ASSERT_TRUE(manager.applyArrangement(placements).ok);

    const std::vector<PathInfo>& paths = machine.lastPaths();
    const std::vector<ModeInfo>& modes = machine.lastModes();
    ASSERT_EQ(paths.size(), 3u);
    for (const PathInfo& path : paths) {
        SCOPED_TRACE(path.targetInfo.id);
        ASSERT_LT(path.sourceInfo.modeInfoIdx, modes.size());
        EXPECT_EQ(modes[path.sourceInfo.modeInfoIdx].infoType, dc::ModeInfoTypeSource);
        EXPECT_EQ(modes[path.sourceInfo.modeInfoIdx].id, path.sourceInfo.id);
        if (path.targetInfo.id == k.right) {
            EXPECT_EQ(path.targetInfo.modeInfoIdx, dc::PathModeIdxInvalid);
            EXPECT_EQ(path.targetInfo.refreshRate.numerator, NtscRate.numerator);
            EXPECT_EQ(path.targetInfo.refreshRate.denominator, NtscRate.denominator);
        } else {
            ASSERT_LT(path.targetInfo.modeInfoIdx, modes.size());
            EXPECT_EQ(modes[path.targetInfo.modeInfoIdx].infoType, dc::ModeInfoTypeTarget);
            EXPECT_EQ(modes[path.targetInfo.modeInfoIdx].id, path.targetInfo.id);
        }
    }
}

// An arrangement every display of which already is as placed is not applied
// again: no mode set, no black flash. Any one field that differs applies it,
// after which the same arrangement is in effect.
TEST(DisplayArrangement, AnArrangementAlreadyInEffectIsNotAppliedAgain) {
    struct Case {
        const char* what;
        std::function<void(std::vector<DisplayPlacement>&)> change;
    };
    const std::vector<Case> cases = {
        {"x", [](std::vector<DisplayPlacement>& p) { right(p).x += 10; }},
        {"y", [](std::vector<DisplayPlacement>& p) { right(p).y = -200; }},
        {"size",
         [](std::vector<DisplayPlacement>& p) {
             p[1].width = 2560;
             p[1].height = 1440;
         }},
        {"whole rate",
         [](std::vector<DisplayPlacement>& p) {
             right(p).refreshHz = 60;
             right(p).refreshRate = RefreshRate{};
         }},
        {"exact rate",
         [](std::vector<DisplayPlacement>& p) {
             right(p).refreshHz = 60;
             right(p).refreshRate = RefreshRate{NtscRate.numerator, NtscRate.denominator};
         }},
        {"orientation",
         [](std::vector<DisplayPlacement>& p) {
             p[1].orientation = 1;
             std::swap(p[1].width, p[1].height);
         }},
        {"primary",
         [](std::vector<DisplayPlacement>& p) {
             p[0].primary = false;
             p[1].primary = true;
         }},
        {"HDR", [](std::vector<DisplayPlacement>& p) { right(p).hdr = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDisplays machine;
        const Docked k = machine.laptopWithTwoDocked();
        hdrAndNtsc(machine, k);
        DisplayManager manager(machine);
        const std::vector<DisplayPlacement> now = manager.placementSnapshot();

        machine.clearCalls();
        ActionResult result = manager.applyArrangement(now);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.message, DisplayManager::ArrangementInEffect);
        EXPECT_TRUE(changeCalls(machine).empty()) << changeCalls(machine).front();

        std::vector<DisplayPlacement> changed = now;
        c.change(changed);
        result = manager.applyArrangement(changed);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_FALSE(changeCalls(machine).empty());

        machine.clearCalls();
        result = manager.applyArrangement(changed);
        EXPECT_EQ(result.message, DisplayManager::ArrangementInEffect);
        EXPECT_TRUE(changeCalls(machine).empty()) << changeCalls(machine).front();
    }
}

// What asks for nothing does not keep an arrangement from being in effect:
// a size or rate of 0, no HDR state, and the primary flag of an arrangement
// that names no primary display. A display not connected does.
TEST(DisplayArrangement, WhatCountsAsInEffect) {
    struct Case {
        const char* what;
        std::function<void(std::vector<DisplayPlacement>&)> change;
        bool inEffect;
    };
    const std::vector<Case> cases = {
        {"sizes and rates of 0",
         [](std::vector<DisplayPlacement>& p) {
             for (DisplayPlacement& placement : p) {
                 placement.width = 0;
                 placement.height = 0;
                 placement.refreshHz = 0;
                 placement.refreshRate = RefreshRate{};
             }
         },
         true},
        {"no HDR state", [](std::vector<DisplayPlacement>& p) { right(p).hdr.reset(); }, true},
        {"the same exact rate written otherwise",
         [](std::vector<DisplayPlacement>& p) { right(p).refreshRate = RefreshRate{144, 1}; }, true},
        {"no primary named", [](std::vector<DisplayPlacement>& p) { p[0].primary = false; }, true},
        {"orientation out of range reads as landscape", [](std::vector<DisplayPlacement>& p) { p[0].orientation = 9; },
         true},
        {"a saved monitor not connected",
         [](std::vector<DisplayPlacement>& p) {
             DisplayPlacement away = p[2];
             away.key = "XYZ-0001";
             p.push_back(away);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDisplays machine;
        const Docked k = machine.laptopWithTwoDocked();
        hdrAndNtsc(machine, k);
        DisplayManager manager(machine);
        std::vector<DisplayPlacement> placements = manager.placementSnapshot();
        c.change(placements);
        machine.clearCalls();
        const ActionResult result = manager.applyArrangement(placements);
        EXPECT_EQ(result.message == DisplayManager::ArrangementInEffect, c.inEffect) << result.message;
        EXPECT_EQ(changeCalls(machine).empty(), c.inEffect);
    }
}

} // namespace
} // namespace qv::test
