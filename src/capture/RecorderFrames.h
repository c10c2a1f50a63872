#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

// The recorder's arithmetic on frames and samples, apart from the GPU and
// the encoder: which part of a display is recorded, at what bitrate, how a
// mapped frame reaches the frame buffer and how float audio becomes 16-bit.
namespace recorder {

// A rectangle in a display's own pixels; empty when right <= left or
// bottom <= top.
struct Region {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct Crop {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;  // even
    int32_t height = 0; // even
};

// The part of a display of W × H pixels that is recorded: the region clipped
// to the display (the whole display for an empty region or one wholly
// outside), its size rounded down to even numbers as the H.264 encoder needs.
// False with "Selected region is too small to record" when the clipped
// region is 15 pixels or less in either direction.
bool crop(const Region& region, int32_t width, int32_t height, Crop& out, std::string& error);

// Bits per second for the video stream: a tenth of a bit per pixel and frame,
// kept within 4 to 24 Mbit/s.
uint32_t videoBitrate(int32_t width, int32_t height, int32_t fps);

// Copies rows of rowBytes bytes from a mapping whose rows lie sourcePitch
// bytes apart into a packed buffer (rows rowBytes apart).
void copyRows(uint8_t* destination, const uint8_t* source, size_t sourcePitch, size_t rowBytes, size_t rows);

// Converts float samples to signed 16-bit: each clamped to -1 … 1, times
// 32767, truncated. Not-a-number becomes 0. Sixteen at a time where the
// processor has AVX2, else eight at a time with SSE2 (every x86-64
// processor); the remainder one by one.
void floatToS16(const float* source, int16_t* destination, size_t count);

// The ways the conversion can run; each gives the same samples.
enum class SampleConversion { Each, Sse2, Avx2 };
// Whether this build and this processor can run the way.
bool canConvertSamples(SampleConversion way);
// The widest way there is here: the one floatToS16 takes.
SampleConversion fastestSampleConversion();
// floatToS16 through the given way (one by one when it cannot run here).
void floatToS16Using(SampleConversion way, const float* source, int16_t* destination, size_t count);

} // namespace recorder
} // namespace qv
