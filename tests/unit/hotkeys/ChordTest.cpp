#include "hotkeys/Chord.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

TEST(ParseChord, ValidChords) {
    struct Case {
        const char* text;
        std::uint32_t modifiers;
        std::uint32_t vk;
    };
    const std::vector<Case> cases = {
        {"Ctrl+Alt+E", kModControl | kModAlt, 0x45},
        {" ctrl + shift + f10 ", kModControl | kModShift, 0x79},
        {"Win+Numpad3", kModWin, 0x63},
        {"Ctrl+Alt+Shift+2", kModControl | kModAlt | kModShift, 0x32},
        {"Ctrl+Alt+F1x", kModControl | kModAlt, 0x70},  // the number is read as atoi reads it
        {"Ctrl+F01", kModControl, 0x70},
        {"Ctrl+F24", kModControl, 0x87},
        {"Alt+F", kModAlt, 0x46},                       // one character: the letter F
        {"Meta+Super+Delete", kModWin, 0x2E},
        {"CONTROL+ctrl+Return", kModControl, 0x0D},      // repeats are harmless
        {"\tShift\t+\tTab\t", kModShift, 0x09},
        {"Alt+PgDn", kModAlt, 0x22},
        {"Alt+esc", kModAlt, 0x1B},
        {"Ctrl+Foo+E", kModControl, 0x45},               // a later key token replaces an earlier one
        {"E+Ctrl", kModControl, 0x45},
        {"Ctrl++E+", kModControl, 0x45},                 // empty pieces are skipped
        {"Win+z", kModWin, 0x5A},
    };
    for (const Case& c : cases) {
        Chord chord = parseChord(c.text);
        EXPECT_TRUE(chord.valid) << c.text;
        EXPECT_EQ(chord.modifiers, c.modifiers) << c.text;
        EXPECT_EQ(chord.vk, c.vk) << c.text;
    }
}

TEST(ParseChord, InvalidChords) {
    const std::vector<const char*> texts = {
        "",
        "E",                 // no modifier
        "Hyper+E",           // unknown token is a key token, replaced by E: still no modifier
        "Ctrl+Alt+Shift",    // no key
        "Ctrl+PrintScreen",
        "Ctrl+Alt+F25",
        "Ctrl+F0",
        "Ctrl+F-1",
        "Ctrl+FX",
        "Ctrl+F99999999999",
        "Ctrl+E+Foo",        // the last key token counts
        "Ctrl+Numpad10",
        "Ctrl+NumpadA",
        "Ctrl+,",
        "Ctrl+",
        "Ctrl+Alt+\xC3\xA9", // only ASCII letters and digits are one-character keys
    };
    for (const char* text : texts) {
        EXPECT_FALSE(parseChord(text).valid) << "'" << text << "'";
    }
}

} // namespace
} // namespace qv
