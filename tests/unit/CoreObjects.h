#pragma once
#include "actions/ActionBus.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "sim/SimDesktop.h"
#include "windows/WindowPlacement.h"

namespace qv::test {

// The program's core objects over one simulated desktop, wired as the
// program wires them: the display manager over the desktop's monitors, the
// placement service over its windows and that manager, and the action bus
// over the manager, the placement service, the layout store and the
// settings. The user's profile folder exists, so settings and layouts can be
// saved.
struct CoreObjects {
    CoreObjects() { desk.createUserProfile(); }

    sim::SimDesktop desk;
    DisplayManager manager{desk.displays};
    Config config;
    LayoutStore layouts;
    WindowPlacement placement{desk.windows, manager};
    ActionBus bus{manager, placement, layouts, config};
};

} // namespace qv::test
