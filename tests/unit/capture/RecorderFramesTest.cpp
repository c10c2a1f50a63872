// The recorder's arithmetic: the recorded part of a display, the bitrate,
// rows copied out of a padded mapping, a turned display's frames and the
// region picked on its desktop, and float samples made 16-bit.
#include "capture/RecorderFrames.h"

#include "sim/SimCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace qv::recorder {
namespace {

TEST(RecorderCrop, TheRegionClippedToTheDisplayWithEvenSides) {
    struct Case {
        const char* what;
        Region region;
        int32_t left, top, width, height; // -1 width: refused
    };
    const Case cases[] = {
        {"no region: the whole display", {}, 0, 0, 1920, 1080},
        {"a region inside", {100, 50, 741, 531}, 100, 50, 640, 480},
        {"odd sides rounded down", {0, 0, 101, 33}, 0, 0, 100, 32},
        {"clipped at the edges", {-50, -20, 2000, 300}, 0, 0, 1920, 300},
        {"wholly outside: the whole display", {3000, 0, 3200, 200}, 0, 0, 1920, 1080},
        {"inverted: the whole display", {500, 500, 100, 100}, 0, 0, 1920, 1080},
        {"16 wide is enough", {10, 10, 26, 60}, 10, 10, 16, 50},
        {"15 wide is too small", {10, 10, 25, 60}, 0, 0, -1, 0},
        {"15 high after clipping is too small", {0, 1065, 400, 1200}, 0, 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Crop out;
        std::string error;
        const bool ok = crop(c.region, 1920, 1080, out, error);
        if (c.width < 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, "Selected region is too small to record");
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(out.left, c.left);
        EXPECT_EQ(out.top, c.top);
        EXPECT_EQ(out.width, c.width);
        EXPECT_EQ(out.height, c.height);
    }
}

TEST(RecorderBitrate, ATenthOfABitPerPixelWithinFourToTwentyFourMegabits) {
    EXPECT_EQ(videoBitrate(1920, 1080, 30), 6220800u);
    EXPECT_EQ(videoBitrate(640, 480, 30), 4000000u);
    EXPECT_EQ(videoBitrate(3840, 2160, 60), 24000000u);
    EXPECT_EQ(videoBitrate(7680, 4320, 60), 24000000u) << "no overflow";
    EXPECT_EQ(videoBitrate(1366, 768, 25), 4000000u);
    EXPECT_EQ(videoBitrate(2560, 1440, 24), 8847360u);
}

TEST(RecorderFrames, RowsComeOutOfAPaddedMappingPacked) {
    // Three rows of 3 pixels in a mapping whose rows are 16 bytes apart.
    std::vector<uint8_t> mapping(48);
    for (size_t i = 0; i < mapping.size(); ++i) mapping[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> frame(36, 0xEE);
    copyRows(frame.data(), mapping.data(), 16, 12, 3);
    for (size_t row = 0; row < 3; ++row)
        for (size_t b = 0; b < 12; ++b) EXPECT_EQ(frame[row * 12 + b], row * 16 + b) << row << "," << b;

    // Unpadded: the same bytes.
    std::vector<uint8_t> packed(36);
    copyRows(packed.data(), mapping.data(), 12, 12, 3);
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), mapping.begin()));
}

// A turned display: duplication delivers its frames as the panel shows them,
// 150 x 100 here, and the region is picked on the desktop the user sees. For
// each rotation (DXGI_MODE_ROTATION's numbers) and a region at each corner of
// the upright desktop, the part of the frame that holds the region, and what
// that part gives once copied out of a padded mapping and turned upright:
// the region's own desktop pixels, row by row.
TEST(RecorderRotation, ARegionOfTheDesktopIsCutFromTheFrameAndTurnedUpright) {
    constexpr int32_t kFrameWidth = 150;
    constexpr int32_t kFrameHeight = 100;
    enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };
    struct Case {
        uint32_t rotation; // as DXGI_OUTDUPL_DESC.Rotation reports it
        const char* what;
        Crop boxes[4]; // for a 37 x 23 region at each corner of the desktop
    };
    const Case cases[] = {
        {sim::dxgi_rotation::kIdentity, "identity",
         {{0, 0, 37, 23}, {113, 0, 37, 23}, {0, 77, 37, 23}, {113, 77, 37, 23}}},
        // The frame turned a quarter clockwise is the desktop: the desktop's
        // top-left corner is the frame's bottom-left one.
        {sim::dxgi_rotation::kRotate90, "90",
         {{0, 63, 23, 37}, {0, 0, 23, 37}, {127, 63, 23, 37}, {127, 0, 23, 37}}},
        {sim::dxgi_rotation::kRotate180, "180",
         {{113, 77, 37, 23}, {0, 77, 37, 23}, {113, 0, 37, 23}, {0, 0, 37, 23}}},
        // A quarter counter-clockwise: the desktop's top-left corner is the
        // frame's top-right one.
        {sim::dxgi_rotation::kRotate270, "270",
         {{127, 0, 23, 37}, {127, 63, 23, 37}, {0, 0, 23, 37}, {0, 63, 23, 37}}},
        {sim::dxgi_rotation::kUnspecified, "unspecified: as delivered",
         {{0, 0, 37, 23}, {113, 0, 37, 23}, {0, 77, 37, 23}, {113, 77, 37, 23}}},
        {7, "a value the enumeration does not name: as delivered",
         {{0, 0, 37, 23}, {113, 0, 37, 23}, {0, 77, 37, 23}, {113, 77, 37, 23}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Rotation rotation = static_cast<Rotation>(c.rotation);
        const bool quarter =
            c.rotation == sim::dxgi_rotation::kRotate90 || c.rotation == sim::dxgi_rotation::kRotate270;
        const int32_t desktopWidth = quarter ? kFrameHeight : kFrameWidth;
        const int32_t desktopHeight = quarter ? kFrameWidth : kFrameHeight;
        int32_t width = 0, height = 0;
        uprightSize(rotation, kFrameWidth, kFrameHeight, width, height);
        EXPECT_EQ(width, desktopWidth);
        EXPECT_EQ(height, desktopHeight);

        // The frame in a mapping whose rows are padded, each pixel naming the
        // desktop place it shows.
        const size_t pitch = kFrameWidth * 4 + 20;
        std::vector<uint8_t> mapping(pitch * kFrameHeight, 0xCC);
        for (int32_t y = 0; y < kFrameHeight; ++y) {
            for (int32_t x = 0; x < kFrameWidth; ++x) {
                int32_t dx = 0, dy = 0;
                sim::simDesktopOf(c.rotation, kFrameWidth, kFrameHeight, x, y, dx, dy);
                const uint32_t pixel = sim::simDesktopPixel(dx, dy);
                std::memcpy(mapping.data() + y * pitch + x * 4, &pixel, 4);
            }
        }

        struct Picked {
            const char* what;
            Crop upright;
            const Crop* box; // expected, or null: only the pixels are checked
        };
        const Picked regions[] = {
            {"top left", {0, 0, 37, 23}, &c.boxes[TopLeft]},
            {"top right", {desktopWidth - 37, 0, 37, 23}, &c.boxes[TopRight]},
            {"bottom left", {0, desktopHeight - 23, 37, 23}, &c.boxes[BottomLeft]},
            {"bottom right", {desktopWidth - 37, desktopHeight - 23, 37, 23}, &c.boxes[BottomRight]},
            // Across tiles and their edges: 70 x 45 in the middle, the whole
            // desktop, and boxes too thin for a single 4 x 4 tile.
            {"70 x 45 inside", {11, 29, 70, 45}, nullptr},
            {"the whole desktop", {0, 0, desktopWidth, desktopHeight}, nullptr},
            {"one pixel wide", {5, 3, 1, 9}, nullptr},
            {"three by two", {desktopWidth - 3, desktopHeight - 2, 3, 2}, nullptr},
        };
        for (const Picked& r : regions) {
            SCOPED_TRACE(r.what);
            const Crop box = frameBox(r.upright, rotation, kFrameWidth, kFrameHeight);
            if (r.box) {
                EXPECT_EQ(box.left, r.box->left);
                EXPECT_EQ(box.top, r.box->top);
                EXPECT_EQ(box.width, r.box->width);
                EXPECT_EQ(box.height, r.box->height);
            }
            ASSERT_GE(box.left, 0);
            ASSERT_GE(box.top, 0);
            ASSERT_LE(box.left + box.width, kFrameWidth);
            ASSERT_LE(box.top + box.height, kFrameHeight);

            const size_t pixels = static_cast<size_t>(r.upright.width) * static_cast<size_t>(r.upright.height);
            std::vector<uint32_t> upright(pixels + 1, 0xEEEEEEEEu); // one more: nothing is written past the end
            copyUpright(reinterpret_cast<uint8_t*>(upright.data()), mapping.data() + box.top * pitch + box.left * 4,
                        pitch, static_cast<size_t>(box.width), static_cast<size_t>(box.height), rotation);
            int wrong = 0;
            for (int32_t y = 0; y < r.upright.height; ++y) {
                for (int32_t x = 0; x < r.upright.width; ++x) {
                    const uint32_t want = sim::simDesktopPixel(r.upright.left + x, r.upright.top + y);
                    const uint32_t got = upright[static_cast<size_t>(y) * r.upright.width + x];
                    if (got != want && ++wrong <= 3)
                        ADD_FAILURE() << "upright (" << x << ", " << y << ") shows desktop (" << (got & 0xFFFF)
                                      << ", " << (got >> 16) << ")";
                }
            }
            EXPECT_EQ(wrong, 0);
            EXPECT_EQ(upright.back(), 0xEEEEEEEEu);
        }
    }
}

// A frame large enough that its upright copy is written past the caches
// (8 MB and more, into a 16-byte aligned buffer) turns the same way, and a
// buffer that is not aligned is written through the cache instead.
TEST(RecorderRotation, ALargeFrameTurnsTheSameWhetherStreamedOrNot) {
    constexpr int32_t kFrameWidth = 2100;
    constexpr int32_t kFrameHeight = 1004; // 8.4 MB upright
    const size_t pitch = kFrameWidth * 4 + 64;
    for (const uint32_t rotation : {sim::dxgi_rotation::kRotate90, sim::dxgi_rotation::kRotate270}) {
        std::vector<uint8_t> mapping(pitch * kFrameHeight);
        for (int32_t y = 0; y < kFrameHeight; ++y) {
            for (int32_t x = 0; x < kFrameWidth; ++x) {
                int32_t dx = 0, dy = 0;
                sim::simDesktopOf(rotation, kFrameWidth, kFrameHeight, x, y, dx, dy);
                const uint32_t pixel = sim::simDesktopPixel(dx, dy);
                std::memcpy(mapping.data() + y * pitch + x * 4, &pixel, 4);
            }
        }
        const size_t pixels = static_cast<size_t>(kFrameWidth) * kFrameHeight;
        std::vector<uint32_t> storage(pixels + 8);
        uint32_t* aligned = storage.data();
        while (reinterpret_cast<uintptr_t>(aligned) % 16 != 0) ++aligned;
        for (uint32_t* upright : {aligned, aligned + 1}) {
            SCOPED_TRACE(testing::Message() << "rotation " << rotation << (upright == aligned ? ", streamed" : ""));
            copyUpright(reinterpret_cast<uint8_t*>(upright), mapping.data(), pitch, kFrameWidth, kFrameHeight,
                        static_cast<Rotation>(rotation));
            int wrong = 0;
            for (int32_t y = 0; y < kFrameWidth; ++y)
                for (int32_t x = 0; x < kFrameHeight; ++x)
                    wrong += upright[static_cast<size_t>(y) * kFrameHeight + x] != sim::simDesktopPixel(x, y);
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(RecorderAudio, FloatSamplesAreClampedScaledAndTruncated) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values = {0.0f, 1.0f,     -1.0f,     0.5f, -0.5f, 1.5f,
                                       -7.0f, 0.00002f, -0.99999f, nan, inf,   -inf};
    const std::vector<int16_t> results = {0, 32767, -32767, 16383, -16383, 32767, -32767, 0, -32766, 0, 32767, -32767};
    // The values three times over, so that every one of them lands in each
    // lane of the sixteen-at-a-time loop, the eight-at-a-time loop and the
    // remainder: rotated, and cut to lengths that leave different tails.
    std::vector<float> in;
    std::vector<int16_t> expected;
    for (int copy = 0; copy < 3; ++copy) {
        in.insert(in.end(), values.begin(), values.end());
        expected.insert(expected.end(), results.begin(), results.end());
    }
    const SampleConversion ways[] = {SampleConversion::Each, SampleConversion::Sse2, SampleConversion::Avx2};
    for (SampleConversion way : ways) {
        if (!canConvertSamples(way)) {
            std::printf("conversion %d cannot run on this processor; not tested\n", static_cast<int>(way));
            continue;
        }
        for (size_t shift = 0; shift < values.size(); ++shift) {
            std::vector<float> rotatedIn = in;
            std::vector<int16_t> rotatedExpected = expected;
            std::rotate(rotatedIn.begin(), rotatedIn.begin() + shift, rotatedIn.end());
            std::rotate(rotatedExpected.begin(), rotatedExpected.begin() + shift, rotatedExpected.end());
            for (size_t length : {in.size(), size_t{33}, size_t{17}, size_t{12}, size_t{9}, size_t{3}, size_t{0}}) {
                SCOPED_TRACE(testing::Message()
                             << "way " << static_cast<int>(way) << ", shift " << shift << ", length " << length);
                std::vector<int16_t> out(in.size(), 99);
                floatToS16Using(way, rotatedIn.data(), out.data(), length);
                std::vector<int16_t> want(rotatedExpected.begin(), rotatedExpected.begin() + length);
                want.resize(in.size(), 99);
                EXPECT_EQ(out, want);
            }
        }
    }
}

TEST(RecorderAudio, EveryWayAgreesOnFloatsOfEveryKind) {
    // Bit patterns stepping across the whole 32-bit range: both signs,
    // denormals, huge values, infinities and not-a-numbers of every payload.
    std::vector<float> in(4099);
    for (size_t i = 0; i < in.size(); ++i) {
        const uint32_t bits = static_cast<uint32_t>(i) * 1048573u;
        std::memcpy(&in[i], &bits, 4);
    }
    std::vector<int16_t> each(in.size());
    floatToS16Using(SampleConversion::Each, in.data(), each.data(), in.size());
    for (SampleConversion way : {SampleConversion::Sse2, SampleConversion::Avx2}) {
        if (!canConvertSamples(way)) continue;
        std::vector<int16_t> out(in.size());
        floatToS16Using(way, in.data(), out.data(), in.size());
        EXPECT_EQ(out, each) << "way " << static_cast<int>(way);
    }
    std::vector<int16_t> taken(in.size());
    floatToS16(in.data(), taken.data(), in.size());
    EXPECT_EQ(taken, each);
}

} // namespace
} // namespace qv::recorder
