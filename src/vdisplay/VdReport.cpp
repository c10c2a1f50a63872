#include "vdisplay/VdReport.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <numeric>

namespace qv::vdisplay {

std::string displayTable(const std::string& title, const std::vector<DisplayInfo>& displays) {
    std::string text = title + "\n";
    text += strprintf("  %-28s %-14s %-11s %-9s %s\n", "name", "gdi", "mode", "pos", "flags");
    for (const DisplayInfo& d : displays) {
        text += strprintf("  %-28.28s %-14s %ux%u@%-3u %5d,%-5d %s%s%s\n", d.name.c_str(), d.gdiName.c_str(), d.width,
                          d.height, d.refreshHz, d.posX, d.posY, d.primary ? "primary " : "",
                          d.hdrEnabled ? "hdr " : "", d.active ? "" : "inactive");
    }
    return text;
}

bool physicalUnchanged(const std::vector<DisplayInfo>& earlier, const std::vector<DisplayInfo>& later,
                       std::string& report) {
    bool unchanged = true;
    for (const DisplayInfo& before : earlier) {
        auto now = std::find_if(later.begin(), later.end(),
                                [&](const DisplayInfo& d) { return d.key == before.key; });
        if (now == later.end()) {
            report += strprintf("  CHANGED: %s disappeared\n", before.name.c_str());
            unchanged = false;
        } else if (now->width != before.width || now->height != before.height ||
                   now->refreshHz != before.refreshHz || now->primary != before.primary ||
                   now->active != before.active || now->hdrEnabled != before.hdrEnabled) {
            report += strprintf("  CHANGED: %s (mode/primary/active/hdr differs)\n", before.name.c_str());
            unchanged = false;
        }
    }
    return unchanged;
}

std::string frameStatistics(std::vector<double> intervals) {
    if (intervals.empty()) return std::string();
    std::sort(intervals.begin(), intervals.end());
    const size_t n = intervals.size();
    auto at = [&](double fraction) {
        return intervals[std::min(static_cast<size_t>(static_cast<double>(n) * fraction), n - 1)];
    };
    const double sum = std::accumulate(intervals.begin(), intervals.end(), 0.0);
    const double fps = static_cast<double>(n) * 1000.0 / sum;
    return strprintf("frames=%zu  fps=%.1f  interval ms: p50=%.2f p99=%.2f max=%.2f\n", n + 1, fps, at(0.5), at(0.99),
                     intervals.back());
}

} // namespace qv::vdisplay
