#include "ui/Notices.h"

namespace qv {

namespace {

// Length in bytes and UTF-16 units of the UTF-8 sequence starting at i; an
// invalid sequence is one byte and one unit.
void sequenceAt(const std::string& text, std::size_t i, std::size_t& bytes, std::size_t& units) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    bytes = 1;
    units = 1;
    if (length == 1 || i + length > text.size()) return;
    // The second byte's range rules out overlong forms, surrogates and
    // values above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    else if (lead == 0xED) high = 0x9F;
    else if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;
    if (byte(i + 1) < low || byte(i + 1) > high) return;
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return;
    }
    bytes = length;
    units = length == 4 ? 2 : 1;
}

} // namespace

std::string Notices::cutToUtf16(const std::string& text, std::size_t maxUnits) {
    std::size_t i = 0;
    std::size_t used = 0;
    while (i < text.size()) {
        std::size_t bytes = 0;
        std::size_t units = 0;
        sequenceAt(text, i, bytes, units);
        if (used + units > maxUnits) break;
        used += units;
        i += bytes;
    }
    return text.substr(0, i);
}

NotifyIconData Notices::balloon(const NotifyIconData& icon, const std::string& title, const std::string& text,
                                bool error) {
    NotifyIconData notice = icon;
    notice.flags = TrayShellApi::kNifInfo;
    notice.infoFlags = error ? TrayShellApi::kNiifError : TrayShellApi::kNiifInfo;
    notice.infoTitle = cutToUtf16(title, kTitleUnits);
    notice.info = cutToUtf16(text, kTextUnits);
    return notice;
}

std::string Notices::hotkeyConflicts(const std::vector<HotkeyConflict>& conflicts) {
    std::string text = kHotkeysInUse;
    for (std::size_t i = 0; i < conflicts.size(); ++i) {
        if (i > 0) text += ", ";
        text += conflicts[i].chord;
    }
    return text;
}

} // namespace qv
