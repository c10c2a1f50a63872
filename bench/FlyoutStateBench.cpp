// The cost of one flyout state push: building the state document for four
// displays of 200 modes each and serialising it into the page's script.
// BM_Reference serialises a prebuilt document of the same shape, so the
// ratio of the two says what building it (two enumerations, mode lists,
// choices) adds to the unavoidable serialisation.
#include "AllocationCount.h"
#include "audio/AudioEndpoints.h"
#include "sim/SimAudio.h"
#include "unit/CoreObjects.h"
#include "web/FlyoutState.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace qv {
namespace {

// Four monitors side by side, each listing 200 modes: 50 sizes at four rates.
struct FourDisplays : test::CoreObjects {
    FourDisplays() {
        for (int32_t i = 0; i < 4; ++i) {
            sim::SimMonitor monitor = sim::SimMonitor::fromEdid(
                {.productCode = static_cast<uint16_t>(0x1000 + i), .serialNumber = static_cast<uint32_t>(i + 1)});
            monitor.modes.clear();
            for (uint32_t size = 0; size < 50; ++size)
                for (uint32_t hz : {144u, 120u, 75u, 60u})
                    monitor.modes.push_back({800 + 64 * size, 600 + 36 * size, hz, 32});
            monitor.current = {800 + 64 * 20, 600 + 36 * 20, 60, 32};
            desk.displays.plug(monitor, 4000 * i, 0);
        }
    }
    FlyoutHooks hooks;
};

void BM_StatePush(benchmark::State& state) {
    FourDisplays world;
    for (auto _ : state) {
        std::string script = FlyoutState::stateScript(FlyoutState::state(world.bus, &world.config, world.hooks));
        benchmark::DoNotOptimize(script);
    }
}
BENCHMARK(BM_StatePush);

void BM_Reference(benchmark::State& state) {
    FourDisplays world;
    const nlohmann::json doc = FlyoutState::state(world.bus, &world.config, world.hooks);
    for (auto _ : state) {
        std::string script = FlyoutState::stateScript(doc);
        benchmark::DoNotOptimize(script);
    }
}
BENCHMARK(BM_Reference);

// One tick of the flyout's meters: the default speaker's and microphone's
// levels read through the endpoints (their controls opened once and kept),
// then the levels script written. Compare with BM_Memcpy4K.
void BM_LevelsTick(benchmark::State& state) {
    sim::SimAudio audio;
    audio.add(AudioFlow::Render, "{0.0.0.00000000}.{speakers}", "Speakers").volume = 0.8f;
    audio.add(AudioFlow::Capture, "{0.0.1.00000000}.{microphone}", "Microphone").volume = 0.4f;
    audio.setDefault(AudioFlow::Render, "{0.0.0.00000000}.{speakers}");
    audio.setDefault(AudioFlow::Capture, "{0.0.1.00000000}.{microphone}");
    AudioEndpoints endpoints(audio);
    FlyoutHooks hooks;
    hooks.audioLevel = [&endpoints](bool capture) {
        const AudioLevel level = endpoints.readLevel(capture);
        return FlyoutHooks::Level{level.ok, level.volume, level.muted, level.peak};
    };
    const uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        std::string script = FlyoutState::levelsScript(hooks);
        benchmark::DoNotOptimize(script);
    }
    // The script's text should be the only allocation of a tick.
    state.counters["allocs/tick"] = static_cast<double>(bench::allocationCount() - before) /
                                    static_cast<double>(state.iterations());
}
BENCHMARK(BM_LevelsTick);

} // namespace
} // namespace qv
