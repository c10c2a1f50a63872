#pragma once
#include "ui/RegionPickerText.h"

#include <cstdint>
#include <string>

namespace qv::sim {

// Labels as a simple stand-in for GDI draws them: every character is
// kCharWidth pixels wide and a line kLineHeight high; the box is filled with
// kBoxFill (the label colour with alpha 0, as GDI leaves it) except for its
// one-pixel border, which keeps what was under it, the way the corners of a
// rounded rectangle do. Paints into the canvas's own buffer, clipped to it.
class SimPickerText final : public RegionPickerText {
public:
    static constexpr int32_t kCharWidth = 7;
    static constexpr int32_t kLineHeight = 18;
    static constexpr uint32_t kBoxFill = 0x0015161C;

    SimPickerText(uint32_t* pixels, int32_t width, int32_t height) : pixels_(pixels), width_(width), height_(height) {}

    TextExtent measure(const std::string& text) override;
    void paintLabel(const CanvasRect& box, const std::string& text) override;

    // The last label painted and how many were.
    CanvasRect lastBox;
    std::string lastText;
    int labels = 0;

private:
    uint32_t* pixels_;
    int32_t width_;
    int32_t height_;
};

} // namespace qv::sim
