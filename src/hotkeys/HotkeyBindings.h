#pragma once
#include "actions/Action.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class ActionBus;
class HotkeyRegistrar;
struct Config;

// A chord that could not be registered: the action text and the chord text
// as they stand in the settings.
struct HotkeyConflict {
    std::string action;
    std::string chord;

    friend bool operator==(const HotkeyConflict&, const HotkeyConflict&) = default;
};

// One registered hotkey.
struct HotkeyBinding {
    std::int32_t id = 0;
    Action action;
    std::string chord;
};

// The hotkey registry: turns the settings' action → chord map into system
// hotkeys on the owner window and each WM_HOTKEY back into an action for the bus.
class HotkeyBindings {
public:
    // The first id handed to RegisterHotKey; later bindings count up from it.
    // An application's ids must lie in 0x0000..0xBFFF (learn.microsoft.com
    // "RegisterHotKey function"), which leaves room for 4096 bindings.
    static constexpr std::int32_t kFirstId = 0xB000;

    explicit HotkeyBindings(HotkeyRegistrar& registrar);

    // Fills in the default bindings (into config.hotkeys, so a later save
    // writes them), registers every binding against the window and returns
    // the bindings that could not be registered.
    std::vector<HotkeyConflict> registerAll(WindowHandle window, ActionBus& bus, Config& config);

    // WM_HOTKEY: dispatches the bound action; false for an id that is not ours.
    bool onHotkey(std::int32_t id);

    // Releases every registered hotkey and forgets the window.
    void unregisterAll();

    const std::vector<HotkeyBinding>& bindings() const { return bindings_; }

private:
    HotkeyRegistrar& registrar_;
    WindowHandle window_ = 0;
    ActionBus* bus_ = nullptr;
    std::vector<HotkeyBinding> bindings_;
};

} // namespace qv
