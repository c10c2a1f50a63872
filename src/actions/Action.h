#pragma once
#include "base/ActionResult.h"
#include "base/WindowHandle.h"
#include "display/DisplayPlacement.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Every request the program can carry out. The value is the position in this
// list; the name (actionKindName) is the text used in logs, hotkey bindings
// and results.
enum class ActionKind : std::int32_t {
    None = 0,
    ProjectionInternal = 1,
    ProjectionClone = 2,
    ProjectionExtend = 3,
    ProjectionExternal = 4,
    SetResolution = 5,
    SetRefreshRate = 6,
    SetOrientation = 7,
    SetPrimary = 8,
    EnableDisplay = 9,
    DisableDisplay = 10,
    ToggleHdr = 11,
    RenameDisplay = 12,
    RotateNext = 13,
    PushNativeResolutions = 14,
    PushMaxResolutions = 15,
    PushResolutionAll = 16,
    FlipArrangement = 17,
    ApplyArrangement = 18,
    MirrorSpecific = 19,
    GatherWindows = 20,
    GrabWindow = 21,
    TileWindows = 22,
    SnapWindow = 23,
    OpenPreview = 24,
    SaveLayout = 25,
    RestoreLayout = 26,
    DeleteLayout = 27,
    RefreshDisplays = 28,
    OpenSettings = 29,
    RelaunchElevated = 30,
    Exit = 31,
    RestoreWindows = 32,
    RescueWindows = 33,
};

inline constexpr std::int32_t kActionKindCount = 34;

// The kind's text name; "?" for a value outside the list.
const char* actionKindName(ActionKind kind);

// One request. A plain value, copied freely; which fields matter depends on
// the kind (see the comments). A default action has kind None.
struct Action {
    ActionKind kind = ActionKind::None;
    std::string display;               // display key: per-display kinds; optional target of the window kinds
    std::vector<std::string> displays; // MirrorSpecific
    std::int32_t width = 0;            // SetResolution, PushResolutionAll
    std::int32_t height = 0;
    std::int32_t refreshHz = 0;        // SetRefreshRate
    std::int32_t orientation = 0;      // SetOrientation: 0 landscape, 1 = 90°, 2 = 180°, 3 = 270°
    std::string name;                  // layout name, new display name, or grid text "COLSxROWS"
    WindowHandle window = 0;           // GrabWindow, SnapWindow; 0 = none
    std::int32_t cell = 0;             // SnapWindow: 0-based, row-major
    std::vector<DisplayPlacement> placements; // ApplyArrangement
};

// Reads the text form of an action used as the key of a hotkey binding and by
// "--do": "KindName", or "TileWindows:COLSxROWS", or
// "SnapWindow:COLSxROWS:CELL", or "RestoreLayout:NAME" (NAME is everything
// after the first colon and must not be empty). Anything else (unknown kind,
// an argument on a kind that takes none, a bad grid or cell, an empty layout
// name) gives an action of kind None.
Action parseAction(std::string_view text);

// The text form of the action, as parseAction reads it back; empty for kind
// None or a value outside the list. Fields the text form does not carry are
// left out.
std::string actionText(const Action& action);

// Every accepted text form, one entry each, in kind order; the argument forms
// with a placeholder ("TileWindows:<cols>x<rows>").
std::vector<std::string> actionTextForms();

} // namespace qv
