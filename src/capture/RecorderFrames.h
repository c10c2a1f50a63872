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

// How the desktop is turned on a display's frames, as desktop duplication
// reports it in DXGI_OUTDUPL_DESC.Rotation. The values are DXGI_MODE_ROTATION's
// (learn.microsoft.com, "DXGI_MODE_ROTATION enumeration": UNSPECIFIED 0,
// IDENTITY 1, ROTATE90 2, ROTATE180 3, ROTATE270 4), so the adapter passes the
// member through unchanged.
//
// Duplication delivers every frame in the panel's own orientation: a frame is
// ModeDesc.Width × ModeDesc.Height pixels however the desktop is turned, and
// Rotation says how the desktop lies on it. Microsoft's Desktop Duplication
// sample (DisplayManager::SetDirtyVert) draws a frame rectangle (l, t, r, b)
// of a ROTATE90 output at desktop (W − b, l, W − t, r), W being the desktop's
// width, which is the frame turned a quarter clockwise; ROTATE270 goes to
// (t, H − r, b, H − l), the quarter counter-clockwise; ROTATE180 is the half
// turn. So the upright image is the frame turned clockwise by the angle named.
// UNSPECIFIED, and any value the enumeration does not name, is taken as no turn.
enum class Rotation : uint32_t {
    Unspecified = 0,
    Identity = 1,
    Rotate90 = 2,
    Rotate180 = 3,
    Rotate270 = 4,
};

// Quarter turns clockwise (0 to 3) that bring a delivered frame upright.
int quarterTurns(Rotation rotation);

// The size of the upright image of a frame of frameWidth × frameHeight
// pixels: the sides swap for a quarter turn either way.
void uprightSize(Rotation rotation, int32_t frameWidth, int32_t frameHeight, int32_t& width, int32_t& height);

// The part of a delivered frame of frameWidth × frameHeight pixels that holds
// the rectangle `upright` of the upright image (display-relative desktop
// pixels, lying inside the image, as crop() gives it). Its sides swap for a
// quarter turn.
Crop frameBox(const Crop& upright, Rotation rotation, int32_t frameWidth, int32_t frameHeight);

// Copies a box of width × height pixels of a frame, read from a mapping whose
// rows lie sourcePitch bytes apart, into a packed buffer, turned upright: the
// buffer then holds height × width pixels (rows of height × 4 bytes) after a
// quarter turn, width × height otherwise. No turn is copyRows. A quarter turn
// goes in tiles of 4 × 4 pixels, a square of them at a time, so each cache
// line read or written is used whole while it is in the cache; an image of
// 8 MB or more is written past the caches, as memcpy writes one.
void copyUpright(uint8_t* destination, const uint8_t* source, size_t sourcePitch, size_t width, size_t height,
                 Rotation rotation);

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
