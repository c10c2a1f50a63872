#include "actions/Action.h"

#include "windows/Grid.h"

#include <array>
#include <optional>

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
    "RestoreWindows",
    "RescueWindows",
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

    if (action.kind == ActionKind::RestoreLayout && colon != std::string_view::npos) {
        // The name is taken as written: spaces and further colons belong to it.
        if (argument.empty()) return none;
        action.name = std::string(argument);
        return action;
    }

    if (action.kind != ActionKind::TileWindows && action.kind != ActionKind::SnapWindow) {
        if (!argument.empty()) return none;
        return action;
    }

    size_t cellColon = argument.find(':');
    const std::optional<Grid> grid = parseGrid(argument.substr(0, cellColon));
    if (!grid) return none;
    action.name = grid->text();
    if (action.kind == ActionKind::TileWindows) return action;

    if (cellColon == std::string_view::npos) return none;
    std::string_view cell = argument.substr(cellColon + 1);
    if (cell.empty()) return none;
    for (char c : cell)
        if (!isDigit(c)) return none;
    int index = smallDecimal(cell);
    if (index >= grid->cellCount()) return none;
    action.cell = index;
    return action;
}

std::string actionText(const Action& action) {
    if (action.kind == ActionKind::None) return {};
    const std::string kind = actionKindName(action.kind);
    if (kind == "?") return {};
    switch (action.kind) {
    case ActionKind::TileWindows:
        return kind + ":" + action.name;
    case ActionKind::SnapWindow:
        return kind + ":" + action.name + ":" + std::to_string(action.cell);
    case ActionKind::RestoreLayout:
        return action.name.empty() ? kind : kind + ":" + action.name;
    default:
        return kind;
    }
}

std::vector<std::string> actionTextForms() {
    std::vector<std::string> forms;
    for (std::int32_t i = 1; i < kActionKindCount; ++i) {
        const std::string kind = kKindNames[static_cast<size_t>(i)];
        switch (static_cast<ActionKind>(i)) {
        case ActionKind::TileWindows:
            forms.push_back(kind + ":<cols>x<rows>");
            break;
        case ActionKind::SnapWindow:
            forms.push_back(kind + ":<cols>x<rows>:<cell>");
            break;
        case ActionKind::RestoreLayout:
            forms.push_back(kind);
            forms.push_back(kind + ":<name>");
            break;
        default:
            forms.push_back(kind);
        }
    }
    return forms;
}

} // namespace qv
