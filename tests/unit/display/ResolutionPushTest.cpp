// Pushing a mode to every display at once: the largest, the native, or a fixed size.
#include "DisplayTestFixture.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::test {
namespace {

using sim::SimMode;

// One monitor of the desk: its driver modes, the mode it runs, its preferred
// mode as Windows reports it, and a refusal of every mode change.
struct Screen {
    std::vector<SimMode> modes;
    SimMode current;
    std::optional<TargetPreferredMode> preferred = std::nullopt;
    int32_t refusal = 0;
};

struct PushCase {
    const char* what;
    std::vector<Screen> screens;  // keys ABC-1234-0x00000001, -0x00000002, ... left to right
    std::function<ActionResult(DisplayManager&)> op;
    bool ok;
    std::string message;
    std::vector<SimMode> after;                  // each display's mode afterwards
    size_t changes;                              // ChangeDisplaySettingsEx calls
    std::vector<std::string> logs = {};          // the push-* log lines, "LVL text"
};

std::string keyOf(size_t index) { return strprintf("ABC-1234-0x%08zX", index + 1); }

TargetPreferredMode preferredMode(uint32_t width, uint32_t height, uint32_t hz) {
    return {width, height, Rational{hz * 1000, hz != 0 ? 1000u : 0u}};
}

class DisplayPushOps : public DisplayFixture {
protected:
    void run(const std::vector<PushCase>& cases) {
        for (const PushCase& c : cases) {
            SCOPED_TRACE(c.what);
            sim::SimDisplays machine;
            int32_t x = 0;
            for (size_t i = 0; i < c.screens.size(); ++i) {
                const Screen& screen = c.screens[i];
                sim::SimMonitor monitor = sim::SimMonitor::fromEdid({.serialNumber = uint32_t(i + 1)});
                monitor.modes = screen.modes;
                monitor.current = screen.current;
                monitor.preferred = screen.preferred;
                const uint32_t id = machine.plug(monitor, x, 0);
                if (screen.refusal != 0)
                    machine.refuseChange(machine.gdiNameOf(id), screen.refusal);
                x += int32_t(screen.current.width);
            }
            DisplayManager displays(machine);
            desk.debug.clear();

            const ActionResult result = c.op(displays);
            EXPECT_EQ(result.ok, c.ok);
            EXPECT_EQ(result.message, c.message);
            EXPECT_EQ(machine.callsStartingWith("ChangeDisplaySettingsEx").size(), c.changes);

            const std::vector<DisplayInfo> now = DisplayManager(machine).enumerate();
            ASSERT_EQ(now.size(), c.after.size());
            for (size_t i = 0; i < now.size(); ++i) {
                EXPECT_EQ(now[i].key, keyOf(i));
                EXPECT_EQ(strprintf("%ux%u@%u", now[i].width, now[i].height, now[i].refreshHz),
                          strprintf("%ux%u@%u", c.after[i].width, c.after[i].height, c.after[i].refreshHz))
                    << now[i].key;
            }

            std::vector<std::string> pushLogs;
            for (const std::string& line : desk.debug.lines()) {
                // "[Quorvane][WRN] push-max: ...\n" -> "WRN push-max: ..."
                if (line.find("] push-") == std::string::npos)
                    continue;
                pushLogs.push_back(line.substr(11, 3) + " " + line.substr(16, line.size() - 17));
            }
            EXPECT_EQ(pushLogs, c.logs);
        }
    }
};

const auto pushMax = [](DisplayManager& m) { return m.pushMaxModes(); };
const auto pushNative = [](DisplayManager& m) { return m.pushNativeModes(); };
const auto pushSize = [](uint32_t w, uint32_t h) {
    return [=](DisplayManager& m) { return m.pushResolution(w, h); };
};

TEST_F(DisplayPushOps, MaximumModes) {
    const SimMode qhd{2560, 1440, 60};
    run({
        {"largest size, then highest rate", {{{qhd, {3840, 2160, 30}, {3840, 2160, 60}}, qhd}}, pushMax, true,
         "Maximum modes applied to 1 display(s)", {{3840, 2160, 60}}, 1},
        {"equal pixel counts: the higher rate wins whatever the shape",
         {{{{2560, 1600, 60}, {3200, 1280, 120}}, {2560, 1600, 60}}}, pushMax, true,
         "Maximum modes applied to 1 display(s)", {{3200, 1280, 120}}, 1},
        {"equal pixel counts and rates: the first listed stays",
         {{{{2560, 1600, 60}, {3200, 1280, 60}}, {3200, 1280, 60}}}, pushMax, true,
         "Maximum modes applied to 1 display(s)", {{2560, 1600, 60}}, 1},
        {"a display without modes and one that refuses: the walk goes on",
         {{{}, qhd}, {{qhd, {3840, 2160, 60}}, qhd, std::nullopt, dc::DispChangeFailed}, {{qhd, {3440, 1440, 100}}, qhd}},
         pushMax, true, "Maximum modes applied to 1 display(s); some failed (see log)",
         {qhd, qhd, {3440, 1440, 100}}, 2,
         {"WRN push-max: ABC-1234-0x00000001 has no enumerable modes",
          "WRN push-max: ChangeDisplaySettingsEx failed for ABC-1234-0x00000002"}},
        {"nothing applied", {{{}, qhd}}, pushMax, false, "Maximum modes applied to 0 display(s); some failed (see log)",
         {qhd}, 0, {"WRN push-max: ABC-1234-0x00000001 has no enumerable modes"}},
        {"no displays", {}, pushMax, false, "No active displays", {}, 0},
    });
}

TEST_F(DisplayPushOps, NativeModes) {
    const SimMode hd{1920, 1080, 60};
    run({
        {"preferred mode", {{{hd, {2560, 1440, 60}, {2560, 1440, 144}}, hd, preferredMode(2560, 1440, 144)}},
         pushNative, true, "Native modes applied to 1 display(s)", {{2560, 1440, 144}}, 1},
        {"preferred mode without a rate keeps the current rate",
         {{{{1920, 1080, 75}, {2560, 1440, 60}, {2560, 1440, 75}}, {1920, 1080, 75}, preferredMode(2560, 1440, 0)}},
         pushNative, true, "Native modes applied to 1 display(s)", {{2560, 1440, 75}}, 1},
        {"no preferred mode: equal pixel counts of another shape do not replace the first",
         {{{{2560, 1600, 60}, {3200, 1280, 120}}, {3200, 1280, 120}}}, pushNative, true,
         "Native modes applied to 1 display(s) (some used fallback mode)", {{2560, 1600, 60}}, 1,
         {"WRN push-native: ABC-1234-0x00000001 has no preferred mode, using 2560x1600@60Hz"}},
        {"no preferred mode: the same size at a higher rate does",
         {{{hd, {1280, 720, 240}, {1920, 1080, 144}}, hd}}, pushNative, true,
         "Native modes applied to 1 display(s) (some used fallback mode)", {{1920, 1080, 144}}, 1,
         {"WRN push-native: ABC-1234-0x00000001 has no preferred mode, using 1920x1080@144Hz"}},
        {"fallback, a display with nothing, a refusal",
         {{{hd, {2560, 1440, 60}}, hd}, {{}, hd}, {{hd}, hd, preferredMode(1920, 1080, 60), dc::DispChangeBadMode}},
         pushNative, true, "Native modes applied to 1 display(s) (some used fallback mode); some failed (see log)",
         {{2560, 1440, 60}, hd, hd}, 3,
         {"WRN push-native: ABC-1234-0x00000001 has no preferred mode, using 2560x1440@60Hz",
          "WRN push-native: ABC-1234-0x00000002 has no preferred or enumerable mode",
          "WRN push-native: ChangeDisplaySettingsEx failed for ABC-1234-0x00000003"}},
        {"nothing applied", {{{}, hd}}, pushNative, false, "Native modes applied to 0 display(s); some failed (see log)",
         {hd}, 0, {"WRN push-native: ABC-1234-0x00000001 has no preferred or enumerable mode"}},
        {"no displays", {}, pushNative, false, "No active displays", {}, 0},
    });
}

TEST_F(DisplayPushOps, FixedSize) {
    const SimMode hd{1920, 1080, 60};
    const SimMode uhd{3840, 2160, 60};
    const SimMode qhd144{2560, 1440, 144};
    run({
        {"one display lacks the size", {{{hd, uhd}, hd}, {{hd, {2560, 1440, 60}}, hd}}, pushSize(3840, 2160), true,
         "3840x2160 applied to 1 display(s); some don't support it", {uhd, hd}, 1,
         {"INF push-res: ABC-1234-0x00000002 does not offer 3840x2160; skipped"}},
        {"already running the size: nothing is changed", {{{hd, uhd}, hd}}, pushSize(1920, 1080), true,
         "1920x1080 applied to 1 display(s)", {hd}, 0},
        {"no display offers the size", {{{uhd}, uhd}, {{{2560, 1440, 60}}, {2560, 1440, 60}}}, pushSize(1920, 1080),
         false, "1920x1080 applied to 0 display(s); some don't support it", {uhd, {2560, 1440, 60}}, 0,
         {"INF push-res: ABC-1234-0x00000001 does not offer 1920x1080; skipped",
          "INF push-res: ABC-1234-0x00000002 does not offer 1920x1080; skipped"}},
        {"the current rate is not offered at that size: asked again without a rate",
         {{{hd, {2560, 1440, 60}, qhd144}, qhd144}}, pushSize(1920, 1080), true, "1920x1080 applied to 1 display(s)",
         {hd}, 2},
        {"applied, unsupported and refused",
         {{{hd, uhd}, uhd}, {{uhd}, uhd}, {{hd, uhd}, uhd, std::nullopt, dc::DispChangeFailed}},
         pushSize(1920, 1080), true, "1920x1080 applied to 1 display(s); some don't support it; some failed (see log)",
         {hd, uhd, uhd}, 2,
         {"INF push-res: ABC-1234-0x00000002 does not offer 1920x1080; skipped",
          "WRN push-res: ChangeDisplaySettingsEx failed for ABC-1234-0x00000003"}},
        {"no displays", {}, pushSize(1920, 1080), false, "No active displays", {}, 0},
    });
}

} // namespace
} // namespace qv::test
