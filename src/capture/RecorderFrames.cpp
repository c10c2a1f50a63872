#include "capture/RecorderFrames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// GCC on x86-64 can build an AVX2 function into a program for any x86-64
// processor and pick it at run time.
#if defined(__GNUC__) && defined(__x86_64__)
#define QV_HAVE_AVX2 1
#include <immintrin.h>
#else
#define QV_HAVE_AVX2 0
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

namespace {

// One by one: clamped to -1 … 1, not-a-number to 0, scaled and truncated.
void convertEach(const float* source, int16_t* destination, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const float s = source[i];
        float c = std::min(std::max(s, -1.0f), 1.0f);
        c = s == s ? c : 0.0f; // not-a-number from a broken buffer becomes silence, not a click
        destination[i] = static_cast<int16_t>(static_cast<int32_t>(c * 32767.0f));
    }
}

#if defined(__SSE2__)
// Eight samples at a time: not-a-number masked to 0, clamped, scaled,
// truncated, then packed to 16 bits (the pack saturates, which after the
// clamp changes nothing). Returns how many samples it converted.
size_t convertSse2(const float* source, int16_t* destination, size_t count) {
    const __m128 low = _mm_set1_ps(-1.0f);
    const __m128 high = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    const auto convert = [&](__m128 s) {
        s = _mm_and_ps(s, _mm_cmpord_ps(s, s));
        s = _mm_min_ps(_mm_max_ps(s, low), high);
        return _mm_cvttps_epi32(_mm_mul_ps(s, scale));
    };
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = convert(_mm_loadu_ps(source + i));
        const __m128i b = convert(_mm_loadu_ps(source + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(a, b));
    }
    return i;
}
#endif

#if QV_HAVE_AVX2
// Sixteen samples at a time. The clamp takes the sample as its second
// operand, so a not-a-number passes through it (the instructions return the
// second operand when either is not a number) and truncates to the integer
// "indefinite" value, which the saturating pack turns into -32768. A clamped
// sample never gives -32768 (its lowest is -32767), so every -32768 is a
// not-a-number and becomes 0: one compare for sixteen samples instead of a
// mask for each eight. The pack works within each 128-bit half, so a permute
// puts the four 64-bit pieces back in order. Written without helpers or
// lambdas, which would not inherit the target, and with every 256-bit value
// in a register: 64-bit Windows GCC cannot keep them 32-byte aligned on the
// stack.
__attribute__((target("avx2"))) size_t convertAvx2(const float* source, int16_t* destination, size_t count) {
    const __m256 low = _mm256_set1_ps(-1.0f);
    const __m256 high = _mm256_set1_ps(1.0f);
    const __m256 scale = _mm256_set1_ps(32767.0f);
    const __m256i notANumber = _mm256_set1_epi16(INT16_MIN);
    size_t i = 0;
    // Two passes per loop turn: the loop's own bookkeeping is a good part
    // of so short a body.
#pragma GCC unroll 2
    for (; i + 16 <= count; i += 16) {
        const __m256 a = _mm256_min_ps(high, _mm256_max_ps(low, _mm256_loadu_ps(source + i)));
        const __m256 b = _mm256_min_ps(high, _mm256_max_ps(low, _mm256_loadu_ps(source + i + 8)));
        __m256i packed = _mm256_packs_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(a, scale)),
                                            _mm256_cvttps_epi32(_mm256_mul_ps(b, scale)));
        packed = _mm256_andnot_si256(_mm256_cmpeq_epi16(packed, notANumber), packed);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i),
                            _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    return i;
}
#endif

// Converts what it can of the buffer and returns how much that was.
using Vectorised = size_t (*)(const float* source, int16_t* destination, size_t count);

size_t convertNone(const float*, int16_t*, size_t) { return 0; }

Vectorised vectorised(SampleConversion way) {
    switch (way) {
#if QV_HAVE_AVX2
    case SampleConversion::Avx2: return convertAvx2;
#endif
#if defined(__SSE2__)
    case SampleConversion::Sse2: return convertSse2;
#endif
    default: return convertNone;
    }
}

} // namespace

bool canConvertSamples(SampleConversion way) {
    switch (way) {
    case SampleConversion::Each: return true;
    case SampleConversion::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    case SampleConversion::Avx2:
#if QV_HAVE_AVX2
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

SampleConversion fastestSampleConversion() {
    if (canConvertSamples(SampleConversion::Avx2)) return SampleConversion::Avx2;
    if (canConvertSamples(SampleConversion::Sse2)) return SampleConversion::Sse2;
    return SampleConversion::Each;
}

void floatToS16Using(SampleConversion way, const float* source, int16_t* destination, size_t count) {
    const size_t done = canConvertSamples(way) ? vectorised(way)(source, destination, count) : 0;
    convertEach(source + done, destination + done, count - done);
}

void floatToS16(const float* source, int16_t* destination, size_t count) {
    // The processor does not change while the program runs.
    static const Vectorised fastest = vectorised(fastestSampleConversion());
    const size_t done = fastest(source, destination, count);
    convertEach(source + done, destination + done, count - done);
}

} // namespace qv::recorder
