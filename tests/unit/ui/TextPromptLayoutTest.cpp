// Where the text prompt opens.
#include "ui/TextPromptLayout.h"

#include "base/StrPrintf.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qv {
namespace {

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

TEST(TextPromptPlacement, OverTheOwnerElseTheMonitorUnderTheCursorElseThePrimaryScreen) {
    const ScreenRect owner{100, 100, 900, 700};
    const ScreenRect rightMonitor{1920, 0, 3840, 1040};
    struct Case {
        const char* what;
        int32_t width;
        int32_t height;
        std::optional<ScreenRect> owner;
        std::optional<ScreenRect> work;
        const char* rect;
    };
    const Case cases[] = {
        {"centred over the owner", 380, 158, owner, rightMonitor, "(310,321)-(690,479)"},
        {"an owner with an empty rectangle: the monitor under the cursor", 380, 158, ScreenRect{50, 50, 50, 400},
         rightMonitor, "(2690,441)-(3070,599)"},
        {"no owner: the monitor under the cursor", 380, 158, std::nullopt, rightMonitor, "(2690,441)-(3070,599)"},
        {"a monitor left of the primary", 380, 158, std::nullopt, ScreenRect{-2560, -200, 0, 1200},
         "(-1470,421)-(-1090,579)"},
        {"no monitor information: the primary screen", 380, 158, std::nullopt, std::nullopt, "(770,461)-(1150,619)"},
        {"150 %: the scaled size centred", 570, 237, owner, std::nullopt, "(215,281)-(785,518)"},
        // An odd amount of room: the half is truncated, towards the left edge
        // when there is room and towards the right when the owner is smaller.
        {"odd room left over", 380, 158, ScreenRect{0, 0, 381, 159}, std::nullopt, "(0,0)-(380,158)"},
        {"an owner smaller than the prompt", 380, 158, ScreenRect{0, 0, 101, 51}, std::nullopt,
         "(-139,-53)-(241,105)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(TextPromptLayout::placement(c.width, c.height, c.owner, c.work, 1920, 1080)), c.rect);
    }
}

} // namespace
} // namespace qv
