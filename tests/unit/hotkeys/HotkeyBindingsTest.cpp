#include "hotkeys/HotkeyBindings.h"

#include "actions/ActionBus.h"
#include "settings/Config.h"
#include "hotkeys/Chord.h"
#include "sim/SimHotkeys.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qv {
namespace {

using Map = std::map<std::string, std::string>;

constexpr WindowHandle kWindow = 0x30A2C;
constexpr std::uint32_t kCtrlAlt = kModControl | kModAlt;

class HotkeyBindingsTest : public test::CoreWorld {
protected:
    void SetUp() override {
        bus.setResultListener([this](const Action& action, const ActionResult&) { dispatched.push_back(action); });
    }

    std::vector<std::string> boundActions() const {
        std::vector<std::string> out;
        for (const HotkeyBinding& b : bindings.bindings()) {
            std::string text = actionKindName(b.action.kind);
            if (!b.action.name.empty()) text += ":" + b.action.name;
            out.push_back(text);
        }
        return out;
    }

    HotkeyBindings bindings{desk.hotkeys};
    std::vector<Action> dispatched;
};

TEST_F(HotkeyBindingsTest, FirstStartRegistersElevenDefaultsInActionOrderAndKeepsThemForTheSave) {
    EXPECT_TRUE(bindings.registerAll(kWindow, bus, config).empty());

    const Map expected = {
        {"FlipArrangement", "Ctrl+Alt+F"},         {"GatherWindows", "Ctrl+Alt+G"},
        {"ProjectionClone", "Ctrl+Alt+D"},         {"ProjectionExtend", "Ctrl+Alt+E"},
        {"ProjectionExternal", "Ctrl+Alt+2"},      {"ProjectionInternal", "Ctrl+Alt+1"},
        {"PushNativeResolutions", "Ctrl+Alt+N"},   {"RotateNext", "Ctrl+Alt+R"},
        {"TileWindows:2x2", "Ctrl+Alt+Shift+2"},   {"TileWindows:3x2", "Ctrl+Alt+Shift+3"},
        {"TileWindows:4x4", "Ctrl+Alt+Shift+4"},
    };
    EXPECT_EQ(config.hotkeys, expected);
    ASSERT_TRUE(config.save());
    Config reloaded;
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.hotkeys, expected);

    EXPECT_EQ(boundActions(), (std::vector<std::string>{
                                  "FlipArrangement", "GatherWindows", "ProjectionClone", "ProjectionExtend",
                                  "ProjectionExternal", "ProjectionInternal", "PushNativeResolutions", "RotateNext",
                                  "TileWindows:2x2", "TileWindows:3x2", "TileWindows:4x4"}));

    // Ids count up from B000 in that order; every chord goes in with MOD_NOREPEAT.
    const auto& calls = desk.hotkeys.calls();
    ASSERT_EQ(calls.size(), 11u);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].window, kWindow);
        EXPECT_EQ(calls[i].id, 0xB000 + static_cast<std::int32_t>(i));
        EXPECT_EQ(bindings.bindings()[i].id, calls[i].id);
        EXPECT_NE(calls[i].modifiers & kModNoRepeat, 0u);
    }
    EXPECT_EQ(calls[0].modifiers, kCtrlAlt | kModNoRepeat); // FlipArrangement: Ctrl+Alt+F
    EXPECT_EQ(calls[0].vk, 0x46u);
    EXPECT_EQ(calls[10].modifiers, kCtrlAlt | kModShift | kModNoRepeat); // TileWindows:4x4
    EXPECT_EQ(calls[10].vk, 0x34u);
    EXPECT_TRUE(desk.debug.contains("INF", "Registered 11 hotkey(s), 0 conflict(s)"));
}

TEST_F(HotkeyBindingsTest, DefaultsFillAnEmptyMapButOnlyTheTilingBindingsComeBack) {
    struct Case {
        const char* what;
        Map before;
        Map after;
    };
    const std::vector<Case> cases = {
        {"a removed default stays removed",
         {{"RotateNext", "Ctrl+Alt+R"}},
         {{"RotateNext", "Ctrl+Alt+R"},
          {"TileWindows:2x2", "Ctrl+Alt+Shift+2"},
          {"TileWindows:3x2", "Ctrl+Alt+Shift+3"},
          {"TileWindows:4x4", "Ctrl+Alt+Shift+4"}}},
        {"a switched-off or rebound tiling binding is kept",
         {{"TileWindows:2x2", ""}, {"TileWindows:3x2", "Win+3"}},
         {{"TileWindows:2x2", ""}, {"TileWindows:3x2", "Win+3"}, {"TileWindows:4x4", "Ctrl+Alt+Shift+4"}}},
    };
    for (const Case& c : cases) {
        Config cfg;
        cfg.hotkeys = c.before;
        sim::SimHotkeys system;
        HotkeyBindings registry{system};
        EXPECT_TRUE(registry.registerAll(kWindow, bus, cfg).empty()) << c.what;
        EXPECT_EQ(cfg.hotkeys, c.after) << c.what;
    }
}

// One map that meets every way a binding can fail, in registration order.
TEST_F(HotkeyBindingsTest, FailedBindingsBecomeConflictsAndOnlyParsedChordsUseIds) {
    desk.hotkeys.takeByOtherProgram(kCtrlAlt, 'X');
    config.hotkeys = {
        {"GatherWindows", "Ctrl+Alt+Q"},        // same chord as FlipArrangement, sorts later
        {"FlipArrangement", "Ctrl+Alt+Q"},
        {"ProjectionClone", "Ctrl+Alt+Bogus"},  // unparseable: conflict, no id
        {"ProjectionExtend", ""},               // switched off: silent
        {"ProjectionExternal", "Ctrl+Alt+X"},   // owned by another program
        {"PushMaxResolutions", "Ctrl+Alt+F1x"}, // reads as F1
        {"RotateNext", "Ctrl+Alt+R"},
        {"TileWindows:2x2", ""},
        {"TileWindows:3x2", ""},
        {"TileWindows:4x4", ""},
        {"TileWindows:9x9", "Ctrl+Alt+9"},      // unknown action: warning only
    };

    std::vector<HotkeyConflict> conflicts = bindings.registerAll(kWindow, bus, config);

    EXPECT_EQ(conflicts, (std::vector<HotkeyConflict>{{"GatherWindows", "Ctrl+Alt+Q"},
                                                      {"ProjectionClone", "Ctrl+Alt+Bogus"},
                                                      {"ProjectionExternal", "Ctrl+Alt+X"}}));

    struct Expected {
        std::int32_t id;
        std::uint32_t vk;
        bool result;
    };
    const std::vector<Expected> expectedCalls = {
        {0xB000, 'Q', true},  // FlipArrangement
        {0xB001, 'Q', false}, // GatherWindows
        {0xB002, 'X', false}, // ProjectionExternal
        {0xB003, 0x70, true}, // PushMaxResolutions on F1
        {0xB004, 'R', true},  // RotateNext
    };
    ASSERT_EQ(desk.hotkeys.calls().size(), expectedCalls.size());
    for (size_t i = 0; i < expectedCalls.size(); ++i) {
        const auto& call = desk.hotkeys.calls()[i];
        EXPECT_EQ(call.id, expectedCalls[i].id) << i;
        EXPECT_EQ(call.modifiers, kCtrlAlt | kModNoRepeat) << i;
        EXPECT_EQ(call.vk, expectedCalls[i].vk) << i;
        EXPECT_EQ(call.result, expectedCalls[i].result) << i;
    }
    EXPECT_EQ(boundActions(), (std::vector<std::string>{"FlipArrangement", "PushMaxResolutions", "RotateNext"}));

    const std::vector<std::pair<const char*, const char*>> lines = {
        {"WRN", "Hotkey conflict: Ctrl+Alt+Q (GatherWindows) already in use"},
        {"WRN", "Unparseable hotkey 'Ctrl+Alt+Bogus' for ProjectionClone"},
        {"WRN", "Hotkey conflict: Ctrl+Alt+X (ProjectionExternal) already in use"},
        {"WRN", "Hotkey for unknown action 'TileWindows:9x9' ignored"},
        {"INF", "Registered 3 hotkey(s), 3 conflict(s)"},
    };
    for (const auto& [level, text] : lines) EXPECT_TRUE(desk.debug.contains(level, text)) << text;
    EXPECT_EQ(desk.debug.lines().size(), lines.size()); // nothing about the switched-off bindings
}

TEST_F(HotkeyBindingsTest, APressDispatchesTheBoundActionThroughTheBus) {
    // RegisterHotKey modifiers and virtual-key codes, learn.microsoft.com
    // "RegisterHotKey function" and "Virtual-Key Codes".
    constexpr std::uint32_t alt = 0x0001, control = 0x0002, shift = 0x0004, win = 0x0008;
    constexpr std::uint32_t vkW = 0x57, vkNumpad5 = 0x65;
    struct Case {
        const char* file;  // config.json as the user wrote it
        std::uint32_t modifiers;
        std::uint32_t vk;
        ActionKind kind;
        const char* name;
        int cell;
    };
    const std::vector<Case> cases = {
        {R"({"hotkeys": {"SnapWindow:3x2:4": "Win+Numpad5", "Exit": "Ctrl+Alt+Q"}})", win, vkNumpad5,
         ActionKind::SnapWindow, "3x2", 4},
        // The window actions have no default chord; a binding of the user's works.
        {R"({"hotkeys": {"RestoreWindows": "Ctrl+Alt+W"}})", control | alt, vkW, ActionKind::RestoreWindows, "", 0},
        {R"({"hotkeys": {"RescueWindows": "Ctrl+Alt+Shift+W"}})", control | alt | shift, vkW,
         ActionKind::RescueWindows, "", 0},
    };
    const std::string file = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane\\config.json";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        desk.files.setFile(file, c.file);
        ASSERT_TRUE(config.load());
        ASSERT_TRUE(bindings.registerAll(kWindow, bus, config).empty());

        auto pressed = desk.hotkeys.press(c.modifiers, c.vk);
        ASSERT_TRUE(pressed.has_value());
        EXPECT_EQ(pressed->first, kWindow);
        desk.debug.clear();
        dispatched.clear();
        EXPECT_TRUE(bindings.onHotkey(pressed->second));
        ASSERT_EQ(dispatched.size(), 1u);
        EXPECT_EQ(dispatched[0].kind, c.kind);
        EXPECT_EQ(dispatched[0].name, c.name);
        EXPECT_EQ(dispatched[0].cell, c.cell);
        EXPECT_TRUE(desk.debug.contains("INF", std::string("dispatch ") + actionKindName(c.kind)));

        // A press the registry does not know reaches nobody.
        EXPECT_FALSE(bindings.onHotkey(0xAFFF));
        EXPECT_FALSE(bindings.onHotkey(0xB000 + 5));
        EXPECT_EQ(dispatched.size(), 1u);
        bindings.unregisterAll();
    }
}

TEST_F(HotkeyBindingsTest, UnregisterAllReleasesEveryChord) {
    ASSERT_TRUE(bindings.registerAll(kWindow, bus, config).empty());
    ASSERT_EQ(desk.hotkeys.ownedCount(), 11u);
    desk.hotkeys.clearCalls();

    bindings.unregisterAll();

    EXPECT_EQ(desk.hotkeys.ownedCount(), 0u);
    ASSERT_EQ(desk.hotkeys.calls().size(), 11u);
    for (const auto& call : desk.hotkeys.calls()) {
        EXPECT_FALSE(call.registering);
        EXPECT_EQ(call.window, kWindow);
        EXPECT_TRUE(call.result);
    }
    EXPECT_TRUE(bindings.bindings().empty());
    EXPECT_FALSE(bindings.onHotkey(0xB000));
    EXPECT_TRUE(dispatched.empty());
}

} // namespace
} // namespace qv
