#pragma once
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"
#include "sim/SimDesktop.h"
#include "sim/SimDisplays.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

// A display manager over the simulated desktop, whose debugger channel
// captures the log.
class DisplayFixture : public ::testing::Test {
protected:

    // A monitor with a known EDID ("ABC", product 0x1234) reported by Windows
    // as "Generic PnP Monitor".
    static sim::SimMonitor genericMonitor(const sim::EdidContents& contents = {}) {
        sim::SimMonitor monitor = sim::SimMonitor::fromEdid(contents);
        monitor.friendlyName = "Generic PnP Monitor";
        return monitor;
    }

    sim::SimDesktop desk;
    DisplayManager manager{desk.displays};
};

// --- Operations on the docked laptop -------------------------------------------
// SimDisplays::laptopWithTwoDocked: a 1920x1200 panel at (0,0), a 3840x2160
// monitor at (1920,0) and a 2560x1440 144 Hz monitor at (5760,0).
namespace docked {
inline constexpr const char* Laptop = "BOE-0A1C";
inline constexpr const char* Left = "DEL-41A8-0x4C4B3033";
inline constexpr const char* Right = "GSM-5B09-205NTABC1234";
inline constexpr const char* LaptopGdi = R"(\\.\DISPLAY1)";
inline constexpr const char* LeftGdi = R"(\\.\DISPLAY2)";
inline constexpr const char* RightGdi = R"(\\.\DISPLAY3)";
} // namespace docked

// The call log text of ChangeDisplaySettingsEx for a device.
inline std::string cds(const std::string& device, const std::string& fields, const std::string& flags) {
    return "ChangeDisplaySettingsEx(" + device + ", {" + fields + "}, " + flags + ")";
}
inline const std::string CdsCommit = "ChangeDisplaySettingsEx(NULL, NULL, 0)";

// The fields of a current mode as read back, with a changed position,
// orientation, size or rate.
inline std::string currentFields(int x, int y, unsigned orientation, unsigned width, unsigned height, unsigned hz) {
    return strprintf("DM_POSITION=(%d,%d) DM_DISPLAYORIENTATION=%u DM_BITSPERPEL=32 DM_PELSWIDTH=%u "
                     "DM_PELSHEIGHT=%u DM_DISPLAYFREQUENCY=%u",
                     x, y, orientation, width, height, hz);
}

// Turns a monitor's desktop by a CCD rotation, as Windows shows it.
inline void rotate(sim::SimDisplays& desk, uint32_t targetId, uint32_t rotation) {
    const bool wasPortrait = desk.target(targetId).monitor.rotation == dc::Rotation90 ||
                             desk.target(targetId).monitor.rotation == dc::Rotation270;
    const bool portrait = rotation == dc::Rotation90 || rotation == dc::Rotation270;
    desk.target(targetId).monitor.rotation = rotation;
    if (wasPortrait != portrait)
        std::swap(desk.sourceOf(targetId).width, desk.sourceOf(targetId).height);
}

// The calls that change the configuration, in order.
inline std::vector<std::string> changeCalls(const sim::SimDisplays& desk) {
    std::vector<std::string> out;
    for (const std::string& call : desk.calls())
        if (call.rfind("ChangeDisplaySettingsEx", 0) == 0 || call.rfind("SetDisplayConfig", 0) == 0 ||
            call.rfind("DisplayConfigSetDeviceInfo", 0) == 0)
            out.push_back(call);
    return out;
}

// One line per record, with what the operations change.
inline std::string describe(const std::vector<DisplayInfo>& displays) {
    std::string text;
    for (const DisplayInfo& d : displays)
        text += strprintf("%s '%s' %s at (%d,%d) %ux%u@%u o%u%s%s\n", d.key.c_str(), d.name.c_str(),
                          d.gdiName.c_str(), d.posX, d.posY, d.width, d.height, d.refreshHz, d.orientation,
                          d.primary ? " primary" : "", d.hdrEnabled ? " hdr" : "");
    return text;
}

// One operation on the docked laptop after one enumeration.
struct OperationCase {
    const char* what;
    std::function<void(sim::SimDisplays&, const sim::SimDisplays::Docked&)> arrange;
    std::function<ActionResult(DisplayManager&)> op;
    bool ok;
    std::string message;
    std::vector<std::string> changes;  // configuration-changing calls, in order
    bool refreshes;                    // the cache ends up as a fresh enumeration
    std::function<void(const std::vector<DisplayInfo>&)> check = nullptr;  // on the cache afterwards
    std::function<void(sim::SimDisplays&)> afterEnumeration = nullptr;      // faults for the operation only
};

// Runs each case on its own desk. Before the operation the panel's name is
// changed behind the manager's back, so a cache that was not refreshed still
// shows the old name and one that was shows the new.
inline void runOperationCases(const std::vector<OperationCase>& cases) {
    for (const OperationCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDisplays machine;
        const sim::SimDisplays::Docked displays = machine.laptopWithTwoDocked();
        if (c.arrange)
            c.arrange(machine, displays);
        DisplayManager manager(machine);
        manager.enumerate();
        for (uint32_t id : {displays.laptop, displays.left, displays.right})
            if (machine.connected(id))
                machine.target(id).monitor.friendlyName += " (renamed)";
        const std::string before = describe(manager.cache());
        if (c.afterEnumeration)
            c.afterEnumeration(machine);
        machine.clearCalls();

        const ActionResult result = c.op(manager);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(changeCalls(machine), c.changes);
        const std::string after = describe(manager.cache());
        if (c.refreshes) {
            machine.failBufferSizes(0);
            machine.failQuery(0, 0);
            DisplayManager fresh(machine);
            EXPECT_EQ(after, describe(fresh.enumerate()));
        } else {
            EXPECT_EQ(after, before);
        }
        if (c.check)
            c.check(manager.cache());
    }
}

} // namespace qv::test
