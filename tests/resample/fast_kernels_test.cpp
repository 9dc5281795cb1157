// The fast kernels against the literal ones: every output sample of resampleStream, on every
// kernel path, thread count and way of cutting the input and the output.
#include "resample/fast_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "resample/fast_resampler.h"
#include "resample/kernels.h"
#include "resample/resampler.h"
#include "resample/thread_pool.h"

#include "designed_filter.h"

namespace zelvio {
namespace {

using test_support::designedFilter;
using test_support::noise;

// The filter a conversion hands to resampleStream: the design with its gain lowered to 0.95.
const LowpassFilter& runFilter() {
    static const LowpassFilter filter = [] {
        LowpassFilter f = designedFilter();
        f.gain = 15097;
        return f;
    }();
    return filter;
}

Interpolation interpolationOf(bool on) {
    return on ? Interpolation::Linear : Interpolation::None;
}

std::int64_t jobOutputCount(std::int64_t inputCount, double factor) {
    return static_cast<std::int64_t>(static_cast<double>(inputCount) * factor) + 1;
}

std::vector<std::int16_t> literalRun(double factor, const std::vector<std::int16_t>& input,
                                     std::int64_t outputCount, const LowpassFilter& filter,
                                     bool interpolate) {
    MemoryMonoSource source(input);
    MemoryMonoSink sink;
    const ResampleResult result = resampleStream(factor, source, sink, std::ssize(input),
                                                 outputCount, filter, interpolationOf(interpolate));
    EXPECT_EQ(result.status, kResampleOk);
    return sink.samples();
}

std::vector<KernelPath> availablePaths() {
    std::vector<KernelPath> paths;
    for (const KernelPath path :
         {KernelPath::kPortable, KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kWasmSimd}) {
        if (kernelPathAvailable(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

// The whole run in one call on the given path and pool.
std::vector<std::int16_t> fastRun(const ResamplePlan& plan, const std::vector<std::int16_t>& input,
                                  std::int64_t outputCount, KernelPath path,
                                  ThreadPool* pool = nullptr) {
    ParallelResampler resampler(plan, pool, path);
    EXPECT_EQ(resampler.path(), resolveKernelPath(path));
    std::vector<std::int16_t> out(static_cast<std::size_t>(outputCount));
    EXPECT_EQ(resampler.compute({input, 0, std::ssize(input)}, 0, out), kResampleOk);
    return out;
}

ResamplePlan makePlan(double factor, const LowpassFilter& filter, bool interpolate,
                      PlanOptions options = {}) {
    ResamplePlan plan;
    EXPECT_EQ(ResamplePlan::build(factor, filter, interpolationOf(interpolate), plan, options),
              kResampleOk);
    return plan;
}

// The first output index where two runs differ, or -1.
std::int64_t firstDifference(const std::vector<std::int16_t>& a,
                             const std::vector<std::int16_t>& b) {
    if (a.size() != b.size()) {
        return static_cast<std::int64_t>(std::min(a.size(), b.size()));
    }
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin());
    return x == a.end() ? -1 : x - a.begin();
}

// The interpolated coefficient at table position q (1/128 of an entry), 0 at or past limit.
std::int32_t tableAt(const LowpassFilter& f, bool interpolate, std::uint64_t q,
                     std::uint32_t limit) {
    const std::uint64_t e = q >> 7;
    if (e >= limit) {
        return 0;
    }
    return f.coefficients[e] +
           (interpolate ? (f.differences[e] * static_cast<std::int32_t>(q & 127)) >> 7 : 0);
}

// Calls visit(position, coefficient) for every input position output k reads.
template <typename Visit>
void forEachTap(const LowpassFilter& f, bool interpolate, double factor, std::int64_t k,
                Visit&& visit) {
    const std::uint64_t step = coefficientStepFor(factor);
    const std::uint64_t time = static_cast<std::uint64_t>(k) * timeStepFor(factor);
    const auto i = static_cast<std::int64_t>(time >> 15);
    const std::uint64_t phase = time & 0x7FFF;
    const std::uint64_t rightPhase = (32768 - phase) & 0x7FFF;
    std::uint64_t q = (phase * step) >> 15;
    for (std::int64_t j = 0; (q >> 7) < f.wingLength; ++j, q += step) {
        visit(i - j, tableAt(f, interpolate, q, f.wingLength));
    }
    q = rightPhase == 0 ? step : (rightPhase * step) >> 15;
    for (std::int64_t j = 0; (q >> 7) + 1 < f.wingLength; ++j, q += step) {
        visit(i + 1 + j, tableAt(f, interpolate, q, f.wingLength - 1u));
    }
}

// Noise, with the inputs of a few outputs replaced by full scale following the signs of their
// coefficients (alternately the opposite signs): the largest sums, and the largest lane sums,
// those outputs can meet. The outputs chosen are those whose coefficients weigh most.
std::vector<std::int16_t> worstCaseInput(std::size_t count, unsigned seed, const LowpassFilter& f,
                                         bool interpolate, double factor) {
    std::vector<std::int16_t> input = noise(count, seed);
    const auto outputs = jobOutputCount(static_cast<std::int64_t>(count), factor);
    std::vector<std::pair<std::int64_t, std::int64_t>> weights;  // (weight, output)
    for (std::int64_t k = 0; k < outputs; ++k) {
        std::int64_t weight = 0;
        forEachTap(f, interpolate, factor, k,
                   [&](std::int64_t, std::int32_t c) { weight += std::abs(c); });
        weights.emplace_back(weight, k);
    }
    std::sort(weights.rbegin(), weights.rend());
    std::vector<bool> taken(count, false);
    int polarity = 1;
    int chosen = 0;
    for (const auto& [weight, k] : weights) {
        bool free = true;
        forEachTap(f, interpolate, factor, k, [&](std::int64_t p, std::int32_t) {
            free = free && (p < 0 || p >= std::ssize(input) || !taken[static_cast<std::size_t>(p)]);
        });
        if (!free) {
            continue;
        }
        forEachTap(f, interpolate, factor, k, [&](std::int64_t p, std::int32_t c) {
            if (p >= 0 && p < std::ssize(input)) {
                taken[static_cast<std::size_t>(p)] = true;
                input[static_cast<std::size_t>(p)] =
                    (c >= 0) == (polarity > 0) ? std::int16_t{32767} : std::int16_t{-32768};
            }
        });
        polarity = -polarity;
        if (++chosen == 6) {
            break;
        }
    }
    return input;
}

struct RateCase {
    double rate;         // input rate for a 10000 Hz output
    std::size_t inputs;  // enough for a few thousand outputs, or a few hundred at high rates
};

const RateCase kRates[] = {
    {613, 500},     {1000, 600},    {8000, 3000},    {9999, 3000},    {10000, 3000},
    {10001, 3000},  {11025, 4000},  {16000, 5000},   {22050, 6000},   {44100, 12000},
    {48000, 12000}, {96000, 15000}, {192000, 20000}, {617575, 24000},
};

// Every output of a run, ending well past the input, from every path and with 1 and 3 threads:
// the same samples as the literal kernels, on noise and on worst-case input.
TEST(FastKernels, MatchTheLiteralKernelsAtEveryRate) {
    ThreadPool threads(3);
    for (const RateCase& c : kRates) {
        const double factor = 10000.0 / c.rate;
        for (const bool interpolate : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.rate << " Hz, interpolate " << interpolate);
            const ResamplePlan plan = makePlan(factor, runFilter(), interpolate);
            ASSERT_TRUE(plan.usesTable());
            EXPECT_LE(plan.tableBytes(), std::size_t{3} << 20);
            EXPECT_LE(plan.largestLaneSum(), 32767);
            const std::vector<std::int16_t> input =
                worstCaseInput(c.inputs, 11, runFilter(), interpolate, factor);
            const std::int64_t outputs =
                jobOutputCount(std::ssize(input), factor) + static_cast<std::int64_t>(plan.reach());
            const std::vector<std::int16_t> expected =
                literalRun(factor, input, outputs, runFilter(), interpolate);
            ASSERT_EQ(std::ssize(expected), outputs);
            // The worst case drives outputs into both clamps.
            EXPECT_EQ(*std::max_element(expected.begin(), expected.end()), 32767);
            EXPECT_EQ(*std::min_element(expected.begin(), expected.end()), -32768);
            for (const KernelPath path : availablePaths()) {
                SCOPED_TRACE(kernelPathName(path));
                EXPECT_EQ(firstDifference(fastRun(plan, input, outputs, path), expected), -1);
                EXPECT_EQ(firstDifference(fastRun(plan, input, outputs, path, &threads), expected),
                          -1);
            }
        }
    }
}

LowpassFilter syntheticFilter(std::uint16_t tapCount, unsigned seed, int amplitude) {
    LowpassFilter f;
    f.tapCount = tapCount;
    f.wingLength = static_cast<std::uint16_t>((tapCount - 1) * 128);
    f.gain = 64;  // keeps the literal loops' 32-bit intermediates in range
    f.coefficients = noise(f.wingLength, seed, amplitude);
    f.differences.resize(f.wingLength);
    for (std::size_t i = 0; i + 1 < f.wingLength; ++i) {
        f.differences[i] = static_cast<std::int16_t>(f.coefficients[i + 1] - f.coefficients[i]);
    }
    f.differences.back() = static_cast<std::int16_t>(-f.coefficients.back());
    return f;
}

LowpassFilter flatFilter(std::int16_t value) {
    LowpassFilter f = syntheticFilter(9, 0, 0);
    std::fill(f.coefficients.begin(), f.coefficients.end() - 1, value);
    f.coefficients.back() = 0;
    for (std::size_t i = 0; i < f.wingLength; ++i) {
        f.differences[i] = static_cast<std::int16_t>(
            (i + 1 < f.wingLength ? f.coefficients[i + 1] : 0) - f.coefficients[i]);
    }
    return f;
}

// Filters far from the designed one: large coefficients everywhere (16-bit groups of a single
// chunk, or no 16-bit taps at all), a last entry that is not 0 (separate right-wing rows),
// differences that wrap (interpolated coefficients beyond 16 bits: only the literal loops are
// exact), and the built-in filters.
TEST(FastKernels, MatchTheLiteralKernelsForUnusualFilters) {
    struct FilterCase {
        const char* name;
        LowpassFilter filter;
        bool separate;  // whether the right wing needs its own rows
        bool literal;   // whether some plans must fall back to the literal loops
    };
    const FilterCase filters[] = {
        {"flat 8191", flatFilter(8191), false, false},
        {"flat -16384", flatFilter(-16384), false, false},
        {"noise 16000", syntheticFilter(9, 21, 16000), true, false},
        {"noise 8191", syntheticFilter(11, 22, 8191), true, false},
        {"wrapping differences", syntheticFilter(9, 23, 32767), true, true},
        {"large built-in", largeBuiltInFilter(), false, false},
        {"small built-in", smallBuiltInFilter(), true, false},
    };
    ThreadPool threads(2);
    for (const FilterCase& fc : filters) {
        int literalPlans = 0;
        // Shorter filters keep less history, so that their blocks reach 65536 outputs sooner:
        // factor 8 is supported by all.
        for (const double factor : {10000.0 / 617575, 0.25, 1.0, 1.25, 8.0}) {
            for (const bool interpolate : {true, false}) {
                SCOPED_TRACE(testing::Message() << fc.name << ", factor " << factor
                                                << ", interpolate " << interpolate);
                const ResamplePlan plan = makePlan(factor, fc.filter, interpolate);
                literalPlans += plan.usesTable() ? 0 : 1;
                if (plan.usesTable()) {
                    EXPECT_EQ(plan.tableBytes(), (fc.separate ? 2u : 1u) * plan.rows() *
                                                     plan.taps() * sizeof(std::int16_t));
                }
                const auto inputs = static_cast<std::size_t>(std::max(800.0, 400 / factor));
                const std::vector<std::int16_t> input =
                    worstCaseInput(inputs, 12, fc.filter, interpolate, factor);
                const std::int64_t outputs = jobOutputCount(std::ssize(input), factor) + 50;
                const std::vector<std::int16_t> expected =
                    literalRun(factor, input, outputs, fc.filter, interpolate);
                for (const KernelPath path : availablePaths()) {
                    SCOPED_TRACE(kernelPathName(path));
                    EXPECT_EQ(
                        firstDifference(fastRun(plan, input, outputs, path, &threads), expected),
                        -1);
                }
            }
        }
        EXPECT_EQ(literalPlans > 0, fc.literal) << fc.name;
    }
}

// Tables stay near 2 MB at every supported rate (3 MiB just below factor 1, where 33 taps are
// padded to 48), and hold only the rows a run can meet; a smaller budget gives the literal kernels,
// with the same samples.
TEST(ResamplePlan, KeepsTablesSmallAndFallsBackBeyondTheBudget) {
    struct Case {
        double rate;
        std::uint32_t rows;
        std::size_t taps;
    };
    const Case cases[] = {
        {613, 32769, 32},    // every phase occurs
        {8000, 16385, 32},   // timeStep 26214: only even phases
        {10000, 2, 32},      // only phase 0: the left wing's row and the right wing's
        {10001, 32766, 48},  // the widest table
        {44100, 7431, 144},  // coefficientStep 7430
        {617575, 532, 1984},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const ResamplePlan plan = makePlan(10000.0 / c.rate, runFilter(), true);
        EXPECT_EQ(plan.rows(), c.rows);
        EXPECT_EQ(plan.taps(), c.taps);
        EXPECT_EQ(plan.tableBytes(), c.rows * c.taps * 2);
    }
    // Without interpolation a row depends only on the table entry it starts on.
    EXPECT_EQ(makePlan(10000.0 / 613, runFilter(), false).rows(), 257u);

    const double factor = 10000.0 / 22050;
    const ResamplePlan literal = makePlan(factor, runFilter(), true, {.tableBudgetBytes = 0});
    EXPECT_FALSE(literal.usesTable());
    EXPECT_EQ(literal.tableBytes(), 0u);
    const std::vector<std::int16_t> input = noise(3000, 13);
    const std::int64_t outputs = jobOutputCount(3000, factor);
    EXPECT_EQ(fastRun(literal, input, outputs, KernelPath::kPortable),
              literalRun(factor, input, outputs, runFilter(), true));
}

TEST(ResamplePlan, RefusesWhatTheEngineRefuses) {
    ResamplePlan plan;
    EXPECT_EQ(ResamplePlan::build(10000.0 / 612, runFilter(), Interpolation::Linear, plan),
              kResampleUnsupportedFactor);
    EXPECT_EQ(ResamplePlan::build(10000.0 / 617576, runFilter(), Interpolation::Linear, plan),
              kResampleUnsupportedFactor);
    EXPECT_FALSE(plan.valid());
    LowpassFilter narrow = runFilter();
    narrow.tapCount = 13;  // history for 13 taps, reach of 65
    EXPECT_EQ(ResamplePlan::build(1.0, narrow, Interpolation::Linear, plan), kResampleBadFilter);
    std::vector<std::int16_t> out(4);
    ResampleScratch scratch;
    EXPECT_EQ(computeOutputs(plan, {}, 0, out, KernelPath::kAuto, scratch), kResampleBadFilter);
}

// Any range of outputs, from a view that holds exactly the input it reads (a separate allocation,
// so that the address sanitizer sees any read outside it), equals the same outputs of a whole
// run; a view one sample short at either end is refused.
TEST(ComputeOutputs, GiveAnyRangeFromAViewOfJustTheInputItReads) {
    std::mt19937 random(14);
    const RateCase cases[] = {
        {613, 300}, {8000, 4000}, {10000, 4000}, {44100, 12000}, {617575, 30000}};
    for (const RateCase& c : cases) {
        SCOPED_TRACE(c.rate);
        const double factor = 10000.0 / c.rate;
        const ResamplePlan plan = makePlan(factor, runFilter(), true);
        const std::vector<std::int16_t> input = noise(c.inputs, 15);
        const std::int64_t inputCount = std::ssize(input);
        const std::int64_t outputs = jobOutputCount(inputCount, factor) + 40;
        const std::vector<std::int16_t> whole = fastRun(plan, input, outputs, KernelPath::kAuto);
        std::uniform_int_distribution<std::int64_t> pick(0, outputs - 1);
        // The first and last outputs alone, then random ranges.
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges = {{0, 1},
                                                                     {outputs - 1, outputs}};
        for (int n = 0; n < 12; ++n) {
            const std::int64_t a = pick(random);
            const std::int64_t b = pick(random);
            ranges.emplace_back(std::min(a, b), std::max(a, b) + 1);
        }
        for (const auto& [k0, k1] : ranges) {
            SCOPED_TRACE(testing::Message() << "outputs " << k0 << " to " << k1);
            const std::int64_t first = std::max<std::int64_t>(0, plan.firstInputOf(k0));
            const std::int64_t end = std::min(inputCount, plan.endInputOf(k1 - 1));
            const std::vector<std::int16_t> exact(input.begin() + std::min(first, end),
                                                  input.begin() + end);
            std::vector<std::int16_t> out(static_cast<std::size_t>(k1 - k0));
            for (const KernelPath path : availablePaths()) {
                ResampleScratch scratch;
                ASSERT_EQ(computeOutputs(plan, {exact, first, inputCount}, k0, out, path, scratch),
                          kResampleOk);
                ASSERT_TRUE(std::equal(out.begin(), out.end(), whole.begin() + k0));
            }
            if (first < end) {
                ResampleScratch scratch;
                const std::span<const std::int16_t> view(exact);
                EXPECT_EQ(computeOutputs(plan, {view.subspan(1), first + 1, inputCount}, k0, out,
                                         KernelPath::kAuto, scratch),
                          kResampleInputNotInView);
                EXPECT_EQ(computeOutputs(plan, {view.first(view.size() - 1), first, inputCount}, k0,
                                         out, KernelPath::kAuto, scratch),
                          kResampleInputNotInView);
            }
        }
    }
}

// Pushed in blocks of any size, with or without threads, computing at every push or in batches,
// the stream gives the literal engine's samples; 131072 input samples take the time
// k x timeStep past 2^32, where a 32-bit register would wrap.
TEST(StreamResampler, GivesTheLiteralSamplesWhateverTheBlocksAndPastTheTimeRegistersRange) {
    struct Case {
        double rate;
        std::size_t inputs;
        std::size_t largestBlock;
    };
    const Case cases[] = {
        {44100, 140000, 20000},  {8000, 140000, 20000},
        {617575, 140000, 20000}, {22050, 3000, 1},  // one sample at a time
        {9999, 3000, 7},
    };
    ThreadPool threads(3);
    std::mt19937 random(16);
    for (const Case& c : cases) {
        const double factor = 10000.0 / c.rate;
        const ResamplePlan plan = makePlan(factor, runFilter(), true);
        const std::vector<std::int16_t> input = noise(c.inputs, 17);
        const std::int64_t outputs = jobOutputCount(std::ssize(input), factor);
        ASSERT_TRUE(c.inputs < 100000 ||
                    static_cast<std::uint64_t>(outputs) * plan.timeStep() > (1ull << 32));
        const std::vector<std::int16_t> expected =
            literalRun(factor, input, outputs, runFilter(), true);
        for (ThreadPool* pool : {static_cast<ThreadPool*>(nullptr), &threads}) {
            for (const std::size_t batchWork : {std::size_t{0}, kDefaultBatchWork}) {
                SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << (pool ? 3 : 1)
                                                << " threads, batches of " << batchWork);
                StreamResampler stream(plan, std::ssize(input), outputs, pool, KernelPath::kAuto,
                                       batchWork);
                std::uniform_int_distribution<std::size_t> blockSize(1, c.largestBlock);
                std::vector<std::int16_t> got;
                std::size_t largestBuffer = 0;
                for (std::size_t at = 0, pushes = 0; at < input.size(); ++pushes) {
                    const std::size_t n = std::min(blockSize(random), input.size() - at);
                    ASSERT_EQ(stream.push(std::span(input).subspan(at, n), got), kResampleOk);
                    at += n;
                    largestBuffer = std::max(largestBuffer, stream.bufferedSamples());
                    if (batchWork != 0 && pushes % 10 == 9) {
                        ASSERT_EQ(stream.drain(got), kResampleOk);
                    }
                    if (batchWork == 0 || pushes % 10 == 9) {
                        // Every output whose input has all arrived is out.
                        EXPECT_GE(stream.outputsDone(), std::min(outputs, plan.outputsBefore(at)));
                    }
                }
                EXPECT_TRUE(stream.finished());
                EXPECT_EQ(firstDifference(got, expected), -1);
                const double batchInput =
                    static_cast<double>(batchWork) / (2.0 * plan.reach()) * plan.timeStep() / 32768;
                EXPECT_LE(largestBuffer, c.largestBlock + 2 * plan.reach() + 64 + batchInput);
            }
        }
    }
}

// As the literal engine: nothing at all from fewer than 2 input samples, whatever is asked.
TEST(StreamResampler, HandlesInputsOfNoneToThreeSamples) {
    for (const double factor : {10000.0 / 44100, 1.0, 1.25}) {
        const ResamplePlan plan = makePlan(factor, runFilter(), true);
        for (const std::size_t inputs : {0u, 1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << factor << ", " << inputs << " samples");
            const std::vector<std::int16_t> input(inputs, 20000);
            const std::int64_t outputs = jobOutputCount(std::ssize(input), factor) + 5;
            StreamResampler stream(plan, std::ssize(input), outputs);
            std::vector<std::int16_t> got;
            if (inputs > 0) {
                ASSERT_EQ(stream.push(input, got), kResampleOk);
            }
            EXPECT_TRUE(stream.finished());
            EXPECT_EQ(got, literalRun(factor, input, outputs, runFilter(), true));
            EXPECT_EQ(got.empty(), inputs < 2);
        }
    }
}

// A stream that learns its input's length only at the end gives the literal engine's samples,
// from no input at all to long ones, in blocks of any size: until the end it computes only outputs
// that the caller's lower bound allows and whose input has all arrived.
TEST(StreamResampler, LearnsItsLengthAtTheEndAndGivesTheLiteralSamples) {
    struct Case {
        double rate;
        std::size_t inputs;
        std::size_t largestBlock;
    };
    const Case cases[] = {
        {44100, 0, 1},          {44100, 1, 1},        {44100, 2, 1},           {8000, 3, 2},
        {10000, 199, 50},       {22050, 200, 7},      {613, 201, 64},          {617575, 5000, 900},
        {44100, 140000, 20000}, {8000, 140000, 4096}, {617575, 140000, 20000},
    };
    ThreadPool threads(2);
    std::mt19937 random(23);
    for (const Case& c : cases) {
        const double factor = 10000.0 / c.rate;
        const ResamplePlan plan = makePlan(factor, runFilter(), true);
        const std::vector<std::int16_t> input = noise(c.inputs, 29);
        const std::vector<std::int16_t> expected =
            literalRun(factor, input, jobOutputCount(std::ssize(input), factor), runFilter(), true);
        for (ThreadPool* pool : {static_cast<ThreadPool*>(nullptr), &threads}) {
            SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.inputs << " samples, "
                                            << (pool ? 2 : 1) << " threads");
            StreamResampler stream(plan, kUnknownInputCount, 0, pool);
            EXPECT_FALSE(stream.knowsInputCount());
            std::uniform_int_distribution<std::size_t> blockSize(1, c.largestBlock);
            std::vector<std::int16_t> got;
            for (std::size_t at = 0; at < input.size();) {
                const std::size_t n = std::min(blockSize(random), input.size() - at);
                stream.allowOutputs(jobOutputCount(static_cast<std::int64_t>(at + n), factor));
                ASSERT_EQ(stream.push(std::span(input).subspan(at, n), got), kResampleOk);
                at += n;
                EXPECT_FALSE(stream.finished());
                EXPECT_LE(stream.outputsDone(), plan.outputsBefore(static_cast<std::int64_t>(at)));
            }
            ASSERT_EQ(stream.endInput(jobOutputCount(std::ssize(input), factor), got), kResampleOk);
            EXPECT_TRUE(stream.finished());
            EXPECT_EQ(firstDifference(got, expected), -1);
            EXPECT_EQ(got.size(), expected.size());
        }
    }
}

// endInput is for streams that did not know their length, with a count no smaller than what they
// already gave.
TEST(StreamResampler, RefusesAnEndThatContradictsWhatItGave) {
    const double factor = 10000.0 / 44100;
    const ResamplePlan plan = makePlan(factor, runFilter(), true);
    const std::vector<std::int16_t> input = noise(100000, 31);
    std::vector<std::int16_t> got;
    StreamResampler known(plan, std::ssize(input), jobOutputCount(std::ssize(input), factor));
    EXPECT_EQ(known.endInput(10, got), kResampleBadCount);
    StreamResampler unknown(plan, kUnknownInputCount, 0, nullptr, KernelPath::kAuto, 0);
    unknown.allowOutputs(jobOutputCount(std::ssize(input), factor));
    ASSERT_EQ(unknown.push(input, got), kResampleOk);
    ASSERT_GT(unknown.outputsDone(), 10);
    const std::size_t given = got.size();
    EXPECT_EQ(unknown.endInput(10, got), kResampleBadCount);
    EXPECT_EQ(got.size(), given);
    EXPECT_FALSE(unknown.finished());
    EXPECT_STREQ(resampleStatusText(kResampleBadCount),
                 "output count below the outputs already given");
}

// Hours into a long input (and at its very end) each output still equals the kernel evaluated
// directly at k x timeStep over the zero-extended input.
TEST(ComputeOutputs, StayExactHoursIntoTheInput) {
    const auto sampleAt = [](std::int64_t p) {
        std::uint64_t h = static_cast<std::uint64_t>(p) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        return static_cast<std::int16_t>(h & 0xFFFF);
    };
    for (const double rate : {8000.0, 10000.0, 44100.0, 617575.0}) {
        const double factor = 10000.0 / rate;
        const ResamplePlan plan = makePlan(factor, runFilter(), true);
        const auto inputCount = static_cast<std::int64_t>(rate * 3 * 3600);  // three hours
        const std::int64_t outputCount = jobOutputCount(inputCount, factor);
        for (const std::int64_t k0 : {outputCount / 2, outputCount - 30}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, output " << k0);
            const std::int64_t k1 = k0 + 30;
            const std::int64_t first = plan.firstInputOf(k0);
            const std::int64_t end = std::min(inputCount, plan.endInputOf(k1 - 1));
            std::vector<std::int16_t> view;
            for (std::int64_t p = first; p < end; ++p) {
                view.push_back(sampleAt(p));
            }
            std::vector<std::int16_t> out(static_cast<std::size_t>(k1 - k0));
            for (const KernelPath path : availablePaths()) {
                ResampleScratch scratch;
                ASSERT_EQ(computeOutputs(plan, {view, first, inputCount}, k0, out, path, scratch),
                          kResampleOk);
                for (std::int64_t k = k0; k < k1; ++k) {
                    std::int32_t sum = 0;
                    forEachTap(runFilter(), true, factor, k, [&](std::int64_t p, std::int32_t c) {
                        const std::int32_t x = p < inputCount ? sampleAt(p) : 0;
                        sum += (c * x + 8192) >> 14;
                    });
                    const std::int32_t v = ((sum >> 2) * plan.gain() + 4096) >> 13;
                    ASSERT_EQ(out[static_cast<std::size_t>(k - k0)], std::clamp(v, -32768, 32767))
                        << kernelPathName(path) << ", output " << k;
                }
            }
        }
    }
}

// Sets (or, for nullptr, removes) an environment variable of this process.
void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
#endif
}

TEST(KernelPath, AutoFollowsTheEnvironmentAndRequestsFallBackToWhatRuns) {
    const char* saved = std::getenv(kPortableEnvironmentVariable);
    const std::string restore = saved != nullptr ? saved : "";
    // The best x86 path, and the best of all (only one family is ever compiled in).
    const KernelPath bestX86 = kernelPathAvailable(KernelPath::kAvx2)   ? KernelPath::kAvx2
                               : kernelPathAvailable(KernelPath::kSse2) ? KernelPath::kSse2
                                                                        : KernelPath::kPortable;
    const bool wasmSimd = kernelPathAvailable(KernelPath::kWasmSimd);
    const KernelPath best = wasmSimd ? KernelPath::kWasmSimd : bestX86;
    struct Case {
        const char* value;  // nullptr: unset
        KernelPath expected;
    };
    const Case cases[] = {{nullptr, best},
                          {"", best},
                          {"0", best},
                          {"1", KernelPath::kPortable},
                          {"yes", KernelPath::kPortable}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        setEnvironment(kPortableEnvironmentVariable, c.value);
        EXPECT_EQ(resolveKernelPath(KernelPath::kAuto), c.expected);
        // An explicit request is not overruled by the environment.
        EXPECT_EQ(resolveKernelPath(KernelPath::kPortable), KernelPath::kPortable);
    }
    setEnvironment(kPortableEnvironmentVariable, saved != nullptr ? restore.c_str() : nullptr);
    EXPECT_EQ(resolveKernelPath(KernelPath::kAvx2), bestX86);
    EXPECT_EQ(resolveKernelPath(KernelPath::kSse2),
              bestX86 == KernelPath::kPortable ? KernelPath::kPortable : KernelPath::kSse2);
    // WebAssembly SIMD falls back to the portable path only, never to an x86 one.
    EXPECT_EQ(resolveKernelPath(KernelPath::kWasmSimd),
              wasmSimd ? KernelPath::kWasmSimd : KernelPath::kPortable);
    EXPECT_FALSE(wasmSimd && (kernelPathAvailable(KernelPath::kAvx2) ||
                              kernelPathAvailable(KernelPath::kSse2)));
    EXPECT_STREQ(kernelPathName(KernelPath::kAvx2), "avx2");
    EXPECT_STREQ(kernelPathName(KernelPath::kWasmSimd), "wasm-simd");
#if defined(__wasm_simd128__)
    EXPECT_TRUE(wasmSimd) << "a build with SIMD runs the SIMD kernel";
#endif
    EXPECT_STREQ(kernelPathName(KernelPath::kPortable), "portable");
}

TEST(ThreadPool, RunsEveryPartExactlyOnce) {
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        ThreadPool pool(threads);
        EXPECT_EQ(pool.threadCount(), threadsAvailable() ? threads : 1u);
        for (const std::size_t parts : {0u, 1u, 2u, 7u, 100u}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << parts << " parts");
            std::vector<int> calls(parts, 0);
            pool.run(parts, [&](std::size_t part) { ++calls[part]; });
            EXPECT_EQ(calls, std::vector<int>(parts, 1));
        }
    }
    EXPECT_GE(defaultThreadCount(), 1u);
    EXPECT_LE(defaultThreadCount(), kDefaultThreadCap);
}

}  // namespace
}  // namespace zelvio
