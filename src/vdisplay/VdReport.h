#pragma once
#include "display/DisplayInfo.h"

#include <string>
#include <vector>

namespace qv::vdisplay {

// The display table of the console commands: the title, a header and one
// line per display.
std::string displayTable(const std::string& title, const std::vector<DisplayInfo>& displays);

// Compares the displays of an earlier enumeration with a later one: one
// "  CHANGED: ..." line per earlier display that disappeared or whose mode,
// primary, active or HDR state differs, appended to report. Displays new in
// the later list are not reported. True when nothing changed.
bool physicalUnchanged(const std::vector<DisplayInfo>& earlier, const std::vector<DisplayInfo>& later,
                       std::string& report);

// The frame-rate line of the probe for the intervals (milliseconds) between
// presented frames; empty when there are none.
std::string frameStatistics(std::vector<double> intervals);

} // namespace qv::vdisplay
