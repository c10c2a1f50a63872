// A preview left open while its display cannot be duplicated (a locked
// workstation, a UAC prompt) keeps its render thread going all night. Each
// pass is timed on the wall clock and on the processor: the CPU column over
// the Time column is the share of one core the preview takes meanwhile,
// printed beside a bare 15 ms sleep, the least such a pass can cost.
#include "capture/CaptureEngine.h"
#include "sim/SimPreviewGpu.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

namespace qv {
namespace {

// Real time and real waits, as the render thread has them.
class WallClock final : public CaptureClock {
public:
    int64_t now100ns() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                   .count() /
               100;
    }
    uint64_t tickMs() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    void sleepMs(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

void BM_PreviewPassWhileUnavailable(benchmark::State& state) {
    WallClock clock;
    auto gpu = std::make_unique<sim::SimPreviewGpu>();
    gpu->change([](sim::SimPreviewScreen& s) { s.busyDuplications = -1; });
    CaptureEngine engine(std::move(gpu), clock);
    if (!engine.start(0x5150, "\\\\.\\DISPLAY1")) state.SkipWithError("the engine did not start");
    for (auto _ : state) benchmark::DoNotOptimize(engine.renderFrame());
}

void BM_Sleep15ms(benchmark::State& state) {
    WallClock clock;
    for (auto _ : state) clock.sleepMs(CaptureEngine::kIdlePassMs);
}

BENCHMARK(BM_PreviewPassWhileUnavailable);
BENCHMARK(BM_Sleep15ms);

} // namespace
} // namespace qv
