#include "sim/SimArrangementSurface.h"

#include "base/StrPrintf.h"
#include "ui/ArrangementWindow.h"

#include <algorithm>

namespace qv::sim {

int SimArrangementSurface::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

bool SimArrangementSurface::create(const ArrangementWindowClass& c) {
    calls.push_back("create " + c.className);
    if (failCreate) return false;
    windowClass = c;
    created = true;
    visible = false;
    ++creations;
    return true;
}

void SimArrangementSurface::destroy() {
    calls.push_back("destroy");
    if (!created) return;
    created = false;
    visible = false;
    captured = false;
    if (window) window->onDestroyed();
}

void SimArrangementSurface::layout(const ArrangementLayout& l) {
    calls.push_back(strprintf("layout %u %dx%d", l.dpi, l.clientWidth, l.clientHeight));
    lastLayout = l;
}

void SimArrangementSurface::show() {
    calls.push_back("show");
    visible = true;
}

void SimArrangementSurface::invalidate() { calls.push_back("invalidate"); }

void SimArrangementSurface::captureMouse() {
    calls.push_back("capture");
    captured = true;
}

void SimArrangementSurface::releaseMouse() {
    calls.push_back("release");
    captured = false;
}

} // namespace qv::sim
