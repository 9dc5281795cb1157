// Conversion speed of the resampling engine with the filter a conversion designs (65 taps,
// roll-off 0.97, beta 9.0), from memory to memory so that only the engine is measured.
//
// Counters: output samples per second, and the seconds it would take to convert one hour of
// input audio at the benchmark's input rate (one hour always yields 36,000,000 output samples).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "resample/resampler.h"

namespace zelvio {
namespace {

constexpr double kOutputSamplesPerHour = 10000.0 * 3600.0;

const LowpassFilter& runFilter() {
    static const LowpassFilter filter = [] {
        LowpassFilter f;
        f.tapCount = kDesignedTapCount;
        f.wingLength = 8192;
        f.coefficients.resize(8192);
        f.differences.resize(8192);
        static_cast<void>(
            designLowpassFilter(f.coefficients, f.differences, f.gain, 8192, 0.97, 9.0));
        f.gain = static_cast<std::uint16_t>(f.gain * 0.95);
        return f;
    }();
    return filter;
}

// Ten seconds of a speech-like mixture of tones at the given rate.
std::vector<std::int16_t> testSignal(int rate) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(rate) * 10);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        samples[i] = static_cast<std::int16_t>(9000 * std::sin(2 * 3.14159265 * 220 * t) +
                                               5000 * std::sin(2 * 3.14159265 * 1830 * t) +
                                               3000 * std::sin(2 * 3.14159265 * 3310 * t));
    }
    return samples;
}

// A sink that keeps only the count, so memory traffic of the output does not blur the figure.
class CountingSink final : public MonoSink {
  public:
    bool write(const std::int16_t* samples, std::size_t count) override {
        if (count != 0) {
            benchmark::DoNotOptimize(samples[count - 1]);
        }
        written += static_cast<std::int64_t>(count);
        return true;
    }
    std::int64_t written = 0;
};

void resampleTenSeconds(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const double factor = 10000.0 / rate;
    const std::vector<std::int16_t> input = testSignal(rate);
    const auto inputCount = static_cast<std::int64_t>(input.size());
    const std::int64_t outputCount = static_cast<std::int64_t>(inputCount * factor) + 1;
    for (auto _ : state) {
        MemoryMonoSource source(input);
        CountingSink sink;
        const ResampleResult result = resampleStream(factor, source, sink, inputCount, outputCount,
                                                     runFilter(), Interpolation::Linear);
        benchmark::DoNotOptimize(result);
    }
    const double outputs = static_cast<double>(outputCount);
    state.SetItemsProcessed(state.iterations() * outputCount);
    state.counters["out_samples_per_s"] =
        benchmark::Counter(outputs, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["s_per_hour_of_input"] = benchmark::Counter(
        outputs / kOutputSamplesPerHour,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(resampleTenSeconds)->Arg(44100)->Arg(8000)->Unit(benchmark::kMillisecond);

void designRunFilter(benchmark::State& state) {
    std::vector<std::int16_t> coefficients(8192), differences(8192);
    std::uint16_t gain = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            designLowpassFilter(coefficients, differences, gain, 8192, 0.97, 9.0));
    }
}
BENCHMARK(designRunFilter)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvio
