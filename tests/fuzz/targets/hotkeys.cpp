// The hotkey map of config.json ("hotkeys": action text -> chord text), as
// the user wrote it: up to eight bindings registered against the simulated
// hotkey table, then each registered hotkey pressed. A registered binding
// has a known action, a key and at least one modifier, as Windows takes
// them; every entry with a chord is either registered or reported; each
// press dispatches exactly its binding's action.
#include "FuzzSupport.h"

#include "hotkeys/Chord.h"
#include "hotkeys/HotkeyBindings.h"
#include "sim/SimHotkeys.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace qv;

namespace {

// The keys a chord may name, as virtual-key codes: winuser.h values,
// learn.microsoft.com "Virtual-Key Codes".
bool knownKey(uint32_t vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return true;
    if (vk >= 0x70 && vk <= 0x87) return true;  // VK_F1..VK_F24
    if (vk >= 0x60 && vk <= 0x69) return true;  // VK_NUMPAD0..VK_NUMPAD9
    // VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_SPACE, VK_RETURN, VK_HOME, VK_END,
    // VK_PRIOR, VK_NEXT, VK_INSERT, VK_DELETE, VK_TAB, VK_ESCAPE
    for (uint32_t named : {0x25u, 0x26u, 0x27u, 0x28u, 0x20u, 0x0Du, 0x24u, 0x23u, 0x21u, 0x22u, 0x2Du, 0x2Eu, 0x09u, 0x1Bu})
        if (vk == named) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::World world;
    std::map<std::string, std::string>& hotkeys = world.config.hotkeys;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t n = 0; n < count; ++n) {
        std::string action = in.ConsumeRandomLengthString(40);
        hotkeys[action] = in.ConsumeRandomLengthString(40);
    }

    // The chord text alone.
    for (const auto& [action, chordText] : hotkeys) {
        const Chord chord = parseChord(chordText);
        if (!chord.valid) continue;
        // MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, and nothing else (kMod* in Chord.h).
        QV_FUZZ_CHECK(chord.modifiers != 0 && (chord.modifiers & ~(kModAlt | kModControl | kModShift | kModWin)) == 0,
                      fuzz::shown(chordText));
        QV_FUZZ_CHECK(knownKey(chord.vk), fuzz::shown(chordText));
        const Chord again = parseChord(chordText);
        QV_FUZZ_CHECK(again.vk == chord.vk && again.modifiers == chord.modifiers, fuzz::shown(chordText));
    }

    sim::SimHotkeys table;
    HotkeyBindings bindings(table);
    std::vector<Action> dispatched;
    world.bus.setResultListener([&](const Action& a, const ActionResult&) { dispatched.push_back(a); });
    const std::vector<HotkeyConflict> conflicts = bindings.registerAll(WindowHandle{0x10010}, world.bus, world.config);

    size_t withChord = 0, known = 0;
    for (const auto& [action, chordText] : world.config.hotkeys) {
        if (chordText.empty()) continue;
        ++withChord;
        if (parseAction(action).kind != ActionKind::None) ++known;
    }
    QV_FUZZ_CHECK(bindings.bindings().size() + conflicts.size() == known,
                  std::to_string(bindings.bindings().size()) + " registered, " + std::to_string(conflicts.size()) +
                      " conflicts, " + std::to_string(known) + " known of " + std::to_string(withChord));
    for (const HotkeyBinding& b : bindings.bindings()) {
        QV_FUZZ_CHECK(b.action.kind != ActionKind::None, fuzz::shown(b.chord));
        const Chord chord = parseChord(b.chord);
        QV_FUZZ_CHECK(chord.valid, fuzz::shown(b.chord));
    }

    for (const HotkeyBinding& b : bindings.bindings()) {
        dispatched.clear();
        QV_FUZZ_CHECK(bindings.onHotkey(b.id), fuzz::shown(b.chord));
        QV_FUZZ_CHECK(dispatched.size() == 1 && dispatched[0].kind == b.action.kind &&
                          dispatched[0].name == b.action.name && dispatched[0].cell == b.action.cell,
                      fuzz::shown(b.chord));
    }
    QV_FUZZ_CHECK(!bindings.onHotkey(HotkeyBindings::kFirstId - 1), "an id that is not ours was taken");
    bindings.unregisterAll();
    return 0;
}
