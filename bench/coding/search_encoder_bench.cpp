// Speed of the search encoder on 200-sample Frames of speech-like sound, per width and paths kept
// (0: the default for the width). Items are samples, so items_per_second is samples per second;
// s_per_hour is the encoding time of an hour of 10 kHz audio (36 million samples), whose target
// at the default paths is at most 60 s on one core.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "coding/adpcm.h"
#include "coding/search_encoder.h"
#include "support/sound_signals.h"

namespace {

constexpr std::int16_t kFrame = 200;
constexpr double kSamplesPerHour = 3600.0 * 10000.0;

const std::vector<std::int16_t>& speech() {
    static const std::vector<std::int16_t> sound = [] {
        auto s = zelvio::test_support::speechLike({.seed = 21, .seconds = 10, .pauses = true});
        s.resize(s.size() / kFrame * kFrame);
        return s;
    }();
    return sound;
}

void searchEncodeFrames(benchmark::State& state) {
    const auto bits = static_cast<std::int16_t>(state.range(0));
    const auto paths = static_cast<std::int16_t>(state.range(1));
    const std::vector<std::int16_t>& sound = speech();
    const auto frameBytes = static_cast<std::size_t>(zelvio::adpcmCodedSize(kFrame, bits));
    const std::size_t frames = sound.size() / kFrame;
    std::vector<std::uint8_t> coded(frames * frameBytes);
    zelvio::SearchAdpcmEncoder encoder(paths);
    for (auto _ : state) {
        encoder.reset();
        for (std::size_t f = 0; f < frames; ++f) {
            encoder.encodeFrame(sound.data() + f * kFrame, coded.data() + f * frameBytes, kFrame,
                                bits);
        }
        benchmark::DoNotOptimize(coded.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(sound.size()));
    state.counters["paths"] = encoder.pathsAt(bits);
    state.counters["s_per_hour"] = benchmark::Counter(
        static_cast<double>(sound.size()) / kSamplesPerHour,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(searchEncodeFrames)
    ->ArgNames({"bits", "paths"})
    ->ArgsProduct({{4, 3, 2}, {0, 1, 8, 16, 32}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
