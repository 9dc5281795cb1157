// Speed of the fast resampling kernels against the literal engine, with the filter a conversion
// designs (65 taps, roll-off 0.97, beta 9.0), from memory to memory.
//
//   fastKernels/<rate>/<path>/<threads>: ten seconds of input at <rate> Hz converted to 10000 Hz
//       by ParallelResampler; path 1 portable, 2 SSE2, 3 AVX2; threads 0 means all (the default
//       pool: hardware threads, at most 8).
//   streamResampler/<rate>/<threads>: the same through StreamResampler in blocks of 4096 input
//       samples on the default path, as a streamed conversion drives it.
//   literalEngine/<rate>: the same input through resampleStream, the definition of the samples.
//   buildPlan/<rate>: making the coefficient table, with its size in bytes.
//
// Counters: output samples per second, and the seconds one hour of input at that rate would take
// (one hour always yields 36,000,000 output samples).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "resample/fast_resampler.h"
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

void setSpeedCounters(benchmark::State& state, std::int64_t outputCount) {
    const auto outputs = static_cast<double>(outputCount);
    state.SetItemsProcessed(state.iterations() * outputCount);
    state.counters["out_samples_per_s"] =
        benchmark::Counter(outputs, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["s_per_hour_of_input"] = benchmark::Counter(
        outputs / kOutputSamplesPerHour,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fastKernels(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const auto path = static_cast<KernelPath>(state.range(1));
    if (!kernelPathAvailable(path)) {
        state.SkipWithError("kernel path not available on this processor");
        return;
    }
    const double factor = 10000.0 / rate;
    const std::vector<std::int16_t> input = testSignal(rate);
    const auto inputCount = static_cast<std::int64_t>(input.size());
    const std::int64_t outputCount = static_cast<std::int64_t>(inputCount * factor) + 1;
    ResamplePlan plan;
    if (ResamplePlan::build(factor, runFilter(), Interpolation::Linear, plan) != kResampleOk) {
        state.SkipWithError("plan refused");
        return;
    }
    ThreadPool pool(static_cast<unsigned>(state.range(2)));
    ParallelResampler resampler(plan, &pool, path);
    std::vector<std::int16_t> out(static_cast<std::size_t>(outputCount));
    for (auto _ : state) {
        const ResampleStatus status = resampler.compute({input, 0, inputCount}, 0, out);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["threads"] = pool.threadCount();
    setSpeedCounters(state, outputCount);
}

void streamResampler(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const double factor = 10000.0 / rate;
    const std::vector<std::int16_t> input = testSignal(rate);
    const auto inputCount = static_cast<std::int64_t>(input.size());
    const std::int64_t outputCount = static_cast<std::int64_t>(inputCount * factor) + 1;
    ResamplePlan plan;
    if (ResamplePlan::build(factor, runFilter(), Interpolation::Linear, plan) != kResampleOk) {
        state.SkipWithError("plan refused");
        return;
    }
    ThreadPool pool(static_cast<unsigned>(state.range(1)));
    std::vector<std::int16_t> out;
    for (auto _ : state) {
        StreamResampler stream(plan, inputCount, outputCount, &pool);
        for (std::size_t at = 0; at < input.size(); at += 4096) {
            out.clear();
            const std::size_t n = std::min<std::size_t>(4096, input.size() - at);
            const ResampleStatus status = stream.push(std::span(input).subspan(at, n), out);
            benchmark::DoNotOptimize(status);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["threads"] = pool.threadCount();
    setSpeedCounters(state, outputCount);
}

// A sink that keeps only the count, so memory traffic of the output does not blur the figure.
class CountingSink final : public MonoSink {
  public:
    bool write(const std::int16_t* samples, std::size_t count) override {
        if (count != 0) {
            benchmark::DoNotOptimize(samples[count - 1]);
        }
        return true;
    }
};

void literalEngine(benchmark::State& state) {
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
    setSpeedCounters(state, outputCount);
}

void buildPlan(benchmark::State& state) {
    const double factor = 10000.0 / static_cast<double>(state.range(0));
    ResamplePlan plan;
    for (auto _ : state) {
        const ResampleStatus status =
            ResamplePlan::build(factor, runFilter(), Interpolation::Linear, plan);
        benchmark::DoNotOptimize(status);
    }
    state.counters["table_bytes"] = static_cast<double>(plan.tableBytes());
    state.counters["rows"] = plan.rows();
    state.counters["taps"] = static_cast<double>(plan.taps());
    state.counters["lane_sum"] = plan.largestLaneSum();
}

constexpr int kRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};

void fastArguments(benchmark::internal::Benchmark* b) {
    for (const int rate : kRates) {
        for (const KernelPath path :
             {KernelPath::kPortable, KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kWasmSimd}) {
            for (const int threads : {1, 0}) {
                b->Args({rate, static_cast<int>(path), threads});
            }
        }
    }
}

BENCHMARK(fastKernels)->Apply(fastArguments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(streamResampler)
    ->ArgsProduct({{8000, 11025, 22050, 44100, 48000, 96000, 192000}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(literalEngine)
    ->Arg(8000)
    ->Arg(11025)
    ->Arg(22050)
    ->Arg(44100)
    ->Arg(48000)
    ->Arg(96000)
    ->Arg(192000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(buildPlan)
    ->Arg(613)
    ->Arg(8000)
    ->Arg(11025)
    ->Arg(22050)
    ->Arg(44100)
    ->Arg(48000)
    ->Arg(96000)
    ->Arg(192000)
    ->Arg(617575)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvio
