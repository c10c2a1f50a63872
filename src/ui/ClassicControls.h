#pragma once
// What the classic (native) windows are made of, as data: their controls
// with ids, rectangles in device-independent pixels, captions and states;
// their pop-up menus; the colours and button styles of the program's dark
// look. The portable view models build these; the Win32 views create,
// paint and forward them and nothing more.

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// A rectangle in device-independent pixels (96 per inch), relative to the
// window's client area.
struct DipRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    friend bool operator==(const DipRect&, const DipRect&) = default;
};

// Colours as 0xRRGGBB.
namespace look {
inline constexpr uint32_t kBackground = 0x121318;  // window background, quiet buttons
inline constexpr uint32_t kPanel = 0x1C1E26;       // buttons and tiles
inline constexpr uint32_t kPressed = 0x15161C;     // a pressed button, the mini-map box
inline constexpr uint32_t kLine = 0x333744;        // borders and separators
inline constexpr uint32_t kText = 0xF3F4F8;
inline constexpr uint32_t kMuted = 0x979DAD;       // labels, disabled text
inline constexpr uint32_t kAccent = 0x33BEF5;
inline constexpr uint32_t kAccentPressed = 0x2BA1D0;
inline constexpr uint32_t kOnAccent = 0x0C0E12;    // text on the accent colour
inline constexpr uint32_t kDanger = 0xFF3D6E;
} // namespace look

// The six owner-drawn button styles.
enum class ButtonStyle { Plain = 0, Accent = 1, Toggle = 2, Row = 3, Quiet = 4, Danger = 5 };

// How a button of a style is painted in a state.
struct ButtonPaint {
    uint32_t fill = 0;
    uint32_t border = 0;
    uint32_t text = 0;
    bool leftAligned = false; // rows: 12 px in from the left, 8 px from the right

    friend bool operator==(const ButtonPaint&, const ButtonPaint&) = default;
};

ButtonPaint buttonPaint(ButtonStyle style, bool selected, bool pressed, bool enabled);

enum class ControlKind {
    Button,   // owner-drawn push button in a ButtonStyle
    Static,   // text label
    CheckBox, // auto check box
    ComboBox, // drop-down list
    Edit,     // single-line edit field
    Custom,   // an area the window paints itself (the mini-map)
};

enum class FontRole { Body, Title };

struct ClassicControl {
    uint32_t id = 0;           // 0 for labels that send nothing
    ControlKind kind = ControlKind::Button;
    DipRect rect;
    std::string caption;       // also the control's window text, for screen readers
    ButtonStyle style = ButtonStyle::Plain;
    FontRole font = FontRole::Body;
    bool enabled = true;
    bool selected = false;     // a selected toggle or row; a ticked check box
    std::vector<std::string> items; // combo box entries
    int selectedItem = -1;

    friend bool operator==(const ClassicControl&, const ClassicControl&) = default;
};

// One entry of a pop-up menu: a command, a separator or a submenu.
struct MenuEntry {
    std::string text;
    uint32_t command = 0; // 0 for separators, greyed lines and submenus
    bool checked = false;
    bool grayed = false;
    bool separator = false;
    std::vector<MenuEntry> submenu;

    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

// Finds the first control with the id; null when there is none.
const ClassicControl* findControl(const std::vector<ClassicControl>& controls, uint32_t id);

} // namespace qv
