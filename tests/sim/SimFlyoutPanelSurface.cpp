#include "sim/SimFlyoutPanelSurface.h"

#include "base/StrPrintf.h"

namespace qv::sim {

bool SimFlyoutPanelSurface::create() {
    if (failCreate) return false;
    created = true;
    return true;
}

void SimFlyoutPanelSurface::moveTo(ScreenPoint point) {
    rect = ScreenRect{point.x, point.y, point.x + rect.width(), point.y + rect.height()};
    calls.push_back(strprintf("move (%d,%d)", point.x, point.y));
}

void SimFlyoutPanelSurface::showAt(const ScreenRect& r) {
    rect = r;
    visible = true;
    calls.push_back(strprintf("show (%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom));
}

void SimFlyoutPanelSurface::hide() {
    visible = false;
    calls.push_back("hide");
}

uint32_t SimFlyoutPanelSurface::trackMenu(const std::vector<MenuEntry>& entries) {
    menusShown.push_back(entries);
    calls.push_back("menu");
    return chooseFromMenu ? chooseFromMenu(entries) : 0;
}

void SimFlyoutPanelSurface::quit() {
    quitRequested = true;
    calls.push_back("quit");
}

const ClassicControl* SimFlyoutPanelSurface::byCaption(const std::string& caption) const {
    for (const ClassicControl& control : controls)
        if (control.caption == caption) return &control;
    return nullptr;
}

bool SimTextPrompt::prompt(WindowHandle owner, const std::string& title, const std::string& label,
                           std::string& text) {
    asked.push_back(title + "|" + label + "|" + text);
    lastOwner = owner;
    if (!accept) return false;
    if (!keep) text = typed;
    return true;
}

} // namespace qv::sim
