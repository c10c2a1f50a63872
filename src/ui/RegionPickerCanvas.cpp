#include "ui/RegionPickerCanvas.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cstddef>

namespace qv {

namespace {

// The smallest rectangle holding both; an empty one adds nothing.
CanvasRect bounding(const CanvasRect& a, const CanvasRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return CanvasRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                      std::max(a.bottom, b.bottom)};
}

} // namespace

RegionPickerCanvas::RegionPickerCanvas(uint32_t* pixels, int32_t width, int32_t height, RegionPickerText& text)
    : pixels_(pixels), width_(std::max(width, 0)), height_(std::max(height, 0)), text_(text) {}

std::string RegionPickerCanvas::sizeText(const CanvasRect& selection) {
    return strprintf("%ld × %ld", static_cast<long>(selection.width()), static_cast<long>(selection.height()));
}

int32_t RegionPickerCanvas::sizeLabelTop(const CanvasRect& selection, int32_t canvasHeight) {
    const int32_t below = selection.bottom + kLabelGap;
    if (canvasHeight - kLabelRoom >= below) return below;
    const int32_t above = selection.top - kLabelRoom;
    if (above > kLabelMargin) return above;
    return kLabelMargin;
}

CanvasRect RegionPickerCanvas::labelBox(int32_t centreX, int32_t top, TextExtent extent) {
    return CanvasRect{centreX - extent.cx / 2 - kLabelPadding, top, centreX + extent.cx / 2 + kLabelPadding,
                      top + extent.cy + kLabelPadding};
}

CanvasRect RegionPickerCanvas::clip(const CanvasRect& rect) const {
    const CanvasRect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
                             std::min(rect.bottom, height_)};
    return clipped.empty() ? CanvasRect{} : clipped;
}

void RegionPickerCanvas::fill(const CanvasRect& rect, uint32_t value) {
    const CanvasRect r = clip(rect);
    if (r.empty()) return;
    const auto stride = static_cast<size_t>(width_);
    const auto count = static_cast<size_t>(r.width());
    uint32_t* row = pixels_ + static_cast<size_t>(r.top) * stride + static_cast<size_t>(r.left);
    for (int32_t y = r.top; y < r.bottom; ++y, row += stride) std::fill_n(row, count, value);
}

void RegionPickerCanvas::makeOpaque(const CanvasRect& rect) {
    const CanvasRect r = clip(rect);
    if (r.empty()) return;
    const auto stride = static_cast<size_t>(width_);
    const auto count = static_cast<size_t>(r.width());
    uint32_t* row = pixels_ + static_cast<size_t>(r.top) * stride + static_cast<size_t>(r.left);
    for (int32_t y = r.top; y < r.bottom; ++y, row += stride) {
        for (size_t x = 0; x < count; ++x) row[x] |= 0xFF000000u;
    }
}

CanvasRect RegionPickerCanvas::paintLabel(int32_t centreX, int32_t top, const std::string& text) {
    const CanvasRect box = labelBox(centreX, top, text_.measure(text));
    text_.paintLabel(box, text);
    // GDI leaves the alpha bytes as they were; the label is opaque.
    makeOpaque(box);
    return box;
}

RegionPickerCanvas::Marks RegionPickerCanvas::paintMarks(const std::optional<CanvasRect>& selection) {
    if (!selection) return Marks{CanvasRect{}, paintLabel(width_ / 2, kHintTop, kHint)};

    const CanvasRect& s = *selection;
    constexpr int32_t f = kFrameWidth;
    fill(s, kSelection);
    fill(CanvasRect{s.left - f, s.top - f, s.right + f, s.top}, kFrame);       // top
    fill(CanvasRect{s.left - f, s.bottom, s.right + f, s.bottom + f}, kFrame); // bottom
    fill(CanvasRect{s.left - f, s.top, s.left, s.bottom}, kFrame);             // left
    fill(CanvasRect{s.right, s.top, s.right + f, s.bottom}, kFrame);           // right
    const CanvasRect framed{s.left - f, s.top - f, s.right + f, s.bottom + f};
    const int32_t centreX = s.left + (s.right - s.left) / 2;
    return Marks{framed, paintLabel(centreX, sizeLabelTop(s, height_), sizeText(s))};
}

CanvasRect RegionPickerCanvas::draw(const std::optional<CanvasRect>& selection) {
    if (!selection) {
        fill(CanvasRect{0, 0, width_, height_}, kDim);
    } else {
        // Dim only around the framed selection, so that each pixel is written
        // once: the rows above and below it, then both sides of it.
        const CanvasRect framed = clip(CanvasRect{selection->left - kFrameWidth, selection->top - kFrameWidth,
                                                  selection->right + kFrameWidth, selection->bottom + kFrameWidth});
        if (framed.empty()) {
            fill(CanvasRect{0, 0, width_, height_}, kDim);
        } else {
            fill(CanvasRect{0, 0, width_, framed.top}, kDim);
            fill(CanvasRect{0, framed.bottom, width_, height_}, kDim);
            fill(CanvasRect{0, framed.top, framed.left, framed.bottom}, kDim);
            fill(CanvasRect{framed.right, framed.top, width_, framed.bottom}, kDim);
        }
    }
    last_ = paintMarks(selection);
    return clip(CanvasRect{0, 0, width_, height_});
}

CanvasRect RegionPickerCanvas::update(const std::optional<CanvasRect>& selection) {
    if (!last_) return draw(selection);
    const Marks old = *last_;
    fill(old.framed, kDim);
    fill(old.label, kDim);
    last_ = paintMarks(selection);
    const CanvasRect changed =
        bounding(bounding(clip(old.framed), clip(old.label)), bounding(clip(last_->framed), clip(last_->label)));
    return changed;
}

} // namespace qv
