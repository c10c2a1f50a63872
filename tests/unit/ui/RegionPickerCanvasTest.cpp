// The region picker's picture: the dim overlay, the selection and its frame,
// where the size label goes, the labels made opaque, clipping at the
// buffer's edges, and the incremental redraw that must end with the same
// pixels as a full one.
#include "ui/RegionPickerCanvas.h"

#include "base/StrPrintf.h"
#include "sim/SimPickerText.h"
#include "ui/RegionPickerState.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace qv {
namespace {

constexpr uint32_t kDim = RegionPickerCanvas::kDim;
constexpr uint32_t kSel = RegionPickerCanvas::kSelection;
constexpr uint32_t kFrame = RegionPickerCanvas::kFrame;
constexpr uint32_t kBox = sim::SimPickerText::kBoxFill | 0xFF000000u; // inside a label, made opaque
constexpr uint32_t kBorderOverDim = kDim | 0xFF000000u;               // a label's edge over the dim area

std::string hex(uint32_t v) { return strprintf("0x%08X", v); }
std::string text(const CanvasRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

// A canvas over a buffer with guard values on both sides, which must stay
// untouched whatever is drawn.
struct TestCanvas {
    static constexpr size_t kGuard = 4096;
    static constexpr uint32_t kGuardValue = 0x5EEDF00D;

    TestCanvas(int32_t w, int32_t h)
        : width(w), height(h), buffer(static_cast<size_t>(w) * static_cast<size_t>(h) + 2 * kGuard, kGuardValue),
          text(pixels(), w, h), canvas(pixels(), w, h, text) {}

    uint32_t* pixels() { return buffer.data() + kGuard; }
    uint32_t at(int32_t x, int32_t y) const {
        return buffer[kGuard + static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
    std::vector<uint32_t> image() const {
        return std::vector<uint32_t>(buffer.begin() + kGuard, buffer.end() - kGuard);
    }
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (buffer[i] != kGuardValue || buffer[buffer.size() - 1 - i] != kGuardValue) return false;
        }
        return true;
    }

    int32_t width;
    int32_t height;
    std::vector<uint32_t> buffer;
    sim::SimPickerText text;
    RegionPickerCanvas canvas;
};

struct Pixel {
    int32_t x, y;
    uint32_t value;
    const char* what;
};

void expectPixels(const TestCanvas& c, std::initializer_list<Pixel> pixels) {
    for (const Pixel& p : pixels) EXPECT_EQ(hex(c.at(p.x, p.y)), hex(p.value)) << p.what << " at " << p.x << "," << p.y;
}

TEST(RegionPickerCanvas, ASelectionIsAlmostClearInATwoPixelFrameWithItsSizeBelow) {
    TestCanvas c(640, 480);
    EXPECT_EQ(text(c.canvas.draw(CanvasRect{100, 100, 300, 200})), "(0,0)-(640,480)");
    // "200 × 100" is 9 characters: 63 x 18 pixels, a box 28 wider and 14
    // taller centred on x 200, 12 pixels below the selection.
    EXPECT_EQ(c.text.lastText, "200 × 100");
    EXPECT_EQ(text(c.text.lastBox), "(155,212)-(245,244)");
    expectPixels(c, {
                        {0, 0, kDim, "dim"},
                        {97, 97, kDim, "outside the frame's corner"},
                        {98, 98, kFrame, "the frame's top-left corner"},
                        {200, 99, kFrame, "top bar"},
                        {301, 98, kFrame, "top bar's right end"},
                        {302, 98, kDim, "right of the top bar"},
                        {98, 150, kFrame, "left bar"},
                        {97, 150, kDim, "left of the left bar"},
                        {100, 100, kSel, "the selection's first pixel"},
                        {299, 199, kSel, "the selection's last pixel"},
                        {300, 100, kFrame, "right bar"},
                        {301, 199, kFrame, "right bar"},
                        {302, 150, kDim, "right of the right bar"},
                        {100, 200, kFrame, "bottom bar"},
                        {98, 201, kFrame, "the frame's bottom-left corner"},
                        {301, 201, kFrame, "the frame's bottom-right corner"},
                        {150, 202, kDim, "below the bottom bar"},
                        {155, 212, kBorderOverDim, "the label's corner, opaque"},
                        {156, 213, kBox, "inside the label"},
                        {244, 243, kBorderOverDim, "the label's last corner"},
                        {245, 230, kDim, "right of the label"},
                        {200, 211, kDim, "above the label"},
                        {200, 244, kDim, "below the label"},
                        {639, 479, kDim, "dim"},
                    });
    EXPECT_TRUE(c.guardsIntact());

    TestCanvas backwards(640, 480);
    backwards.canvas.draw(CanvasRect{300, 200, 100, 100});
    EXPECT_TRUE(backwards.image() == c.image()) << "the corners given the other way round";
}

TEST(RegionPickerCanvas, WithoutASelectionTheHintIsCentredAtTheTop) {
    TestCanvas c(640, 480);
    c.canvas.draw(std::nullopt);
    EXPECT_EQ(c.text.lastText, "Drag to select the region to record  —  Esc to cancel");
    // 53 characters: 371 x 18, centred on x 320 at top 24.
    EXPECT_EQ(text(c.text.lastBox), "(121,24)-(519,56)");
    expectPixels(c, {
                        {0, 0, kDim, "dim"},
                        {121, 24, kBorderOverDim, "the hint's corner"},
                        {320, 40, kBox, "inside the hint"},
                        {120, 40, kDim, "left of the hint"},
                        {320, 56, kDim, "below the hint"},
                        {639, 479, kDim, "dim"},
                    });
}

TEST(RegionPickerCanvas, TheSizeLabelGoesBelowElseAboveElseAtTheTop) {
    struct Case {
        const char* what;
        CanvasRect selection;
        int32_t top;
    };
    const Case cases[] = {
        {"room below", {100, 100, 500, 400}, 412},
        {"exactly room below", {100, 100, 500, 1024}, 1036},
        {"bottom within 56 pixels of the display's bottom: above", {100, 500, 500, 1025}, 456},
        {"above, one pixel under the margin", {100, 53, 500, 1060}, 9},
        {"no room above either: at the margin", {100, 52, 500, 1060}, 8},
        {"the whole display: at the margin", {0, 0, 1920, 1080}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegionPickerCanvas::sizeLabelTop(c.selection, 1080), c.top);
    }
}

TEST(RegionPickerCanvas, ABufferIsMadeForPositiveSidesUpToTwoGibibytes) {
    struct Case {
        int32_t width, height;
        bool supported;
    };
    const Case cases[] = {
        {1920, 1080, true},  {15360, 8640, true},   {23170, 23170, true}, {23171, 23171, false},
        {40000, 40000, false}, {INT32_MAX, 2, false}, {0, 1080, false},     {1920, -1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegionPickerCanvas::sizeSupported(c.width, c.height), c.supported) << c.width << " x " << c.height;
    }
}

// Frames and labels that reach past the buffer are cut at its edges; no
// write lands outside it.
TEST(RegionPickerCanvas, EverythingIsClippedToTheBuffer) {
    struct Case {
        const char* what;
        int32_t width, height;
        std::optional<CanvasRect> selection;
        std::vector<Pixel> pixels;
    };
    const Case cases[] = {
        {"the whole canvas selected: the frame is outside, the label at the top",
         200,
         120,
         CanvasRect{0, 0, 200, 120},
         {{0, 0, kSel, "top-left"}, {199, 119, kSel, "bottom-right"}, {199, 0, kSel, "top-right"},
          {56, 9, kBox, "the label"}, {55, 8, 0xFF000000u, "the label's corner over the selection, opaque"},
          {100, 40, kSel, "under the label"}}},
        {"against the left edge: the label sticks out", 640, 480, CanvasRect{0, 300, 20, 340},
         // "20 × 40": 49 pixels, box (-28,352)-(48,384).
         {{0, 300, kSel, "the selection at the edge"},
          {0, 299, kFrame, "top bar"},
          {20, 339, kFrame, "right bar"},
          {0, 352, kBorderOverDim, "the label's top row"},
          {0, 360, kBox, "the label, cut at the left edge"},
          {47, 383, kBorderOverDim, "the label's last pixel"},
          {48, 383, kDim, "right of the label"}}},
        {"in the bottom-right corner", 640, 480, CanvasRect{600, 440, 640, 480},
         // Label above: 440 - 44; "40 × 40": box (582,396)-(658,428).
         {{639, 479, kSel, "the last pixel"},
          {598, 479, kFrame, "left bar"},
          {639, 438, kFrame, "top bar"},
          {639, 400, kBox, "the label, cut at the right edge"},
          {581, 400, kDim, "left of the label"}}},
        {"a hint wider than the canvas", 40, 60, std::nullopt,
         {{0, 10, kDim, "above the hint"},
          {0, 24, kBorderOverDim, "the hint's top row"},
          {0, 30, kBox, "the hint, cut on the left"},
          {39, 30, kBox, "the hint, cut on the right"},
          {20, 56, kDim, "below the hint"}}},
        {"a canvas smaller than the hint's top", 30, 10, std::nullopt, {{29, 9, kDim, "dim"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestCanvas drawn(c.width, c.height);
        drawn.canvas.draw(c.selection);
        for (const Pixel& p : c.pixels) EXPECT_EQ(hex(drawn.at(p.x, p.y)), hex(p.value)) << p.what;
        EXPECT_TRUE(drawn.guardsIntact());

        // The same through an incremental update from the hint.
        TestCanvas updated(c.width, c.height);
        updated.canvas.draw(std::nullopt);
        updated.canvas.update(c.selection);
        EXPECT_TRUE(updated.image() == drawn.image());
        EXPECT_TRUE(updated.guardsIntact());
    }
}

// A user dragging about: after every event the incrementally updated canvas
// holds exactly what a full redraw gives, and every pixel that changed lies
// in the rectangle the update reported (the window passes that rectangle on
// as the dirty area, so a pixel outside it would stay stale on the screen).
TEST(RegionPickerCanvas, AnIncrementalRedrawEndsWithTheSamePixelsAsAFullOne) {
    constexpr int32_t kWidth = 320;
    constexpr int32_t kHeight = 200;
    TestCanvas incremental(kWidth, kHeight);
    TestCanvas full(kWidth, kHeight);
    RegionPickerState state(kWidth, kHeight);
    EXPECT_EQ(text(incremental.canvas.update(state.selection())), "(0,0)-(320,200)") << "the first draw is whole";

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int32_t> x(-60, kWidth + 60);
    std::uniform_int_distribution<int32_t> y(-60, kHeight + 60);
    std::uniform_int_distribution<int32_t> step(-12, 12);
    std::uniform_int_distribution<int> event(0, 19);
    int32_t mx = kWidth / 2;
    int32_t my = kHeight / 2;
    int redraws = 0;
    for (int i = 0; i < 600; ++i) {
        const int e = event(random);
        RegionPickerState::Reaction reaction;
        if (e == 0) {
            mx = x(random);
            my = y(random);
            reaction = state.buttonDown(mx, my);
        } else if (e == 1) {
            reaction = state.buttonUp(mx, my);
            if (state.done()) state = RegionPickerState(kWidth, kHeight); // the next pick, on the same canvas
            reaction.redraw = true;
        } else if (e == 2) {
            mx = x(random); // a jump: the mouse left and came back
            my = y(random);
            reaction = state.mouseMove(mx, my);
        } else {
            mx += step(random);
            my += step(random);
            reaction = state.mouseMove(mx, my);
        }
        if (!reaction.redraw) continue;
        ++redraws;
        SCOPED_TRACE(strprintf("step %d", i));
        const std::vector<uint32_t> before = incremental.image();
        const CanvasRect changed = incremental.canvas.update(state.selection());
        full.canvas.draw(state.selection());
        const std::vector<uint32_t> after = incremental.image();
        const std::vector<uint32_t> expected = full.image();
        for (int32_t py = 0; py < kHeight; ++py) {
            for (int32_t px = 0; px < kWidth; ++px) {
                const size_t at = static_cast<size_t>(py) * kWidth + static_cast<size_t>(px);
                if (after[at] != expected[at]) {
                    FAIL() << "at " << px << "," << py << ": " << hex(after[at]) << ", a full redraw gives "
                           << hex(expected[at]);
                }
                const bool inside = px >= changed.left && px < changed.right && py >= changed.top && py < changed.bottom;
                if (!inside && after[at] != before[at]) {
                    FAIL() << "changed outside " << text(changed) << " at " << px << "," << py;
                }
            }
        }
        ASSERT_TRUE(incremental.guardsIntact());
    }
    EXPECT_GT(redraws, 300);
}

} // namespace
} // namespace qv
