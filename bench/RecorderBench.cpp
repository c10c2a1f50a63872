// The recorder's per-frame and per-packet copies against plain memcpy of the
// same bytes: a 4K frame taken out of a mapping whose rows are padded (as a
// staging texture's are), the same frame of a turned display turned upright
// on the way (a quarter turn each way and a half turn), and 10 ms of 48 kHz
// stereo float audio made 16-bit.
#include "capture/RecorderFrames.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace qv {
namespace {

constexpr size_t kWidth = 3840;
constexpr size_t kHeight = 2160;
constexpr size_t kRowBytes = kWidth * 4;
constexpr size_t kPitch = kRowBytes + 256; // a staging texture's row pitch is wider than the row
constexpr size_t kSamples = 480 * 2;       // 10 ms, 48 kHz, stereo

void BM_CropCopy4K(benchmark::State& state) {
    std::vector<uint8_t> mapping(kPitch * kHeight, 0x5A);
    std::vector<uint8_t> frame(kRowBytes * kHeight);
    for (auto _ : state) {
        recorder::copyRows(frame.data(), mapping.data(), kPitch, kRowBytes, kHeight);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRowBytes * kHeight));
}

// The argument is the turn in degrees: 90, 180 or 270.
void BM_RotatedCropCopy4K(benchmark::State& state) {
    const recorder::Rotation rotation = state.range(0) == 90    ? recorder::Rotation::Rotate90
                                        : state.range(0) == 180 ? recorder::Rotation::Rotate180
                                                                : recorder::Rotation::Rotate270;
    std::vector<uint8_t> mapping(kPitch * kHeight);
    for (size_t i = 0; i < mapping.size(); ++i) mapping[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> frame(kRowBytes * kHeight);
    for (auto _ : state) {
        recorder::copyUpright(frame.data(), mapping.data(), kPitch, kWidth, kHeight, rotation);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRowBytes * kHeight));
}

void BM_Memcpy4K(benchmark::State& state) {
    std::vector<uint8_t> source(kRowBytes * kHeight, 0x5A);
    std::vector<uint8_t> frame(kRowBytes * kHeight);
    for (auto _ : state) {
        std::memcpy(frame.data(), source.data(), frame.size());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRowBytes * kHeight));
}

void BM_FloatToS16(benchmark::State& state) {
    std::vector<float> source(kSamples);
    for (size_t i = 0; i < kSamples; ++i) source[i] = static_cast<float>(i % 200) / 100.0f - 1.0f;
    std::vector<int16_t> out(kSamples);
    for (auto _ : state) {
        recorder::floatToS16(source.data(), out.data(), kSamples);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

void BM_MemcpyAudio10ms(benchmark::State& state) {
    std::vector<float> source(kSamples, 0.25f);
    std::vector<float> out(kSamples);
    for (auto _ : state) {
        std::memcpy(out.data(), source.data(), kSamples * sizeof(float));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_CropCopy4K);
BENCHMARK(BM_RotatedCropCopy4K)->Arg(90)->Arg(180)->Arg(270);
BENCHMARK(BM_Memcpy4K);
BENCHMARK(BM_FloatToS16);
BENCHMARK(BM_MemcpyAudio10ms);

} // namespace
} // namespace qv
