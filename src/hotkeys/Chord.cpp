#include "hotkeys/Chord.h"

#include "hotkeys/VirtualKeys.h"

#include <climits>
#include <string>

namespace qv {

namespace {

struct NamedKey {
    const char* name;
    std::uint32_t vk;
};

constexpr NamedKey kNamedKeys[] = {
    {"LEFT", kVkLeft},     {"UP", kVkUp},         {"RIGHT", kVkRight},   {"DOWN", kVkDown},
    {"SPACE", kVkSpace},   {"ENTER", kVkReturn},  {"RETURN", kVkReturn}, {"HOME", kVkHome},
    {"END", kVkEnd},       {"PGUP", kVkPrior},    {"PGDN", kVkNext},     {"INS", kVkInsert},
    {"DEL", kVkDelete},    {"DELETE", kVkDelete}, {"TAB", kVkTab},       {"ESC", kVkEscape},
    {"ESCAPE", kVkEscape},
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Reads a number the way C's atoi does: leading white space, an optional sign,
// then digits up to the first non-digit; no digits give 0. Values beyond the
// int range are held at its ends instead of overflowing.
long long atoiLike(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
    }
    return negative ? -value : value;
}

// Virtual-key code of an upper-cased key token, 0 when the token names no key.
std::uint32_t keyCode(const std::string& token) {
    if (token.size() == 1) {
        char c = token[0];
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<std::uint32_t>(c);
        return 0;
    }
    if (token.empty()) return 0;
    if (token[0] == 'F') {
        long long n = atoiLike(std::string_view(token).substr(1));
        if (n >= 1 && n <= 24) return kVkF1 + static_cast<std::uint32_t>(n - 1);
    }
    if (token.size() == 7 && token.compare(0, 6, "NUMPAD") == 0 && token[6] >= '0' && token[6] <= '9')
        return kVkNumpad0 + static_cast<std::uint32_t>(token[6] - '0');
    for (const NamedKey& key : kNamedKeys)
        if (token == key.name) return key.vk;
    return 0;
}

} // namespace

Chord parseChord(std::string_view text) {
    Chord chord;
    std::string keyToken;
    bool haveKey = false;

    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        size_t end = plus == std::string_view::npos ? text.size() : plus;
        std::string_view piece = trim(text.substr(start, end - start));
        start = end + 1;
        if (piece.empty()) continue;

        std::string token = upperAscii(piece);
        if (token == "CTRL" || token == "CONTROL") {
            chord.modifiers |= kModControl;
        } else if (token == "ALT") {
            chord.modifiers |= kModAlt;
        } else if (token == "SHIFT") {
            chord.modifiers |= kModShift;
        } else if (token == "WIN" || token == "META" || token == "SUPER") {
            chord.modifiers |= kModWin;
        } else {
            keyToken = std::move(token);
            haveKey = true;
        }
    }

    if (haveKey) chord.vk = keyCode(keyToken);
    chord.valid = haveKey && chord.vk != 0 && chord.modifiers != 0;
    return chord;
}

} // namespace qv
