#include "ui/TrayMenu.h"

#include "ui/TrayShellApi.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace qv
