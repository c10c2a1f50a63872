#include "hotkeys/HotkeyBindings.h"

#include "actions/ActionBus.h"
#include "settings/Config.h"
#include "base/Log.h"
#include "hotkeys/Chord.h"
#include "hotkeys/HotkeyRegistrar.h"

namespace qv {

namespace {

struct DefaultBinding {
    const char* action;
    const char* chord;
};

// Added when the map is empty.
constexpr DefaultBinding kDefaultBindings[] = {
    {"ProjectionExtend", "Ctrl+Alt+E"},
    {"ProjectionClone", "Ctrl+Alt+D"},
    {"ProjectionInternal", "Ctrl+Alt+1"},
    {"ProjectionExternal", "Ctrl+Alt+2"},
    {"PushNativeResolutions", "Ctrl+Alt+N"},
    {"RotateNext", "Ctrl+Alt+R"},
    {"FlipArrangement", "Ctrl+Alt+F"},
    {"GatherWindows", "Ctrl+Alt+G"},
};

// Added whenever their action key is absent, so they come back if removed;
// an empty chord is how a user switches one off.
constexpr DefaultBinding kTilingBindings[] = {
    {"TileWindows:2x2", "Ctrl+Alt+Shift+2"},
    {"TileWindows:3x2", "Ctrl+Alt+Shift+3"},
    {"TileWindows:4x4", "Ctrl+Alt+Shift+4"},
};

void addDefaults(std::map<std::string, std::string>& hotkeys) {
    if (hotkeys.empty()) {
        for (const DefaultBinding& d : kDefaultBindings) hotkeys.emplace(d.action, d.chord);
    }
    for (const DefaultBinding& d : kTilingBindings) hotkeys.emplace(d.action, d.chord);
}

} // namespace

HotkeyBindings::HotkeyBindings(HotkeyRegistrar& registrar) : registrar_(registrar) {}

std::vector<HotkeyConflict> HotkeyBindings::registerAll(WindowHandle window, ActionBus& bus, Config& config) {
    // Registration happens once per run; should it be repeated, release the
    // earlier registrations first so no stale hotkey stays with the system.
    if (!bindings_.empty()) unregisterAll();

    window_ = window;
    bus_ = &bus;
    addDefaults(config.hotkeys);

    std::vector<HotkeyConflict> conflicts;
    std::int32_t nextId = kFirstId;
    // std::map orders its keys byte-wise, which is the registration order.
    for (const auto& [actionText, chordText] : config.hotkeys) {
        if (chordText.empty()) continue;

        Action action = parseAction(actionText);
        if (action.kind == ActionKind::None) {
            log::logf(log::Warn, "Hotkey for unknown action '%s' ignored", actionText.c_str());
            continue;
        }

        Chord chord = parseChord(chordText);
        if (!chord.valid) {
            log::logf(log::Warn, "Unparseable hotkey '%s' for %s", chordText.c_str(), actionText.c_str());
            conflicts.push_back({actionText, chordText});
            continue;
        }

        std::int32_t id = nextId++;
        if (registrar_.registerHotkey(window, id, chord.modifiers | kModNoRepeat, chord.vk)) {
            bindings_.push_back({id, std::move(action), chordText});
        } else {
            log::logf(log::Warn, "Hotkey conflict: %s (%s) already in use", chordText.c_str(), actionText.c_str());
            conflicts.push_back({actionText, chordText});
        }
    }

    log::logf(log::Info, "Registered %zu hotkey(s), %zu conflict(s)", bindings_.size(), conflicts.size());
    return conflicts;
}

bool HotkeyBindings::onHotkey(std::int32_t id) {
    for (const HotkeyBinding& binding : bindings_) {
        if (binding.id != id) continue;
        if (bus_) {
            // A copy: the bus may run code that touches the bindings.
            Action action = binding.action;
            bus_->dispatch(action);
        }
        return true;
    }
    return false;
}

void HotkeyBindings::unregisterAll() {
    for (const HotkeyBinding& binding : bindings_) registrar_.unregisterHotkey(window_, binding.id);
    bindings_.clear();
    window_ = 0;
}

} // namespace qv
