#include "ui/TrayMenu.h"

#include "ui/TrayShellApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {
namespace {

using Shell = TrayShellApi;

const TrayMenuItem kSeparator{"", 0, Shell::kMfSeparator};

TEST(TrayMenuTest, RowsFollowElevationAndTheStartUpState) {
    struct Case {
        const char* name;
        bool elevated;
        bool startsWithWindows;
    };
    const std::vector<Case> cases = {
        {"not elevated, not starting with Windows", false, false},
        {"not elevated, starting with Windows", false, true},
        {"elevated, not starting with Windows", true, false},
        {"elevated, starting with Windows", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TrayMenuItem> expected = {
            {"Internal only", 1, Shell::kMfString},
            {"Mirror all", 2, Shell::kMfString},
            {"Extend", 3, Shell::kMfString},
            {"External only", 4, Shell::kMfString},
            kSeparator,
            {"Push native resolutions", 5, Shell::kMfString},
            {"Push maximum resolutions", 6, Shell::kMfString},
            {"Refresh displays", 7, Shell::kMfString},
            {"Put windows back", 15, Shell::kMfString},
            {"Rescue off-screen windows", 16, Shell::kMfString},
            kSeparator,
        };
        // The ellipsis is the single character U+2026.
        if (!c.elevated) expected.push_back({"Run elevated\xE2\x80\xA6", 8, Shell::kMfString});
        expected.push_back({"Start with Windows", 9, c.startsWithWindows ? Shell::kMfChecked : Shell::kMfString});
        expected.push_back({"Check for updates\xE2\x80\xA6", 10, Shell::kMfString});
        expected.push_back({"Settings\xE2\x80\xA6", 11, Shell::kMfString});
        expected.push_back(kSeparator);
        expected.push_back({"Quorvane v1.3.9", 0, Shell::kMfDisabled | Shell::kMfGrayed});
        expected.push_back({"Exit", 14, Shell::kMfString});

        EXPECT_EQ(TrayMenu::items(c.elevated, c.startsWithWindows, "1.3.9"), expected);
    }
}

// Every row's id leads to a command, and no two rows share one.
TEST(TrayMenuTest, EveryRowHasItsOwnCommand) {
    std::vector<std::uint32_t> seen;
    for (const TrayMenuItem& item : TrayMenu::items(false, false, "1.3.9")) {
        if (item.id == 0) continue;
        SCOPED_TRACE(item.text);
        EXPECT_NE(TrayMenu::command(item.id).command, TrayMenu::Command::None);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), item.id), 0);
        seen.push_back(item.id);
    }
}

} // namespace
} // namespace qv
