#pragma once
#include <cstdint>
#include <string_view>

namespace qv {

// Modifier flags as RegisterHotKey takes them: winuser.h values,
// learn.microsoft.com "RegisterHotKey function".
inline constexpr std::uint32_t kModAlt = 0x0001;
inline constexpr std::uint32_t kModControl = 0x0002;
inline constexpr std::uint32_t kModShift = 0x0004;
inline constexpr std::uint32_t kModWin = 0x0008;
inline constexpr std::uint32_t kModNoRepeat = 0x4000;

// A key chord read from its text form, e.g. "Ctrl+Alt+E".
struct Chord {
    std::uint32_t modifiers = 0; // kMod* flags (without kModNoRepeat)
    std::uint32_t vk = 0;        // virtual-key code
    bool valid = false;          // a mapped key and at least one modifier
};

// Splits the text at "+", trims spaces and tabs, ignores empty pieces and case.
// Modifier tokens: CTRL/CONTROL, ALT, SHIFT, WIN/META/SUPER; the last other
// token is the key: A-Z, 0-9, F1-F24, NUMPAD0-9 or one of the named keys.
Chord parseChord(std::string_view text);

} // namespace qv
