#pragma once
#include "ui/RegionPickerText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// The region picker's picture in a 32-bit premultiplied BGRA buffer (the
// layered window's bitmap): the display dimmed, the hint at the top, or,
// while dragging, the selection almost clear in a cyan frame with its size
// below or above it. Labels are painted through the text port; the canvas
// makes their boxes opaque afterwards. Everything is clipped to the buffer
// and written as whole 32-bit values.
class RegionPickerCanvas {
public:
    static constexpr uint32_t kDim = 0xA0000000;       // black at alpha 160
    static constexpr uint32_t kSelection = 0x14000000; // black at alpha 20
    static constexpr uint32_t kFrame = 0xFF33BEF5;     // opaque RGB(51, 190, 245)
    static constexpr int32_t kFrameWidth = 2;
    static constexpr int32_t kLabelPadding = 14; // around the text: half on each side
    static constexpr int32_t kLabelGap = 12;     // between the selection and its size label
    static constexpr int32_t kLabelRoom = 44;    // the height a size label needs
    static constexpr int32_t kLabelMargin = 8;   // the size label stays this far from the top
    static constexpr int32_t kHintTop = 24;
    static constexpr const char* kHint = "Drag to select the region to record  —  Esc to cancel";
    // How the text port paints a label, as 0xRRGGBB: a rounded box with
    // corners of kLabelCorner × kLabelCorner, filled and outlined with a
    // one-pixel line, and the text on a transparent background.
    static constexpr uint32_t kLabelFill = 0x15161C;
    static constexpr uint32_t kLabelBorder = 0x333744;
    static constexpr uint32_t kLabelText = 0xF3F4F8;
    static constexpr int32_t kLabelCorner = 14;
    static constexpr int32_t kLabelFontHeight = -15; // a LOGFONT height: characters 15 pixels high

    // Whether a canvas of that size can be made: both sides positive and the
    // buffer within 2 GiB, which a bitmap's size in bytes still fits in as a
    // signed 32-bit number (a 16K display needs a quarter of that).
    static bool sizeSupported(int32_t width, int32_t height);

    // pixels: width × height values, rows top-down without padding; the
    // caller keeps them alive as long as the canvas.
    RegionPickerCanvas(uint32_t* pixels, int32_t width, int32_t height, RegionPickerText& text);

    // Draws the whole picture: with a selection (window pixels, its corners
    // in either order), its frame and size label; without one, the hint.
    // Returns the area drawn: the whole buffer.
    CanvasRect draw(const std::optional<CanvasRect>& selection);
    // Draws the same picture as draw() but touches only what may differ
    // from the last one drawn: the bounding rectangle of the previous and
    // the new selection with their frames, the previous label's box and the
    // new label. Returns the bounding rectangle of the pixels that may have
    // changed (the whole buffer when nothing was drawn before).
    CanvasRect update(const std::optional<CanvasRect>& selection);

    // "%ld × %ld": the selection's width and height.
    static std::string sizeText(const CanvasRect& selection);
    // The top of the size label: below the selection when it fits above the
    // bottom edge, else above it when that stays clear of the top margin,
    // else at the top margin.
    static int32_t sizeLabelTop(const CanvasRect& selection, int32_t canvasHeight);
    // The label's box for text of that extent centred on centreX, at top.
    static CanvasRect labelBox(int32_t centreX, int32_t top, TextExtent extent);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

private:
    // What differs from the dim background after a draw.
    struct Marks {
        CanvasRect framed; // the selection with its frame; empty without one
        CanvasRect label;
    };

    // The selection with its frame around it.
    static CanvasRect framed(const CanvasRect& selection);
    CanvasRect clip(const CanvasRect& rect) const;
    // The selection's size label, or the hint without a selection; returns
    // what differs from the dim background afterwards.
    Marks paintLabelFor(const std::optional<CanvasRect>& selection);
    // Makes the rows of the picture for the selection: a row through the
    // frame's top or bottom bar, and one through the selection.
    void prepareRows(const std::optional<CanvasRect>& selection);
    // Draws the picture without labels into the part of the area inside the
    // buffer, copying each row's span from the prepared rows. A row copied
    // whole costs what filling it with one value does, while filling it as
    // several runs of different values was measured at twice that.
    void compose(const CanvasRect& area, const std::optional<CanvasRect>& selection);
    CanvasRect paintLabel(int32_t centreX, int32_t top, const std::string& text);
    void makeOpaque(const CanvasRect& rect);

    uint32_t* pixels_;
    int32_t width_;
    int32_t height_;
    RegionPickerText& text_;
    std::optional<Marks> last_;
    // Whole rows of the picture without labels: dim, through the frame's
    // bars, through the selection.
    std::vector<uint32_t> dimRow_;
    std::vector<uint32_t> frameRow_;
    std::vector<uint32_t> selectionRow_;
};

} // namespace qv
