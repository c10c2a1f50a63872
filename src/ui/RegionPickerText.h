#pragma once
#include <cstdint>
#include <string>

namespace qv {

// A rectangle of the picker's canvas in pixels: left and top inside, right
// and bottom outside.
struct CanvasRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const CanvasRect&, const CanvasRect&) = default;
};

// The size of a line of text in pixels.
struct TextExtent {
    int32_t cx = 0;
    int32_t cy = 0;
};

// Measures and paints the region picker's labels in the canvas the picker
// draws into (GDI on Windows: the label font selected into the memory device
// context that holds the canvas's bitmap).
class RegionPickerText {
public:
    virtual ~RegionPickerText() = default;
    // The size of one line of the text (UTF-8) in the label font.
    virtual TextExtent measure(const std::string& text) = 0;
    // Paints the label's rounded box and its text, centred on one line, and
    // leaves every pixel outside the box as it was. The alpha bytes inside
    // the box may be anything afterwards; the canvas sets them.
    virtual void paintLabel(const CanvasRect& box, const std::string& text) = 0;
};

} // namespace qv
