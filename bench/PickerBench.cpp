// The region picker's redraw for one mouse move during a drag on a 4K
// display, against one plain fill of the same buffer: the whole picture
// drawn again, and only what changed since the previous move. Labels are
// painted by the stand-in text painter of the tests (a filled box).
#include "sim/SimPickerText.h"
#include "ui/RegionPickerCanvas.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace qv {
namespace {

constexpr int32_t kWidth = 3840;
constexpr int32_t kHeight = 2160;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;

// The selection after the n-th move of a drag from (900, 600) towards the
// bottom right, a few pixels per move, wrapping round before the edge.
CanvasRect selectionAfter(int64_t move) {
    const auto step = static_cast<int32_t>(move % 300);
    return CanvasRect{900, 600, 2400 + 3 * step, 1500 + 2 * step};
}

void BM_Fill4K(benchmark::State& state) {
    std::vector<uint32_t> pixels(kPixels);
    uint32_t value = RegionPickerCanvas::kDim;
    for (auto _ : state) {
        std::fill_n(pixels.data(), pixels.size(), value);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
        value ^= 1; // a different value each time, so the fill is never skipped
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * sizeof(uint32_t)));
}

void BM_PickerRedraw4K(benchmark::State& state) {
    std::vector<uint32_t> pixels(kPixels);
    sim::SimPickerText text(pixels.data(), kWidth, kHeight);
    RegionPickerCanvas canvas(pixels.data(), kWidth, kHeight, text);
    int64_t move = 0;
    for (auto _ : state) {
        canvas.draw(selectionAfter(move++));
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * sizeof(uint32_t)));
}

void BM_PickerUpdate4K(benchmark::State& state) {
    std::vector<uint32_t> pixels(kPixels);
    sim::SimPickerText text(pixels.data(), kWidth, kHeight);
    RegionPickerCanvas canvas(pixels.data(), kWidth, kHeight, text);
    int64_t move = 0;
    canvas.draw(selectionAfter(move++));
    for (auto _ : state) {
        benchmark::DoNotOptimize(canvas.update(selectionAfter(move++)));
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_Fill4K);
BENCHMARK(BM_PickerRedraw4K);
BENCHMARK(BM_PickerUpdate4K);

} // namespace
} // namespace qv
