#pragma once
#include "app/DebugOutput.h"
#include "display/DisplayManager.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimDisplays.h"

#include <gtest/gtest.h>

namespace qv::test {

// A display manager over the simulated desktop, with the log's debugger
// channel captured.
class DisplayFixture : public ::testing::Test {
protected:
    void SetUp() override { previous_ = DebugOutput::install(&log); }
    void TearDown() override { DebugOutput::install(previous_); }

    // A monitor with a known EDID ("ABC", product 0x1234) reported by Windows
    // as "Generic PnP Monitor".
    static sim::SimMonitor genericMonitor(const sim::EdidContents& contents = {}) {
        sim::SimMonitor monitor = sim::SimMonitor::fromEdid(contents);
        monitor.friendlyName = "Generic PnP Monitor";
        return monitor;
    }

    sim::SimDisplays desk;
    sim::SimDebugOutput log;
    DisplayManager manager{desk};

private:
    DebugOutput* previous_ = nullptr;
};

} // namespace qv::test
