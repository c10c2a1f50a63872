// The program's core objects over the real Win32 display and window
// services, wired as the program wires them, for adapter tests that need an
// action bus.
#pragma once
#include "actions/ActionBus.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"

namespace qv {

struct Win32CoreObjects {
    Win32DisplayConfigApi displayConfig;
    DisplayManager displays{displayConfig};
    Config config;
    LayoutStore layouts;
    Win32WindowSystem windowSystem;
    WindowPlacement placement{windowSystem, displays};
    ActionBus bus{displays, placement, layouts, config};
};

} // namespace qv
