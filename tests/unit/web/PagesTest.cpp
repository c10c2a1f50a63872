// The pages the program carries are the files in the source tree, whole.
#include "web/Pages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace qv {
namespace {

// UTF-16 to UTF-8, surrogate pairs joined.
std::string utf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TEST(Pages, EachPageIsItsSourceFileWhole) {
    struct Case {
        const char* file;
        std::u16string_view (*page)();
        const char16_t* entry; // the function the host calls first
    };
    for (const Case& c : {Case{"flyout.html", pages::flyout, u"window.qvState"},
                          Case{"settings.html", pages::settings, u"window.qvInit"}}) {
        SCOPED_TRACE(c.file);
        std::ifstream file(std::string(QV_SOURCE_DIR) + "/src/web/pages/" + c.file, std::ios::binary);
        ASSERT_TRUE(file);
        std::ostringstream text;
        text << file.rdbuf();
        const std::u16string_view page = c.page();
        EXPECT_EQ(utf8(page), text.str());
        EXPECT_NE(page.find(c.entry), std::u16string_view::npos);
    }
}

} // namespace
} // namespace qv
