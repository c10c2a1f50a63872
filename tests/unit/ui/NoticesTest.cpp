#include "ui/Notices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

using Shell = TrayShellApi;

// "é" is one UTF-16 unit in two UTF-8 bytes; "😀" (U+1F600) is a surrogate
// pair, two units in four bytes.
const std::string kE = "\xC3\xA9";
const std::string kEmoji = "\xF0\x9F\x98\x80";

std::string repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(NoticesTest, CutsCountUtf16UnitsAndKeepSurrogatePairsWhole) {
    struct Case {
        const char* name;
        std::string text;
        size_t maxUnits;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"text of 300 characters shows 255", repeat("x", 300), 255, repeat("x", 255)},
        {"exactly 255 stays", repeat("x", 255), 255, repeat("x", 255)},
        {"title of 64 characters shows 63", repeat("t", 64), 63, repeat("t", 63)},
        {"exactly 63 stays", repeat("t", 63), 63, repeat("t", 63)},
        {"empty", "", 63, ""},
        {"two-byte characters count once", repeat(kE, 70), 63, repeat(kE, 63)},
        {"a pair that would straddle the limit is dropped whole", repeat("x", 62) + kEmoji + "y", 63,
         repeat("x", 62)},
        {"a pair that fits exactly is kept", repeat("x", 61) + kEmoji + "y", 63, repeat("x", 61) + kEmoji},
        {"pairs only", repeat(kEmoji, 200), 255, repeat(kEmoji, 127)},
        {"a stray byte counts as one unit", repeat("x", 62) + "\xFF" + "yz", 63, repeat("x", 62) + "\xFF"},
        {"a truncated sequence is not taken for a pair", repeat("x", 61) + "\xF0\x9F" + "abc", 63,
         repeat("x", 61) + "\xF0\x9F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Notices::cutToUtf16(c.text, c.maxUnits), c.expected);
    }
}

TEST(NoticesTest, BalloonChangesOnlyTheInfoPartOfTheIconRecord) {
    NotifyIconData icon;
    icon.size = Shell::kNotifyIconDataSize;
    icon.window = 0x10010;
    icon.id = 1;
    icon.flags = Shell::kNifMessage | Shell::kNifIcon | Shell::kNifTip;
    icon.callbackMessage = 0x8001;
    icon.icon = 0x1C065;
    icon.tip = "Quorvane";
    icon.version = Shell::kNotifyIconVersion4;

    struct Case {
        bool error;
        uint32_t infoFlags;
    };
    for (const Case& c : {Case{false, Shell::kNiifInfo}, Case{true, Shell::kNiifError}}) {
        SCOPED_TRACE(c.error ? "error" : "information");
        const NotifyIconData notice = Notices::balloon(icon, repeat("T", 70), repeat("x", 300), c.error);

        // NIF_INFO alone: the icon, tip and callback stay as they are.
        EXPECT_EQ(notice.flags, Shell::kNifInfo);
        EXPECT_EQ(notice.infoFlags, c.infoFlags);
        EXPECT_EQ(notice.infoTitle, repeat("T", 63));
        EXPECT_EQ(notice.info, repeat("x", 255));
        EXPECT_EQ(notice.size, icon.size);
        EXPECT_EQ(notice.window, icon.window);
        EXPECT_EQ(notice.id, icon.id);
        EXPECT_EQ(notice.icon, icon.icon);
        EXPECT_EQ(notice.tip, icon.tip);
    }
}

TEST(NoticesTest, HotkeyConflictsListTheChordsInOrder) {
    EXPECT_EQ(Notices::hotkeyConflicts({{"ProjectionClone", "Ctrl+Alt+D"}}),
              "Some hotkeys are already in use: Ctrl+Alt+D");
    EXPECT_EQ(Notices::hotkeyConflicts({{"FlipArrangement", "Ctrl+Alt+F25"}, {"ProjectionClone", "Ctrl+Alt+D"}}),
              "Some hotkeys are already in use: Ctrl+Alt+F25, Ctrl+Alt+D");
}

} // namespace
} // namespace qv
