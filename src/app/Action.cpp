#include "app/Action.h"

#include <array>

namespace qv {

namespace {

constexpr std::array<const char*, kActionKindCount> kKindNames = {
    "None",
    "ProjectionInternal",
    "ProjectionClone",
    "ProjectionExtend",
    "ProjectionExternal",
    "SetResolution",
    "SetRefreshRate",
    "SetOrientation",
    "SetPrimary",
    "EnableDisplay",
    "DisableDisplay",
    "ToggleHdr",
    "RenameDisplay",
    "RotateNext",
    "PushNativeResolutions",
    "PushMaxResolutions",
    "PushResolutionAll",
    "FlipArrangement",
    "ApplyArrangement",
    "MirrorSpecific",
    "GatherWindows",
    "GrabWindow",
    "TileWindows",
    "SnapWindow",
    "OpenPreview",
    "SaveLayout",
    "RestoreLayout",
    "DeleteLayout",
    "RefreshDisplays",
    "OpenSettings",
    "RelaunchElevated",
    "Exit",
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal value of a run of ASCII digits, held at 1000 once it passes that:
// every caller only needs to know whether the value lies in a small range.
int smallDecimal(std::string_view digits) {
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 1000) value = 1000;
    }
    return value;
}

struct GridSize {
    int columns = 0;
    int rows = 0;
};

// Grid text: columns, a separator ("x", "X" or the UTF-8 multiplication sign),
// rows; only digits besides the separator; both numbers 1 to 8.
// TODO(window placement): use parseGrid of the window placement service once
// it exists, so that the two readings of a grid cannot drift apart.
bool readGrid(std::string_view text, GridSize& grid) {
    size_t sep = text.find_first_of("xX");
    size_t sepLen = 1;
    if (sep == std::string_view::npos) {
        sep = text.find("\xC3\x97");
        sepLen = 2;
        if (sep == std::string_view::npos) return false;
    }
    if (sep == 0 || sep + sepLen >= text.size()) return false;
    std::string_view cols = text.substr(0, sep);
    std::string_view rows = text.substr(sep + sepLen);
    for (char c : cols)
        if (!isDigit(c)) return false;
    for (char c : rows)
        if (!isDigit(c)) return false;
    grid.columns = smallDecimal(cols);
    grid.rows = smallDecimal(rows);
    return grid.columns >= 1 && grid.columns <= 8 && grid.rows >= 1 && grid.rows <= 8;
}

// Both numbers are single digits (1 to 8) once the grid has been read.
std::string gridText(const GridSize& grid) {
    std::string text = "0x0";
    text[0] = static_cast<char>('0' + grid.columns);
    text[2] = static_cast<char>('0' + grid.rows);
    return text;
}

} // namespace

const char* actionKindName(ActionKind kind) {
    auto value = static_cast<std::int32_t>(kind);
    if (value < 0 || value >= kActionKindCount) return "?";
    return kKindNames[static_cast<size_t>(value)];
}

Action parseAction(std::string_view text) {
    Action none;

    size_t colon = text.find(':');
    std::string_view kindText = text.substr(0, colon);
    std::string_view argument = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);

    Action action;
    bool known = false;
    for (std::int32_t i = 0; i < kActionKindCount; ++i) {
        if (kindText == kKindNames[static_cast<size_t>(i)]) {
            action.kind = static_cast<ActionKind>(i);
            known = true;
            break;
        }
    }
    if (!known || action.kind == ActionKind::None) return none;

    if (action.kind != ActionKind::TileWindows && action.kind != ActionKind::SnapWindow) {
        if (!argument.empty()) return none;
        return action;
    }

    size_t cellColon = argument.find(':');
    GridSize grid;
    if (!readGrid(argument.substr(0, cellColon), grid)) return none;
    action.name = gridText(grid);
    if (action.kind == ActionKind::TileWindows) return action;

    if (cellColon == std::string_view::npos) return none;
    std::string_view cell = argument.substr(cellColon + 1);
    if (cell.empty()) return none;
    for (char c : cell)
        if (!isDigit(c)) return none;
    int index = smallDecimal(cell);
    if (index >= grid.columns * grid.rows) return none;
    action.cell = index;
    return action;
}

} // namespace qv
