// Topology, attachment, mirroring, flipping and whole arrangements.
#include "DisplayTestFixture.h"

#include <string>
#include <vector>

namespace qv::test {
namespace {

using namespace docked;
using Docked = sim::SimDisplays::Docked;
using Displays = std::vector<DisplayInfo>;

const std::string Staged = "CDS_UPDATEREGISTRY|CDS_NORESET";
const std::string StagedPrimary = "CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_NORESET";

std::string supplied(size_t paths, size_t modes, const char* action) {
    return strprintf("SetDisplayConfig(%zu paths, %zu modes, SDC_USE_SUPPLIED_DISPLAY_CONFIG|%s|SDC_SAVE_TO_DATABASE|"
                     "SDC_ALLOW_CHANGES)",
                     paths, modes, action);
}

std::string topology(const char* flag) { return std::string("SetDisplayConfig(0 paths, 0 modes, ") + flag + "|SDC_APPLY)"; }

// The displays in the list, in order, each with its position.
auto layoutIs(std::vector<std::pair<const char*, std::pair<int, int>>> expected) {
    return [=](const Displays& list) {
        ASSERT_EQ(list.size(), expected.size()) << describe(list);
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].key, expected[i].first);
            EXPECT_EQ(list[i].posX, expected[i].second.first) << list[i].key;
            EXPECT_EQ(list[i].posY, expected[i].second.second) << list[i].key;
        }
    };
}

const auto unplugRight = [](sim::SimDisplays& d, const Docked& k) { d.unplug(k.right); };
const auto rightOff = [](sim::SimDisplays& d, const Docked& k) { d.detach(k.right); };

TEST(DisplayTopologyOps, SetProjection) {
    const auto project = [](Projection p) { return [=](DisplayManager& m) { return m.setProjection(p); }; };
    runOperationCases({
        {"extend", nullptr, project(Projection::Extend), true, "Extend applied", {topology("SDC_TOPOLOGY_EXTEND")},
         true, layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {5760, 0}}})},
        {"internal", nullptr, project(Projection::Internal), true, "Internal applied",
         {topology("SDC_TOPOLOGY_INTERNAL")}, true, layoutIs({{Laptop, {0, 0}}})},
        {"external", nullptr, project(Projection::External), true, "External applied",
         {topology("SDC_TOPOLOGY_EXTERNAL")}, true, layoutIs({{Left, {0, 0}}, {Right, {3840, 0}}})},
        {"clone", unplugRight, project(Projection::Clone), true, "Clone applied", {topology("SDC_TOPOLOGY_CLONE")},
         true, layoutIs({{Laptop, {0, 0}}, {Left, {0, 0}}})},
        {"Windows reports success but stays extended",
         [](sim::SimDisplays& d, const Docked&) { d.ignoreTopologyRequests(true); }, project(Projection::Clone),
         false, "Applied Clone but readback shows Extend", {topology("SDC_TOPOLOGY_CLONE")}, false},
        {"topology read back as unknown", [](sim::SimDisplays& d, const Docked&) { d.setTopologyOverride(0x10); },
         project(Projection::Extend), true, "Extend applied", {topology("SDC_TOPOLOGY_EXTEND")}, true},
        {"internal without a built-in panel",
         [](sim::SimDisplays& d, const Docked& k) { d.unplug(k.laptop); }, project(Projection::Internal), false,
         "SetDisplayConfig(Internal) failed: A device attached to the system is not functioning (0x1F)",
         {topology("SDC_TOPOLOGY_INTERNAL")}, false},
        {"mode 4", nullptr, project(Projection::Unknown), false, "Unknown projection mode", {}, false},
        {"mode 9", nullptr, project(static_cast<Projection>(9)), false, "Unknown projection mode", {}, false},
    });
}

TEST(DisplayTopologyOps, EnableAndDisable) {
    const auto enabled = [](const char* key, bool on) {
        return [=](DisplayManager& m) { return m.setEnabled(key, on); };
    };
    // Three monitors on four sources, two active paths with their four modes.
    const std::string attach = supplied(12, 4, "SDC_APPLY");
    runOperationCases({
        {"detach", nullptr, enabled(Right, false), true, "GSM-5B09-205NTABC1234 disabled",
         {cds(RightGdi, "DM_POSITION=(0,0) DM_PELSWIDTH=0 DM_PELSHEIGHT=0", Staged), CdsCommit}, true,
         layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}})},
        {"detach: commit refused", [](sim::SimDisplays& d, const Docked&) { d.refuseCommit(dc::DispChangeFailed); },
         enabled(Right, false), false, "Disable apply failed for GSM-5B09-205NTABC1234",
         {cds(RightGdi, "DM_POSITION=(0,0) DM_PELSWIDTH=0 DM_PELSHEIGHT=0", Staged), CdsCommit}, false},
        // The commit succeeds with nothing to do; the display is still there.
        {"detach: staging refused",
         [](sim::SimDisplays& d, const Docked&) { d.refuseChange(RightGdi, dc::DispChangeFailed); },
         enabled(Right, false), false, "Disable apply failed for GSM-5B09-205NTABC1234",
         {cds(RightGdi, "DM_POSITION=(0,0) DM_PELSWIDTH=0 DM_PELSHEIGHT=0", Staged), CdsCommit}, true,
         layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {5760, 0}}})},
        {"detach: display without GDI name",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.right).failSourceName = true; },
         enabled(Right, false), false, "Display not found: GSM-5B09-205NTABC1234", {}, false},
        {"detach: unknown key", nullptr, enabled("XYZ-0001", false), false, "Display not found: XYZ-0001", {}, true},

        {"attach: Windows places it right of the others", rightOff, enabled(Right, true), true,
         "GSM-5B09-205NTABC1234 enabled", {attach}, true,
         layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {5760, 0}}})},
        {"attach: buffer sizing failed", rightOff, enabled(Right, true), false, "Buffer sizing failed (enable)", {},
         false, nullptr, [](sim::SimDisplays& d) { d.failBufferSizes(sim::SimDisplays::ErrorGenFailure); }},
        {"attach: query failed", rightOff, enabled(Right, true), false, "QueryDisplayConfig(ALL) failed (enable)", {},
         false, nullptr, [](sim::SimDisplays& d) { d.failQuery(sim::SimDisplays::ErrorGenFailure, 1); }},
        {"attach: no monitor with that key", rightOff, enabled("XYZ-0001", true), false,
         "No inactive path for XYZ-0001", {}, false},
        {"attach: Windows cannot name the monitor",
         [](sim::SimDisplays& d, const Docked& k) {
             d.detach(k.right);
             d.target(k.right).failTargetName = true;
         },
         enabled(Right, true), false, "No inactive path for GSM-5B09-205NTABC1234", {}, false},
        {"attach: apply refused",
         [](sim::SimDisplays& d, const Docked& k) {
             d.detach(k.right);
             d.refuseSetDisplayConfig(dc::SdcApply, sim::SimDisplays::ErrorGenFailure);
         },
         enabled(Right, true), false,
         "Enable apply failed: A device attached to the system is not functioning (0x1F)", {attach}, false},
    });
}

TEST(DisplayTopologyOps, MirrorAndFlip) {
    const auto mirror = [](std::vector<std::string> keys) {
        return [=](DisplayManager& m) { return m.mirrorDisplays(keys); };
    };
    const auto flip = [](DisplayManager& m) { return m.flipArrangement(); };
    const auto queryFails = [](sim::SimDisplays& d) { d.failQuery(sim::SimDisplays::ErrorGenFailure, 1); };
    runOperationCases({
        {"three keys, two of them active", rightOff, mirror({Laptop, Left, Right}), true, "Mirrored 2 displays",
         {supplied(2, 4, "SDC_VALIDATE"), supplied(2, 4, "SDC_APPLY")}, true,
         layoutIs({{Laptop, {0, 0}}, {Left, {0, 0}}})},
        {"an active display not chosen keeps its place", nullptr, mirror({Right, Laptop}), true,
         "Mirrored 2 displays", {supplied(3, 6, "SDC_VALIDATE"), supplied(3, 6, "SDC_APPLY")}, true,
         layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {0, 0}}})},
        {"one key", nullptr, mirror({Left}), false, "Select at least two displays to mirror", {}, false},
        {"the same display twice", nullptr, mirror({Left, Left}), false,
         "Chosen displays must all be active to mirror", {}, false},
        {"query failed", nullptr, mirror({Left, Right}), false, "Could not query display config", {}, false, nullptr,
         queryFails},
        {"the 3840x2160 source cannot be shown on the 2560x1440 monitor", nullptr, mirror({Left, Right}), false,
         "Subset mirror not supported for this combination: A device attached to the system is not functioning (0x1F)",
         {supplied(3, 6, "SDC_VALIDATE")}, false},
        {"apply refused",
         [](sim::SimDisplays& d, const Docked&) {
             d.refuseSetDisplayConfig(dc::SdcApply, sim::SimDisplays::ErrorInvalidParameter);
         },
         mirror({Laptop, Right}), false, "Mirror apply failed: The parameter is incorrect (0x57)",
         {supplied(3, 6, "SDC_VALIDATE"), supplied(3, 6, "SDC_APPLY")}, false},

        {"two displays", unplugRight, flip, true, "Arrangement flipped", {supplied(2, 4, "SDC_APPLY")}, true,
         layoutIs({{Laptop, {1920, 0}}, {Left, {0, 0}}})},
        {"three displays", nullptr, flip, false, "Flip needs exactly two displays (found 3)", {}, false},
        {"two displays in clone",
         [](sim::SimDisplays& d, const Docked& k) {
             d.unplug(k.right);
             d.clone(k.left, k.laptop);
         },
         flip, false, "Flip needs exactly two displays (found 1)", {}, false},
        {"flip: query failed", unplugRight, flip, false, "Could not query display config", {}, false, nullptr,
         queryFails},
        {"flip refused",
         [](sim::SimDisplays& d, const Docked& k) {
             d.unplug(k.right);
             d.refuseSetDisplayConfig(dc::SdcApply, sim::SimDisplays::ErrorInvalidParameter);
         },
         flip, false, "Flip failed: The parameter is incorrect (0x57)", {supplied(2, 4, "SDC_APPLY")}, false},
    });
}

TEST(DisplayTopologyOps, ApplyArrangement) {
    const auto apply = [](std::vector<DisplayPlacement> placements) {
        return [=](DisplayManager& m) { return m.applyArrangement(placements); };
    };
    const DisplayPlacement leftPrimary{Left, 1920, 0, 0, 0, 0, 0, true};
    const DisplayPlacement laptopAtZero{Laptop, 0, 0, 0, 0, 0, 0, false};
    const std::vector<std::string> aroundLeft = {
        cds(LeftGdi, "DM_POSITION=(0,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160", StagedPrimary),
        cds(LaptopGdi, "DM_POSITION=(-1920,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=1920 DM_PELSHEIGHT=1200", Staged),
        CdsCommit,
    };
    // Every row refreshes the cache: the arrangement starts with an enumeration.
    runOperationCases({
        {"positions relative to the primary placement; an attached display without placement stays put", nullptr,
         apply({leftPrimary, laptopAtZero}), true, "Arrangement applied to 2 display(s)", aroundLeft, true,
         layoutIs({{Laptop, {-1920, 0}}, {Left, {0, 0}}, {Right, {5760, 0}}})},
        {"one saved monitor not connected", nullptr,
         apply({leftPrimary, laptopAtZero, {"XYZ-0001", 5760, 0, 2560, 1440, 144, 0, false}}), true,
         "Arrangement applied to 2 display(s) (some saved monitors not connected)", aroundLeft, true},
        {"size, rate and orientation", nullptr,
         apply({{Laptop, 0, 0, 1920, 1080, 0, 0, true}, {Left, 1920, 0, 2160, 3840, 60, 1, false}}), true,
         "Arrangement applied to 2 display(s)",
         {cds(LaptopGdi, "DM_POSITION=(0,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=1920 DM_PELSHEIGHT=1080",
              StagedPrimary),
          cds(LeftGdi,
              "DM_POSITION=(1920,0) DM_DISPLAYORIENTATION=1 DM_PELSWIDTH=2160 DM_PELSHEIGHT=3840 "
              "DM_DISPLAYFREQUENCY=60",
              Staged),
          CdsCommit},
         true,
         [](const Displays& list) {
             EXPECT_EQ(list[0].height, 1080u);
             EXPECT_EQ(list[1].orientation, 1u);
             EXPECT_EQ(list[1].width, 2160u);
             EXPECT_EQ(list[1].height, 3840u);
         }},
        {"size 0 keeps the current size, still moved; no primary placement: origin (0,0)", nullptr,
         apply({{Right, 5760, 200, 0, 0, 0, 9, false}}), true, "Arrangement applied to 1 display(s)",
         {cds(RightGdi, "DM_POSITION=(5760,200) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440", Staged),
          CdsCommit},
         true, layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {5760, 200}}})},
        // The primary is staged first; when Windows refuses it, nothing else
        // is staged and nothing is committed.
        {"the primary's mode refused", nullptr,
         apply({{Right, 1920, 0, 0, 0, 0, 0, false}, {Laptop, 0, 0, 3840, 2160, 0, 0, true}}), false,
         "BOE-0A1C refused 3840x2160: the mode is not supported; the arrangement was not applied",
         {cds(LaptopGdi, "DM_POSITION=(0,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160",
              StagedPrimary)},
         true, layoutIs({{Laptop, {0, 0}}, {Left, {1920, 0}}, {Right, {5760, 0}}})},
        {"the primary listed last is staged first", nullptr, apply({laptopAtZero, leftPrimary}), true,
         "Arrangement applied to 2 display(s)", aroundLeft, true},
        // Another display refused: the rest is committed, and the answer says
        // which display refused what, and why.
        {"a mode one monitor does not offer", nullptr,
         apply({leftPrimary, {Right, 5760, 0, 3840, 2160, 144, 0, false}, laptopAtZero}), false,
         "Arrangement applied to 2 display(s); GSM-5B09-205NTABC1234 refused 3840x2160 at 144 Hz: the mode is not "
         "supported",
         {aroundLeft[0],
          cds(RightGdi,
              "DM_POSITION=(3840,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160 "
              "DM_DISPLAYFREQUENCY=144",
              Staged),
          aroundLeft[1], CdsCommit},
         true, layoutIs({{Laptop, {-1920, 0}}, {Left, {0, 0}}, {Right, {5760, 0}}})},
        {"every placement refused by the driver, none primary",
         [](sim::SimDisplays& d, const Docked&) {
             d.refuseChange(LeftGdi, dc::DispChangeFailed);
             d.refuseChange(RightGdi, dc::DispChangeRestart);
         },
         apply({{Left, 1920, 0, 0, 0, 0, 0, false}, {Right, 5760, 100, 0, 0, 0, 0, false}}), false,
         "DEL-41A8-0x4C4B3033 refused 3840x2160: the display driver failed the mode; GSM-5B09-205NTABC1234 "
         "refused 2560x1440: the computer must be restarted first",
         {cds(LeftGdi, "DM_POSITION=(1920,0) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=3840 DM_PELSHEIGHT=2160", Staged),
          cds(RightGdi, "DM_POSITION=(5760,100) DM_DISPLAYORIENTATION=0 DM_PELSWIDTH=2560 DM_PELSHEIGHT=1440", Staged),
          CdsCommit},
         true},
        {"current mode unreadable counts as not connected",
         [](sim::SimDisplays& d, const Docked& k) { d.target(k.laptop).failCurrentMode = true; },
         apply({leftPrimary, laptopAtZero}), true,
         "Arrangement applied to 1 display(s) (some saved monitors not connected)", {aroundLeft[0], CdsCommit}, true},
        {"no saved monitor connected", nullptr, apply({{"XYZ-0001", 0, 0, 0, 0, 0, 0, true}}), false,
         "No saved monitors are connected", {CdsCommit}, true},
        {"commit refused", [](sim::SimDisplays& d, const Docked&) { d.refuseCommit(dc::DispChangeFailed); },
         apply({leftPrimary, laptopAtZero}), false, "Arrangement apply failed", aroundLeft, true},
        {"empty", nullptr, apply({}), false, "Empty arrangement", {}, false},
    });
}

class DisplayArrangementLog : public DisplayFixture {};

TEST_F(DisplayArrangementLog, RefusedPlacementIsLogged) {
    desk.displays.laptopWithTwoDocked();
    const ActionResult result = manager.applyArrangement({{Laptop, 0, 0, 3840, 2160, 0, 0, true}});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "BOE-0A1C refused 3840x2160: the mode is not supported; the arrangement was not applied");
    EXPECT_TRUE(desk.debug.contains("WRN", "applyArrangement: ChangeDisplaySettingsEx failed for BOE-0A1C (-2)"));
    EXPECT_EQ(desk.displays.stagedChanges(), 0u);
}

// Detaching and attaching again brings the monitor back with its mode and key.
TEST_F(DisplayArrangementLog, DetachAndAttachAgain) {
    desk.displays.laptopWithTwoDocked();
    manager.enumerate();
    ASSERT_TRUE(manager.setEnabled(Left, false).ok);
    EXPECT_EQ(describe(manager.cache()), describe(DisplayManager(desk.displays).enumerate()));
    ASSERT_EQ(manager.cache().size(), 2u);
    EXPECT_EQ(manager.currentProjection(), Projection::Extend);

    ASSERT_TRUE(manager.setEnabled(Left, true).ok);
    ASSERT_EQ(manager.cache().size(), 3u);
    const DisplayInfo& left = manager.cache()[1];
    EXPECT_EQ(left.key, Left);
    EXPECT_EQ(left.width, 3840u);
    EXPECT_EQ(left.height, 2160u);
    // The supplied configuration marked exactly one more path active.
    size_t active = 0;
    for (const PathInfo& path : desk.displays.lastPaths())
        active += (path.flags & dc::PathActive) != 0 ? 1 : 0;
    EXPECT_EQ(active, 3u);
}

} // namespace
} // namespace qv::test
