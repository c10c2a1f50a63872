#include "actions/Action.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

TEST(ActionKindName, NamesByValueAndQuestionMarkOutsideTheList) {
    struct Case {
        std::int32_t value;
        const char* name;
    };
    const std::vector<Case> cases = {
        {0, "None"},          {1, "ProjectionInternal"}, {3, "ProjectionExtend"}, {12, "RenameDisplay"},
        {16, "PushResolutionAll"}, {22, "TileWindows"},  {23, "SnapWindow"},       {28, "RefreshDisplays"},
        {31, "Exit"},          {32, "RestoreWindows"},    {33, "RescueWindows"},    {34, "?"},
        {-1, "?"},             {1000, "?"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(actionKindName(static_cast<ActionKind>(c.value)), c.name) << "value " << c.value;
    }
}

TEST(ParseAction, EveryKindNameReadsBackAsItsKind) {
    for (std::int32_t v = 1; v < kActionKindCount; ++v) {
        auto kind = static_cast<ActionKind>(v);
        if (kind == ActionKind::TileWindows || kind == ActionKind::SnapWindow) continue; // need a grid
        EXPECT_EQ(parseAction(actionKindName(kind)).kind, kind) << actionKindName(kind);
    }
}

TEST(ParseAction, AcceptedTexts) {
    struct Case {
        const char* text;
        ActionKind kind;
        const char* name;
        std::int32_t cell;
    };
    const std::vector<Case> cases = {
        {"ProjectionExtend", ActionKind::ProjectionExtend, "", 0},
        {"RotateNext:", ActionKind::RotateNext, "", 0}, // bare trailing colon
        {"TileWindows:2x2", ActionKind::TileWindows, "2x2", 0},
        {"TileWindows:3X2", ActionKind::TileWindows, "3x2", 0},
        {"TileWindows:3\xC3\x97" "2", ActionKind::TileWindows, "3x2", 0}, // multiplication sign
        {"TileWindows:03x02", ActionKind::TileWindows, "3x2", 0},
        {"TileWindows:8x8:whatever", ActionKind::TileWindows, "8x8", 0}, // only the grid counts
        {"SnapWindow:2x2:3", ActionKind::SnapWindow, "2x2", 3},          // bottom-right cell
        {"SnapWindow:3X2:0", ActionKind::SnapWindow, "3x2", 0},
        {"SnapWindow:8x8:063", ActionKind::SnapWindow, "8x8", 63},
    };
    for (const Case& c : cases) {
        Action a = parseAction(c.text);
        EXPECT_EQ(a.kind, c.kind) << c.text;
        EXPECT_EQ(a.name, c.name) << c.text;
        EXPECT_EQ(a.cell, c.cell) << c.text;
        EXPECT_TRUE(a.display.empty()) << c.text;
        EXPECT_EQ(a.window, 0u) << c.text;
    }
}

TEST(ParseAction, RejectedTextsGiveNone) {
    const std::vector<std::string> texts = {
        "",
        "None",
        "Bogus",
        "projectionextend",      // kinds are case-sensitive
        " ProjectionExtend",
        "RotateNext:1",          // argument on a kind that takes none
        "Exit:now",
        "TileWindows",           // grid missing
        "TileWindows:",
        "TileWindows:9x2",
        "TileWindows:9x9",
        "TileWindows:0x3",
        "TileWindows:x2",
        "TileWindows:3x",
        "TileWindows:3",
        "TileWindows:3x2x1",
        "TileWindows:3 x 2",
        "TileWindows:-2x2",
        "TileWindows:99999999999999999999x2",
        "SnapWindow:2x2",        // cell missing
        "SnapWindow:2x2:",
        "SnapWindow:2x2:4",      // not below 2 x 2
        "SnapWindow:2x2:-1",
        "SnapWindow:2x2:+1",
        "SnapWindow:2x2: 1",
        "SnapWindow:2x2:1a",
        "SnapWindow:2x2:1:2",
        "SnapWindow:2x2:99999999999999999999",
        "SnapWindow:9x1:0",
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(parseAction(text).kind, ActionKind::None) << "'" << text << "'";
    }
}

} // namespace
} // namespace qv
