// The hotkey adapter against Wine's real RegisterHotKey, with the registry on top.
#include "actions/ActionBus.h"
#include "settings/Config.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "hotkeys/Chord.h"
#include "hotkeys/HotkeyBindings.h"
#include "hotkeys/win32/Win32HotkeyRegistrar.h"
#include "layout/LayoutStore.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {
namespace {

// Chords that nothing else in a fresh prefix holds.
constexpr std::uint32_t kCtrlAltShift = kModControl | kModAlt | kModShift;
constexpr std::uint32_t kF13 = 0x7C;
constexpr std::uint32_t kF14 = 0x7D;

// A message-only window that owns hotkeys for one test.
class OwnerWindow : public TestWindow {
public:
    OwnerWindow() : TestWindow(L"QuorvaneHotkeyTest", Kind::MessageOnly) {}
};

TEST(HotkeyWine, RegistersAndRefusesATakenChord) {
    OwnerWindow window;
    ASSERT_TRUE(window.ok());
    Win32HotkeyRegistrar registrar;

    ASSERT_TRUE(registrar.registerHotkey(window.handle(), 0xB000, kCtrlAltShift | kModNoRepeat, kF13));
    // The same chord again, under another id: the system refuses it.
    EXPECT_FALSE(registrar.registerHotkey(window.handle(), 0xB001, kCtrlAltShift | kModNoRepeat, kF13));

    EXPECT_TRUE(registrar.unregisterHotkey(window.handle(), 0xB000));
    EXPECT_FALSE(registrar.unregisterHotkey(window.handle(), 0xB000));
    // Released, the chord can be taken again.
    EXPECT_TRUE(registrar.registerHotkey(window.handle(), 0xB002, kCtrlAltShift | kModNoRepeat, kF13));
    EXPECT_TRUE(registrar.unregisterHotkey(window.handle(), 0xB002));
}

TEST(HotkeyWine, BindingsReportChordsHeldElsewhereAsConflicts) {
    OwnerWindow window;
    OwnerWindow otherProgram;
    ASSERT_TRUE(window.ok() && otherProgram.ok());
    Win32HotkeyRegistrar registrar;
    ASSERT_TRUE(registrar.registerHotkey(otherProgram.handle(), 1, kCtrlAltShift, kF14));

    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    Config config;
    LayoutStore layouts;
    Win32WindowSystem windowSystem;
    WindowPlacement placement(windowSystem, manager);
    ActionBus bus(manager, placement, layouts, config);
    config.hotkeys = {
        {"FlipArrangement", "Ctrl+Alt+Shift+F13"},
        {"GatherWindows", "Ctrl+Alt+Shift+F13"}, // same chord, sorts later
        {"RotateNext", "Ctrl+Alt+Shift+F14"},    // held by the other window
        {"TileWindows:2x2", ""},
        {"TileWindows:3x2", ""},
        {"TileWindows:4x4", ""},
    };

    CapturedLog log;
    HotkeyBindings bindings(registrar);
    std::vector<HotkeyConflict> conflicts = bindings.registerAll(window.handle(), bus, config);

    EXPECT_EQ(conflicts, (std::vector<HotkeyConflict>{{"GatherWindows", "Ctrl+Alt+Shift+F13"},
                                                      {"RotateNext", "Ctrl+Alt+Shift+F14"}}));
    ASSERT_EQ(bindings.bindings().size(), 1u);
    EXPECT_EQ(bindings.bindings()[0].id, HotkeyBindings::kFirstId);
    EXPECT_TRUE(log.has("WRN", "Hotkey conflict: Ctrl+Alt+Shift+F13 (GatherWindows) already in use"));
    EXPECT_TRUE(log.has("WRN", "Hotkey conflict: Ctrl+Alt+Shift+F14 (RotateNext) already in use"));
    EXPECT_TRUE(log.has("INF", "Registered 1 hotkey(s), 2 conflict(s)"));

    bindings.unregisterAll();
    // Everything the bindings held is free again.
    EXPECT_TRUE(registrar.registerHotkey(window.handle(), 7, kCtrlAltShift, kF13));
    EXPECT_TRUE(registrar.unregisterHotkey(window.handle(), 7));
    EXPECT_TRUE(registrar.unregisterHotkey(otherProgram.handle(), 1));
}

} // namespace
} // namespace qv
