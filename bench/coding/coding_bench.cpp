// Coding and decoding speed on 200-sample Frames of a speech-like signal. Items are samples, so
// the reported items_per_second is samples per second; the target is 100 million at 4 bits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "coding/adpcm.h"
#include "coding/voice_activity_detector.h"

namespace {

constexpr std::int16_t kFrame = 200;
constexpr int kFrames = 500;  // 10 s of sound at 10000 Hz

// Two swept tones with a slow envelope and a little noise, so the step index keeps moving.
std::vector<std::int16_t> testSignal() {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrame) * kFrames);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / 10000.0;
        const double envelope = 0.5 + 0.5 * std::sin(2 * 3.14159265 * 1.3 * t);
        noise = noise * 1664525u + 1013904223u;
        const double value = envelope * (9000 * std::sin(2 * 3.14159265 * (200 + 300 * t) * t) +
                                         5000 * std::sin(2 * 3.14159265 * 1700 * t)) +
                             static_cast<double>(noise >> 22) - 512;
        samples[i] = static_cast<std::int16_t>(value);
    }
    return samples;
}

void encodeFrames(benchmark::State& state) {
    const auto bits = static_cast<std::int16_t>(state.range(0));
    const std::vector<std::int16_t> signal = testSignal();
    std::vector<std::uint8_t> coded(static_cast<std::size_t>(kFrame / 8 * bits) * kFrames);
    zelvio::AdpcmEncoder encoder;
    for (auto _ : state) {
        encoder.reset();
        for (int f = 0; f < kFrames; ++f) {
            encoder.encodeFrame(signal.data() + f * kFrame, coded.data() + f * kFrame / 8 * bits,
                                kFrame, bits);
        }
        benchmark::DoNotOptimize(coded.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame * kFrames);
}
BENCHMARK(encodeFrames)->Arg(4)->Arg(3)->Arg(2)->Arg(1);

void decodeFrames(benchmark::State& state) {
    const auto bits = static_cast<std::int16_t>(state.range(0));
    const std::vector<std::int16_t> signal = testSignal();
    std::vector<std::uint8_t> coded(static_cast<std::size_t>(kFrame / 8 * bits) * kFrames);
    zelvio::AdpcmEncoder encoder;
    encoder.reset();
    for (int f = 0; f < kFrames; ++f) {
        encoder.encodeFrame(signal.data() + f * kFrame, coded.data() + f * kFrame / 8 * bits,
                            kFrame, bits);
    }
    std::vector<std::int16_t> decoded(signal.size());
    zelvio::AdpcmDecoder decoder;
    for (auto _ : state) {
        decoder.reset();
        for (int f = 0; f < kFrames; ++f) {
            decoder.decodeFrame(coded.data() + f * kFrame / 8 * bits, decoded.data() + f * kFrame,
                                kFrame, bits);
        }
        benchmark::DoNotOptimize(decoded.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame * kFrames);
}
BENCHMARK(decodeFrames)->Arg(4)->Arg(3)->Arg(2)->Arg(1);

void classifyFrames(benchmark::State& state) {
    const std::vector<std::int16_t> signal = testSignal();
    zelvio::VoiceActivityDetector detector;
    detector.configure(1024, 256, 1400);
    int silent = 0;
    for (auto _ : state) {
        for (int f = 0; f < kFrames; ++f) {
            std::uint8_t level = 0;
            silent += detector.classifyFrame(signal.data() + f * kFrame, level, kFrame);
        }
        benchmark::DoNotOptimize(silent);
    }
    state.SetItemsProcessed(state.iterations() * kFrame * kFrames);
}
BENCHMARK(classifyFrames);

}  // namespace
