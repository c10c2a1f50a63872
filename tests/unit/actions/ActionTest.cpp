#include "actions/Action.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        {"RestoreLayout", ActionKind::RestoreLayout, "", 0},              // no name, as hotkeys have it
        {"RestoreLayout:Desk", ActionKind::RestoreLayout, "Desk", 0},
        {"RestoreLayout:Home office", ActionKind::RestoreLayout, "Home office", 0},
        {"RestoreLayout:a:b::c", ActionKind::RestoreLayout, "a:b::c", 0}, // colons belong to the name
        {"RestoreLayout: x ", ActionKind::RestoreLayout, " x ", 0},       // taken as written
        {"RestoreLayout:B\xC3\xBCro \xE2\x86\x92 2", ActionKind::RestoreLayout, "B\xC3\xBCro \xE2\x86\x92 2", 0},
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
        "ProjectionExtend ",     // extra spaces
        "TileWindows: 3x2",
        "TileWindows:3x2 ",
        "SnapWindow :2x2:1",
        "RestoreLayout :Desk",
        "RestoreLayout:",        // empty layout name
        "Foo:bar",
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(parseAction(text).kind, ActionKind::None) << "'" << text << "'";
    }
}

TEST(ActionText, WritesTheFormParseActionReadsBack) {
    struct Case {
        const char* text;     // read with parseAction
        const char* written;  // what actionText gives for it
    };
    const std::vector<Case> cases = {
        {"ProjectionExtend", "ProjectionExtend"},
        {"RotateNext:", "RotateNext"},
        {"GatherWindows", "GatherWindows"},
        {"RescueWindows", "RescueWindows"},
        {"TileWindows:3x2", "TileWindows:3x2"},
        {"TileWindows:03X02", "TileWindows:3x2"},
        {"SnapWindow:3x2:4", "SnapWindow:3x2:4"},
        {"SnapWindow:8x8:063", "SnapWindow:8x8:63"},
        {"RestoreLayout", "RestoreLayout"},
        {"RestoreLayout:Home: 2 screens", "RestoreLayout:Home: 2 screens"},
    };
    for (const Case& c : cases) {
        const Action first = parseAction(c.text);
        EXPECT_EQ(actionText(first), c.written) << c.text;
        const Action again = parseAction(actionText(first));
        EXPECT_EQ(again.kind, first.kind) << c.text;
        EXPECT_EQ(again.name, first.name) << c.text;
        EXPECT_EQ(again.cell, first.cell) << c.text;
    }
    EXPECT_EQ(actionText(Action{}), "");
    Action outside;
    outside.kind = static_cast<ActionKind>(99);
    EXPECT_EQ(actionText(outside), "");
}

TEST(ActionText, EveryListedFormNamesAKindAndPlainFormsParse) {
    const std::vector<std::string> forms = actionTextForms();
    for (std::int32_t v = 1; v < kActionKindCount; ++v) {
        const std::string name = actionKindName(static_cast<ActionKind>(v));
        bool listed = false;
        for (const std::string& form : forms) listed = listed || form.rfind(name, 0) == 0;
        EXPECT_TRUE(listed) << name;
    }
    for (const std::string& form : forms) {
        if (form.find('<') != std::string::npos) continue; // a placeholder form
        EXPECT_NE(parseAction(form).kind, ActionKind::None) << form;
    }
    for (const char* placeholder : {"TileWindows:<cols>x<rows>", "SnapWindow:<cols>x<rows>:<cell>", "RestoreLayout:<name>"})
        EXPECT_NE(std::find(forms.begin(), forms.end(), placeholder), forms.end()) << placeholder;
}

} // namespace
} // namespace qv
