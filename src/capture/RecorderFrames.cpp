#include "capture/RecorderFrames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv::recorder {

bool crop(const Region& region, int32_t width, int32_t height, Crop& out, std::string& error) {
    int32_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    if (region.left < region.right && region.top < region.bottom) {
        const int32_t cx0 = std::max(region.left, 0);
        const int32_t cx1 = std::min(region.right, width);
        const int32_t cy0 = std::max(region.top, 0);
        const int32_t cy1 = std::min(region.bottom, height);
        // A region wholly outside the display records the whole display.
        if (cx0 < cx1 && cy0 < cy1) {
            x0 = cx0;
            x1 = cx1;
            y0 = cy0;
            y1 = cy1;
        }
    }
    if (x1 - x0 <= 15 || y1 - y0 <= 15) {
        error = "Selected region is too small to record";
        return false;
    }
    out = Crop{x0, y0, (x1 - x0) & ~1, (y1 - y0) & ~1};
    return true;
}

uint32_t videoBitrate(int32_t width, int32_t height, int32_t fps) {
    const double bits = static_cast<double>(width) * height * fps * 0.1;
    return static_cast<uint32_t>(std::clamp(std::trunc(bits), 4000000.0, 24000000.0));
}

void copyRows(uint8_t* destination, const uint8_t* source, size_t sourcePitch, size_t rowBytes, size_t rows) {
    if (sourcePitch == rowBytes) {
        std::memcpy(destination, source, rowBytes * rows);
        return;
    }
    for (size_t row = 0; row < rows; ++row)
        std::memcpy(destination + row * rowBytes, source + row * sourcePitch, rowBytes);
}

void floatToS16(const float* source, int16_t* destination, size_t count) {
    size_t i = 0;
#if defined(__SSE2__)
    // Eight samples at a time: not-a-number masked to 0, clamped, scaled,
    // truncated, then packed to 16 bits (the pack saturates, which after the
    // clamp changes nothing). The audio thread converts every packet.
    const __m128 low = _mm_set1_ps(-1.0f);
    const __m128 high = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    const auto convert = [&](__m128 s) {
        s = _mm_and_ps(s, _mm_cmpord_ps(s, s));
        s = _mm_min_ps(_mm_max_ps(s, low), high);
        return _mm_cvttps_epi32(_mm_mul_ps(s, scale));
    };
    for (; i + 8 <= count; i += 8) {
        const __m128i a = convert(_mm_loadu_ps(source + i));
        const __m128i b = convert(_mm_loadu_ps(source + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < count; ++i) {
        const float s = source[i];
        float c = std::min(std::max(s, -1.0f), 1.0f);
        c = s == s ? c : 0.0f; // not-a-number from a broken buffer becomes silence, not a click
        destination[i] = static_cast<int16_t>(static_cast<int32_t>(c * 32767.0f));
    }
}

} // namespace qv::recorder
