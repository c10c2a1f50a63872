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

int quarterTurns(Rotation rotation) {
    switch (rotation) {
    case Rotation::Rotate90: return 1;
    case Rotation::Rotate180: return 2;
    case Rotation::Rotate270: return 3;
    case Rotation::Unspecified:
    case Rotation::Identity: break;
    }
    return 0;
}

void uprightSize(Rotation rotation, int32_t frameWidth, int32_t frameHeight, int32_t& width, int32_t& height) {
    const bool quarter = quarterTurns(rotation) % 2 == 1;
    width = quarter ? frameHeight : frameWidth;
    height = quarter ? frameWidth : frameHeight;
}

Crop frameBox(const Crop& upright, Rotation rotation, int32_t frameWidth, int32_t frameHeight) {
    int32_t width = 0, height = 0;
    uprightSize(rotation, frameWidth, frameHeight, width, height);
    const int32_t right = upright.left + upright.width;
    const int32_t bottom = upright.top + upright.height;
    // Frame (x, y) shows at upright (width − y, x) a quarter clockwise, at
    // (width − x, height − y) half way round and at (y, height − x) a
    // quarter counter-clockwise; each case is its inverse applied to the
    // rectangle's edges.
    switch (quarterTurns(rotation)) {
    case 1: return Crop{upright.top, width - right, upright.height, upright.width};
    case 2: return Crop{width - right, height - bottom, upright.width, upright.height};
    case 3: return Crop{height - bottom, upright.left, upright.height, upright.width};
    default: return upright;
    }
}

namespace {

// Pixels are four bytes; loads and stores go through memcpy, so a mapping of
// any alignment is read correctly.
inline uint32_t pixelAt(const uint8_t* source, size_t pitch, size_t x, size_t y) {
    uint32_t pixel;
    std::memcpy(&pixel, source + y * pitch + x * 4, 4);
    return pixel;
}

inline void putPixel(uint8_t* destination, size_t rowBytes, size_t x, size_t y, uint32_t pixel) {
    std::memcpy(destination + y * rowBytes + x * 4, &pixel, 4);
}

// Where the upright pixel (x, y) comes from in a box of width × height frame
// pixels, for each number of quarter turns.
inline void sourceOf(int turns, size_t width, size_t height, size_t x, size_t y, size_t& sx, size_t& sy) {
    switch (turns) {
    case 1: sx = y; sy = height - 1 - x; break;
    case 2: sx = width - 1 - x; sy = height - 1 - y; break;
    case 3: sx = width - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
    }
}

// The upright pixels of columns x0 … x1 − 1 and rows y0 … y1 − 1, one by one:
// the edges the 4 × 4 tiles leave over.
void turnEach(uint8_t* destination, size_t rowBytes, const uint8_t* source, size_t pitch, size_t width, size_t height,
              int turns, size_t x0, size_t x1, size_t y0, size_t y1) {
    for (size_t y = y0; y < y1; ++y) {
        for (size_t x = x0; x < x1; ++x) {
            size_t sx = 0, sy = 0;
            sourceOf(turns, width, height, x, y, sx, sy);
            putPixel(destination, rowBytes, x, y, pixelAt(source, pitch, sx, sy));
        }
    }
}

// A quarter turn goes in square tiles of this many upright pixels a side,
// each made whole before the next begins: the frame rows a tile reads and
// the upright rows it writes stay in the cache together, and each page of
// either is visited for a whole tile's run of pixels rather than a few.
constexpr size_t kTile = 128;
// An upright image this large is written past the caches (non-temporal
// stores), as memcpy writes a copy of this size: it would not stay in them
// anyway, and writing through them first reads every line it overwrites.
constexpr size_t kStreamBytes = size_t{8} << 20;

#if defined(__SSE2__)
// Transposes the 4 × 4 pixels held in four registers, one row in each.
inline void transpose(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
    const __m128i a = _mm_unpacklo_epi32(r0, r1);
    const __m128i b = _mm_unpacklo_epi32(r2, r3);
    const __m128i c = _mm_unpackhi_epi32(r0, r1);
    const __m128i d = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(a, b);
    r1 = _mm_unpackhi_epi64(a, b);
    r2 = _mm_unpacklo_epi64(c, d);
    r3 = _mm_unpackhi_epi64(c, d);
}

inline __m128i load4(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Four pixels to an upright row: through the cache, or past it (the address
// then 16-byte aligned).
template <bool Stream>
inline void put4(uint8_t* p, __m128i v) {
    if constexpr (Stream) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
    } else {
        store4(p, v);
    }
}
#endif

// The upright 4 × 4 tile whose top-left pixel is (x, y), for a quarter turn
// either way.
template <int Turns, bool Stream>
inline void turnTile(uint8_t* destination, size_t rowBytes, const uint8_t* source, size_t pitch, size_t width,
                     size_t height, size_t x, size_t y) {
#if defined(__SSE2__)
    uint8_t* out = destination + y * rowBytes + x * 4;
    if constexpr (Turns == 1) {
        // Upright (x + k, y + j) is frame (y + j, height − 1 − x − k): frame
        // rows read bottom up, transposed, give the upright rows.
        const uint8_t* row = source + (height - 1 - x) * pitch + y * 4;
        __m128i r0 = load4(row);
        __m128i r1 = load4(row - pitch);
        __m128i r2 = load4(row - 2 * pitch);
        __m128i r3 = load4(row - 3 * pitch);
        transpose(r0, r1, r2, r3);
        put4<Stream>(out, r0);
        put4<Stream>(out + rowBytes, r1);
        put4<Stream>(out + 2 * rowBytes, r2);
        put4<Stream>(out + 3 * rowBytes, r3);
    } else {
        // Upright (x + k, y + j) is frame (width − 1 − y − j, x + k): frame
        // rows read top down, transposed, give the upright rows last first.
        const uint8_t* row = source + x * pitch + (width - 4 - y) * 4;
        __m128i r0 = load4(row);
        __m128i r1 = load4(row + pitch);
        __m128i r2 = load4(row + 2 * pitch);
        __m128i r3 = load4(row + 3 * pitch);
        transpose(r0, r1, r2, r3);
        put4<Stream>(out, r3);
        put4<Stream>(out + rowBytes, r2);
        put4<Stream>(out + 2 * rowBytes, r1);
        put4<Stream>(out + 3 * rowBytes, r0);
    }
#else
    turnEach(destination, rowBytes, source, pitch, width, height, Turns, x, x + 4, y, y + 4);
#endif
}

// The 4 × 4 tiles of the upright image's first tiledWidth columns and
// tiledHeight rows, kTile × kTile at a time.
template <int Turns, bool Stream>
void turnTiles(uint8_t* destination, size_t rowBytes, const uint8_t* source, size_t pitch, size_t width,
               size_t height, size_t tiledWidth, size_t tiledHeight) {
    for (size_t ty = 0; ty < tiledHeight; ty += kTile) {
        const size_t yEnd = std::min(ty + kTile, tiledHeight);
        for (size_t tx = 0; tx < tiledWidth; tx += kTile) {
            const size_t xEnd = std::min(tx + kTile, tiledWidth);
            for (size_t y = ty; y < yEnd; y += 4)
                for (size_t x = tx; x < xEnd; x += 4)
                    turnTile<Turns, Stream>(destination, rowBytes, source, pitch, width, height, x, y);
        }
    }
}

// A quarter turn either way: the 4 × 4 tiles, then the edges one pixel at a
// time.
void turnQuarter(uint8_t* destination, const uint8_t* source, size_t pitch, size_t width, size_t height, int turns) {
    const size_t uprightWidth = height;
    const size_t uprightHeight = width;
    const size_t rowBytes = uprightWidth * 4;
    const size_t tiledWidth = uprightWidth & ~size_t{3};
    const size_t tiledHeight = uprightHeight & ~size_t{3};
#if defined(__SSE2__)
    const bool stream = rowBytes * uprightHeight >= kStreamBytes && rowBytes % 16 == 0 &&
                        reinterpret_cast<uintptr_t>(destination) % 16 == 0;
#else
    const bool stream = false;
#endif
    if (turns == 1) {
        if (stream) {
            turnTiles<1, true>(destination, rowBytes, source, pitch, width, height, tiledWidth, tiledHeight);
        } else {
            turnTiles<1, false>(destination, rowBytes, source, pitch, width, height, tiledWidth, tiledHeight);
        }
    } else {
        if (stream) {
            turnTiles<3, true>(destination, rowBytes, source, pitch, width, height, tiledWidth, tiledHeight);
        } else {
            turnTiles<3, false>(destination, rowBytes, source, pitch, width, height, tiledWidth, tiledHeight);
        }
    }
#if defined(__SSE2__)
    // Streamed stores are ordered before whatever reads the image next.
    if (stream) _mm_sfence();
#endif
    turnEach(destination, rowBytes, source, pitch, width, height, turns, tiledWidth, uprightWidth, 0, uprightHeight);
    turnEach(destination, rowBytes, source, pitch, width, height, turns, 0, tiledWidth, tiledHeight, uprightHeight);
}

// A half turn: each upright row is a frame row read backwards, bottom row first.
void turnHalf(uint8_t* destination, const uint8_t* source, size_t pitch, size_t width, size_t height) {
    const size_t rowBytes = width * 4;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = source + (height - 1 - y) * pitch;
        uint8_t* out = destination + y * rowBytes;
        size_t x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= width; x += 4)
            store4(out + x * 4, _mm_shuffle_epi32(load4(row + (width - 4 - x) * 4), _MM_SHUFFLE(0, 1, 2, 3)));
#endif
        for (; x < width; ++x) putPixel(out, 0, x, 0, pixelAt(row, 0, width - 1 - x, 0));
    }
}

} // namespace

void copyUpright(uint8_t* destination, const uint8_t* source, size_t sourcePitch, size_t width, size_t height,
                 Rotation rotation) {
    if (width == 0 || height == 0) return;
    const int turns = quarterTurns(rotation);
    if (turns == 0) {
        copyRows(destination, source, sourcePitch, width * 4, height);
    } else if (turns == 2) {
        turnHalf(destination, source, sourcePitch, width, height);
    } else {
        turnQuarter(destination, source, sourcePitch, width, height, turns);
    }
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
