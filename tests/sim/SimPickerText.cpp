#include "sim/SimPickerText.h"

#include <algorithm>
#include <cstddef>

namespace qv::sim {

TextExtent SimPickerText::measure(const std::string& text) {
    // Characters, not bytes: UTF-8 continuation bytes do not count.
    const auto characters = std::count_if(text.begin(), text.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return TextExtent{static_cast<int32_t>(characters) * kCharWidth, kLineHeight};
}

void SimPickerText::paintLabel(const CanvasRect& box, const std::string& text) {
    lastBox = box;
    lastText = text;
    ++labels;
    const int32_t left = std::max(box.left + 1, 0);
    const int32_t right = std::min(box.right - 1, width_);
    const int32_t top = std::max(box.top + 1, 0);
    const int32_t bottom = std::min(box.bottom - 1, height_);
    for (int32_t y = top; y < bottom; ++y) {
        if (left < right) {
            std::fill_n(pixels_ + static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(left),
                        right - left, kBoxFill);
        }
    }
}

} // namespace qv::sim
