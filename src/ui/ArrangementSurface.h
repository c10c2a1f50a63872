#pragma once
#include "ui/ClassicControls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class ArrangementWindow;

// A rectangle in physical pixels of the window's client area.
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The arrangement window as Windows creates it.
struct ArrangementWindowClass {
    std::string className;
    std::string title;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int iconResource = 0; // the class's large and small icon
};

// A font of the window: a LOGFONT height (negative: the character height in
// pixels) and weight. The face is the first installed one of the role's list.
struct ArrangementFont {
    FontRole role = FontRole::Body;
    int32_t height = 0;
    int32_t weight = 0;
};

// The window's size, fonts and controls at one DPI.
struct ArrangementLayout {
    uint32_t dpi = 96;
    int32_t clientWidth = 0; // pixels
    int32_t clientHeight = 0;
    ArrangementFont body;
    ArrangementFont title;
    std::vector<ClassicControl> controls; // rectangles in device-independent pixels
};

// One line of text, single line, vertically centred in its band and cut with
// an ellipsis at the end where it does not fit.
struct ArrangementText {
    std::string text; // UTF-8
    PixelRect band;
    uint32_t color = 0; // 0xRRGGBB
    FontRole font = FontRole::Body;
    bool centered = false; // else left-aligned
};

// One display as drawn: a rounded rectangle and two lines of text.
struct ArrangementTile {
    PixelRect rect;
    int32_t corner = 0; // width and height of the corners' ellipse
    uint32_t fill = 0;
    uint32_t outline = 0;
    int32_t outlineWidth = 1; // drawn inside the rectangle
    ArrangementText name;
    ArrangementText mode;
};

// Everything the window's client area shows apart from its buttons, in
// painting order: the background, the title and subtitle, the tiles.
struct ArrangementScene {
    PixelRect client;
    uint32_t background = 0;
    ArrangementText title;
    ArrangementText subtitle;
    std::vector<ArrangementTile> tiles;
};

// How an owner-drawn button of the window is painted.
struct ArrangementButtonLook {
    std::string caption;
    ButtonPaint paint;
    int32_t corner = 0;
};

// The arrangement window as the portable ArrangementWindow drives it. The
// Win32 implementation owns the HWND, its fonts and buttons; it paints the
// window's scene (ArrangementWindow::scene) into an off-screen bitmap and
// forwards the mouse, the buttons' commands, closing, destruction and DPI
// changes to the attached window, which decides what they mean. Everything
// runs on the user-interface thread.
class ArrangementSurface {
public:
    virtual ~ArrangementSurface() = default;

    // The window that messages go to; null detaches it.
    virtual void attach(ArrangementWindow* window) = 0;

    // Registers the class (arrow cursor, the icon resource at large and
    // small icon size) and creates the hidden window at the default
    // position, with the dark look. False when CreateWindowEx fails.
    virtual bool create(const ArrangementWindowClass& windowClass) = 0;
    virtual bool exists() const = 0;
    // DestroyWindow; the window reports its destruction back
    // (ArrangementWindow::onDestroyed) before this returns.
    virtual void destroy() = 0;
    // GetDpiForWindow; 0 when unknown.
    virtual uint32_t dpi() const = 0;
    // Sizes the window so that its client area has the layout's size
    // (AdjustWindowRectExForDpi with the window's styles at the layout's
    // DPI), keeping its top-left corner; makes the fonts; creates the
    // controls, or moves the existing ones and gives them the new fonts.
    virtual void layout(const ArrangementLayout& layout) = 0;
    // Shows the window and brings it to the foreground.
    virtual void show() = 0;
    // The client area is painted again (the scene and the buttons).
    virtual void invalidate() = 0;
    // SetCapture; ReleaseCapture.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
};

} // namespace qv
