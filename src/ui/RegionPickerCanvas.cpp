#include "ui/RegionPickerCanvas.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qv {

namespace {

// The smallest rectangle holding both; an empty one adds nothing.
CanvasRect bounding(const CanvasRect& a, const CanvasRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return CanvasRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                      std::max(a.bottom, b.bottom)};
}

// The same rectangle with left ≤ right and top ≤ bottom.
std::optional<CanvasRect> ordered(const std::optional<CanvasRect>& r) {
    if (!r) return std::nullopt;
    return CanvasRect{std::min(r->left, r->right), std::min(r->top, r->bottom), std::max(r->left, r->right),
                      std::max(r->top, r->bottom)};
}

} // namespace

RegionPickerCanvas::RegionPickerCanvas(uint32_t* pixels, int32_t width, int32_t height, RegionPickerText& text)
    : pixels_(pixels),
      width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      text_(text),
      dimRow_(static_cast<size_t>(width_), kDim),
      frameRow_(static_cast<size_t>(width_), kDim),
      selectionRow_(static_cast<size_t>(width_), kDim) {}

bool RegionPickerCanvas::sizeSupported(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return false;
    return static_cast<int64_t>(width) * height * static_cast<int64_t>(sizeof(uint32_t)) <= INT32_MAX;
}

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

CanvasRect RegionPickerCanvas::framed(const CanvasRect& selection) {
    return CanvasRect{selection.left - kFrameWidth, selection.top - kFrameWidth, selection.right + kFrameWidth,
                      selection.bottom + kFrameWidth};
}

RegionPickerCanvas::Marks RegionPickerCanvas::paintLabelFor(const std::optional<CanvasRect>& selection) {
    if (!selection) return Marks{CanvasRect{}, paintLabel(width_ / 2, kHintTop, kHint)};
    const CanvasRect& s = *selection;
    const int32_t centreX = s.left + (s.right - s.left) / 2;
    return Marks{framed(s), paintLabel(centreX, sizeLabelTop(s, height_), sizeText(s))};
}

void RegionPickerCanvas::prepareRows(const std::optional<CanvasRect>& selection) {
    if (!selection) return;
    const auto at = [this](int32_t x) { return static_cast<size_t>(std::clamp(x, 0, width_)); };
    const CanvasRect& s = *selection;
    const size_t frameLeft = at(s.left - kFrameWidth);
    const size_t selectionLeft = at(s.left);
    const size_t selectionRight = at(s.right);
    const size_t frameRight = at(s.right + kFrameWidth);
    const auto paint = [&](std::vector<uint32_t>& row, size_t from, size_t to, uint32_t value) {
        std::fill(row.begin() + static_cast<ptrdiff_t>(from), row.begin() + static_cast<ptrdiff_t>(to), value);
    };
    paint(frameRow_, 0, frameLeft, kDim);
    paint(frameRow_, frameLeft, frameRight, kFrame);
    paint(frameRow_, frameRight, frameRow_.size(), kDim);
    paint(selectionRow_, 0, frameLeft, kDim);
    paint(selectionRow_, frameLeft, selectionLeft, kFrame);
    paint(selectionRow_, selectionLeft, selectionRight, kSelection);
    paint(selectionRow_, selectionRight, frameRight, kFrame);
    paint(selectionRow_, frameRight, selectionRow_.size(), kDim);
}

void RegionPickerCanvas::compose(const CanvasRect& area, const std::optional<CanvasRect>& selection) {
    const CanvasRect r = clip(area);
    if (r.empty()) return;
    const auto stride = static_cast<size_t>(width_);
    const auto left = static_cast<size_t>(r.left);
    const size_t bytes = static_cast<size_t>(r.width()) * sizeof(uint32_t);
    const CanvasRect frame = selection ? framed(*selection) : CanvasRect{};
    uint32_t* row = pixels_ + static_cast<size_t>(r.top) * stride + left;
    for (int32_t y = r.top; y < r.bottom; ++y, row += stride) {
        const std::vector<uint32_t>* source = &dimRow_;
        if (selection && y >= frame.top && y < frame.bottom) {
            source = y >= selection->top && y < selection->bottom ? &selectionRow_ : &frameRow_;
        }
        std::memcpy(row, source->data() + left, bytes);
    }
}

CanvasRect RegionPickerCanvas::draw(const std::optional<CanvasRect>& unordered) {
    const std::optional<CanvasRect> selection = ordered(unordered);
    const CanvasRect whole = clip(CanvasRect{0, 0, width_, height_});
    prepareRows(selection);
    compose(whole, selection);
    last_ = paintLabelFor(selection);
    return whole;
}

CanvasRect RegionPickerCanvas::update(const std::optional<CanvasRect>& unordered) {
    if (!last_) return draw(unordered);
    const std::optional<CanvasRect> selection = ordered(unordered);
    const Marks old = *last_;
    // Everything the old selection, frame and label covered and the new
    // selection and frame cover, drawn again without labels; the rest of the
    // buffer holds the dim value already.
    const CanvasRect marks = clip(bounding(old.framed, selection ? framed(*selection) : CanvasRect{}));
    const CanvasRect oldLabel = clip(old.label);
    prepareRows(selection);
    compose(marks, selection);
    compose(oldLabel, selection);
    last_ = paintLabelFor(selection);
    return bounding(bounding(marks, oldLabel), clip(last_->label));
}

} // namespace qv
