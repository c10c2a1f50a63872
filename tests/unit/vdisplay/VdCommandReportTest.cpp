#include "vdisplay/VdReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::vdisplay {
namespace {

DisplayInfo display(const std::string& key, const std::string& name, uint32_t width, uint32_t height,
                    uint32_t refresh) {
    DisplayInfo d;
    d.key = key;
    d.name = name;
    d.gdiName = "\\\\.\\DISPLAY1";
    d.width = width;
    d.height = height;
    d.refreshHz = refresh;
    d.active = true;
    return d;
}

TEST(VdCommandReportTest, DisplayTableColumns) {
    DisplayInfo left = display("k1", "A very long monitor name that is cut", 1920, 1080, 60);
    left.gdiName = "\\\\.\\DISPLAY12";
    left.posX = -1920;
    left.posY = -300;
    left.primary = true;
    left.hdrEnabled = true;
    left.active = false;
    DisplayInfo right = display("k2", "LG", 3840, 2160, 144);
    right.gdiName = "\\\\.\\DISPLAY2";
    right.posX = 12345;
    DisplayInfo unnamed = display("k3", "", 800, 600, 1000);
    unnamed.gdiName = "";
    unnamed.posY = 100000;

    EXPECT_EQ(displayTable("released:", {left, right, unnamed}),
              "released:\n"
              "  name                         gdi            mode        pos       flags\n"
              "  A very long monitor name tha \\\\.\\DISPLAY12  1920x1080@60  -1920,-300  primary hdr inactive\n"
              "  LG                           \\\\.\\DISPLAY2   3840x2160@144 12345,0     \n"
              "                                              800x600@1000     0,100000 \n");
    EXPECT_EQ(displayTable("before:", {}),
              "before:\n  name                         gdi            mode        pos       flags\n");
}

TEST(VdCommandReportTest, PhysicalComparison) {
    const DisplayInfo dell = display("k1", "DELL U2720Q", 3840, 2160, 60);
    const DisplayInfo lg = display("k2", "LG HDR 4K", 2560, 1440, 144);
    auto changed = [](DisplayInfo d, auto change) {
        change(d);
        return d;
    };
    struct Case {
        const char* name;
        std::vector<DisplayInfo> later;
        std::string report;
    };
    const std::vector<Case> cases = {
        {"same, in another order, with a new display", {lg, display("k9", "QV Stream", 1, 1, 1), dell}, ""},
        {"renamed and moved only", {changed(dell, [](DisplayInfo& d) { d.name = "x"; d.posX = 5; }), lg}, ""},
        {"disappeared", {lg}, "  CHANGED: DELL U2720Q disappeared\n"},
        {"refresh", {dell, changed(lg, [](DisplayInfo& d) { d.refreshHz = 60; })},
         "  CHANGED: LG HDR 4K (mode/primary/active/hdr differs)\n"},
        {"height", {dell, changed(lg, [](DisplayInfo& d) { d.height = 1080; })},
         "  CHANGED: LG HDR 4K (mode/primary/active/hdr differs)\n"},
        {"primary and hdr", {changed(dell, [](DisplayInfo& d) { d.primary = true; }),
                             changed(lg, [](DisplayInfo& d) { d.hdrEnabled = true; })},
         "  CHANGED: DELL U2720Q (mode/primary/active/hdr differs)\n"
         "  CHANGED: LG HDR 4K (mode/primary/active/hdr differs)\n"},
        {"inactive", {dell, changed(lg, [](DisplayInfo& d) { d.active = false; })},
         "  CHANGED: LG HDR 4K (mode/primary/active/hdr differs)\n"},
        {"everything gone", {}, "  CHANGED: DELL U2720Q disappeared\n  CHANGED: LG HDR 4K disappeared\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string report;
        EXPECT_EQ(physicalUnchanged({dell, lg}, c.later, report), c.report.empty());
        EXPECT_EQ(report, c.report);
    }
}

TEST(VdCommandReportTest, FrameStatistics) {
    struct Case {
        std::vector<double> intervals;
        std::string line;
    };
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);  // descending: sorted first
    const std::vector<Case> cases = {
        {{}, ""},
        {{16.5}, "frames=2  fps=60.6  interval ms: p50=16.50 p99=16.50 max=16.50\n"},
        {{30, 10}, "frames=3  fps=50.0  interval ms: p50=30.00 p99=30.00 max=30.00\n"},
        {{8, 9, 7}, "frames=4  fps=125.0  interval ms: p50=8.00 p99=9.00 max=9.00\n"},
        {hundred, "frames=101  fps=19.8  interval ms: p50=51.00 p99=100.00 max=100.00\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(frameStatistics(c.intervals), c.line);
    }
}

} // namespace
} // namespace qv::vdisplay
