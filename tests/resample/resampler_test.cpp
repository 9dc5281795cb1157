#include "resample/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "resample/kernels.h"

#include "designed_filter.h"
#include "literal_oracle.h"
#include "support/status_texts.h"

namespace zelvio {
namespace {

using test_support::designedFilter;
using test_support::literalOutputSample;
using test_support::noise;

struct RunOutput {
    ResampleResult result;
    std::vector<std::int16_t> output;
};

RunOutput runFile(double factor, std::span<const std::int16_t> stream, std::int64_t inputCount,
                  std::int64_t maxOutputCount, ResampleFilter filter = ResampleFilter::Designed) {
    MemoryMonoSource source(stream);
    MemoryMonoSink sink;
    const ResampleResult result =
        resampleFile(factor, source, sink, inputCount, maxOutputCount, {.filter = filter});
    return {result, sink.samples()};
}

// The lowest and highest input rates the designed filter converts to 10000 Hz.
constexpr double kLowestRate = 613;
constexpr double kHighestRate = 617575;

std::int64_t jobOutputCount(std::int64_t inputCount, double factor) {
    return static_cast<std::int64_t>(static_cast<double>(inputCount) * factor) + 1;
}

TEST(RunValues, FollowTheInputRateAndTheFilterLength) {
    struct Case {
        double rate;
        std::uint16_t history, block, gain;
        std::uint16_t filterGain = 15097, taps = 65;
    };
    const Case cases[] = {
        {8000, 43, 4010, 15097},
        {10000, 43, 4010, 15097},
        {11025, 46, 4004, 13693},
        {22050, 82, 3932, 6847},
        {44100, 155, 3786, 3423},
        {48000, 168, 3760, 3145},
        {10000, 17, 4062, 12471, 12471, 13},  // the small built-in filter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const RunValues run = computeRunValues(10000.0 / c.rate, c.filterGain, c.taps);
        ASSERT_EQ(run.status, kResampleOk);
        EXPECT_EQ(run.historyLength, c.history);
        EXPECT_EQ(run.blockLength, c.block);
        EXPECT_EQ(run.gain, c.gain);
    }
}

TEST(CheckFactor, AcceptsExactlyTheDocumentedInputRates) {
    struct Case {
        double factor;
        ResampleStatus status;
    };
    const Case cases[] = {
        {10000.0 / (kLowestRate - 1), kResampleUnsupportedFactor},  // a block of 65536 outputs
        {10000.0 / kLowestRate, kResampleOk},
        {10000.0 / kHighestRate, kResampleOk},
        {10000.0 / (kHighestRate + 1), kResampleUnsupportedFactor},  // history of 2048
        {0.0, kResampleUnsupportedFactor},
        {-1.0, kResampleUnsupportedFactor},
        {std::nan(""), kResampleUnsupportedFactor},
        {HUGE_VAL, kResampleUnsupportedFactor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        EXPECT_EQ(checkFactor(c.factor), c.status);
    }
    EXPECT_EQ(computeRunValues(10000.0 / kLowestRate, 15097, 65).maxBlockOutput, 65406u);
    // A shorter filter needs less history, so it reaches further down.
    EXPECT_EQ(checkFactor(10000.0 / (kHighestRate + 1), 13), kResampleOk);
}

TEST(ResampleFile, WritesExactlyTheRequestedCountAndNothingForFewerThanTwoInputs) {
    struct Case {
        double rate;
        std::int64_t inputs, wanted, written;
    };
    const Case cases[] = {{44100, 10000, 2268, 2268},
                          {8000, 3000, 3751, 3751},
                          {10000, 3000, 3001, 3001},
                          {8000, 0, 1, 0},
                          {8000, 0, 2, 0},
                          {8000, 1, 1, 0},
                          {8000, 1, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.inputs << " in, " << c.wanted);
        const double factor = 10000.0 / c.rate;
        if (c.written > 0) {
            ASSERT_EQ(jobOutputCount(c.inputs, factor), c.wanted);
        }
        // The stream runs on past the input, as a padded scratch file does.
        const std::vector<std::int16_t> stream = noise(static_cast<std::size_t>(c.inputs) + 200, 1);
        const RunOutput run = runFile(factor, stream, c.inputs, c.wanted);
        EXPECT_EQ(run.result.status, kResampleOk);
        EXPECT_EQ(run.result.samplesWritten, c.written);
        EXPECT_EQ(std::ssize(run.output), c.written);
    }
}

TEST(ResampleFile, StopsMidBlockAtASmallerOutputCount) {
    const std::vector<std::int16_t> input = noise(20000, 2);
    const RunOutput full = runFile(10000.0 / 44100, input, 20000, 4536);
    const RunOutput part =
        runFile(10000.0 / 44100, input, 20000, 1000);  // the first block yields 859
    EXPECT_EQ(part.result.samplesWritten, 1000);
    EXPECT_TRUE(std::equal(part.output.begin(), part.output.end(), full.output.begin()));
}

// A constant comes up from the silent history and settles near its level at every common rate;
// at 44100 Hz the first output and the settled band are known exactly.
TEST(ResampleFile, BringsAConstantUpFromTheSilentHistoryAndSettles) {
    struct Case {
        double rate;
        std::size_t margin;
        std::int16_t low, high;
    };
    const Case cases[] = {{44100, 100, 9500, 9504}, {8000, 200, 9496, 9509},
                          {11025, 200, 9496, 9509}, {16000, 200, 9496, 9509},
                          {22050, 200, 9496, 9509}, {32000, 200, 9496, 9509},
                          {44100, 200, 9496, 9509}, {48000, 200, 9496, 9509}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const auto inputs = static_cast<std::int64_t>(c.rate);
        const std::vector<std::int16_t> input(static_cast<std::size_t>(inputs), 10000);
        const RunOutput run = runFile(10000.0 / c.rate, input, inputs, 10000);
        ASSERT_EQ(run.output.size(), 10000u);
        if (c.rate == 44100) {
            EXPECT_EQ(run.output[0], 5796);
        }
        const auto [low, high] =
            std::minmax_element(run.output.begin() + static_cast<std::ptrdiff_t>(c.margin),
                                run.output.end() - static_cast<std::ptrdiff_t>(c.margin));
        EXPECT_GE(*low, c.low);
        EXPECT_LE(*high, c.high);
    }
}

// Every output sample is what the literal oracle computes over the zero-extended input, however
// the input is cut into blocks, re-centred, or followed by other data in the stream.
TEST(ResampleFile, MatchesTheLiteralOracleOverTheZeroExtendedInput) {
    struct Case {
        double factor;
        std::size_t inputs;
    };
    const Case cases[] = {
        {10000.0 / kLowestRate, 9000},  // largest blocks of output
        {1.25, 12000},
        {1.0, 9000},
        {10000.0 / 11025, 15000},
        {10000.0 / 44100, 20000},
        {10000.0 / 48000, 9999},
        {10000.0 / kHighestRate, 20000},  // two-sample blocks, creep of up to 61 samples
        {1.25, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        const std::vector<std::int16_t> input = noise(c.inputs, 3);
        // The stream holds loud garbage after the input, as a padded scratch file does.
        std::vector<std::int16_t> stream = input;
        const std::vector<std::int16_t> garbage = noise(5000, 4, 32767);
        stream.insert(stream.end(), garbage.begin(), garbage.end());
        const auto inputs = static_cast<std::int64_t>(c.inputs);
        // Ask for more than the job would, so the run goes on well past the end of the input.
        const std::int64_t wanted = jobOutputCount(inputs, c.factor) + 300;
        const RunOutput run = runFile(c.factor, stream, inputs, wanted);
        ASSERT_EQ(run.result.status, kResampleOk);
        ASSERT_EQ(std::ssize(run.output), wanted);

        const std::int64_t gain = computeRunValues(c.factor, 15097, 65).gain;
        for (std::int64_t k = 0; k < wanted; ++k) {
            ASSERT_EQ(run.output[static_cast<std::size_t>(k)],
                      literalOutputSample(input, designedFilter(), c.factor, gain, k))
                << "output " << k;
        }
    }
}

// Loud data past the input is covered by the direct evaluation above; a stream that ends before
// the input count reads as zeros.
TEST(ResampleFile, ReadsAStreamThatEndsEarlyAsZeros) {
    const std::vector<std::int16_t> input = noise(5000, 5);
    std::vector<std::int16_t> truncated(input.begin(), input.begin() + 4000);
    truncated.resize(5000, 0);
    for (const double factor : {10000.0 / 44100, 1.0, 10000.0 / 8000}) {
        SCOPED_TRACE(factor);
        const std::int64_t wanted = jobOutputCount(5000, factor);
        EXPECT_EQ(runFile(factor, std::span(input).first(4000), 5000, wanted).output,
                  runFile(factor, truncated, 5000, wanted).output);
    }
}

TEST(ResampleFile, RunsTheBuiltInFiltersWithLoweredGains) {
    struct Case {
        const char* name;
        ResampleFilter choice;
        const LowpassFilter& filter;
        std::int64_t gain;
    };
    const Case cases[] = {
        {"large", ResampleFilter::LargeBuiltIn, largeBuiltInFilter(), 14008},
        {"small", ResampleFilter::SmallBuiltIn, smallBuiltInFilter(), 12471},
    };
    const std::vector<std::int16_t> input = noise(6000, 6);
    for (const Case& c : cases) {
        for (const double factor : {1.25, 10000.0 / 22050}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(factor));
            const std::int64_t wanted = jobOutputCount(6000, factor);
            const RunOutput run = runFile(factor, input, 6000, wanted, c.choice);
            ASSERT_EQ(std::ssize(run.output), wanted);
            const std::int64_t gain =
                factor < 1 ? static_cast<std::int64_t>(c.gain * factor + 0.5) : c.gain;
            for (std::int64_t k = 0; k < wanted; k += 7) {
                ASSERT_EQ(run.output[static_cast<std::size_t>(k)],
                          literalOutputSample(input, c.filter, factor, gain, k))
                    << "output " << k;
            }
        }
    }
}

class FailingSource final : public MonoSource {
  public:
    FailingSource(std::span<const std::int16_t> samples, int goodReads)
        : inner_(samples), goodReads_(goodReads) {}
    std::int64_t read(std::int16_t* destination, std::size_t count) override {
        ++reads;
        return reads > goodReads_ ? -1 : inner_.read(destination, count);
    }
    int reads = 0;

  private:
    MemoryMonoSource inner_;
    int goodReads_;
};

class FailingSink final : public MonoSink {
  public:
    bool write(const std::int16_t*, std::size_t count) override {
        ++writes;
        return count == 0;
    }
    int writes = 0;
};

TEST(ResampleFile, ReportsReadFailuresAfterWritingWhatItHad) {
    const std::vector<std::int16_t> input = noise(20000, 7);
    for (const int goodReads : {0, 1, 3}) {
        SCOPED_TRACE(goodReads);
        FailingSource source(input, goodReads);
        MemoryMonoSink sink;
        const ResampleResult result = resampleFile(1.0, source, sink, 20000, 20001);
        EXPECT_EQ(result.status, kResampleReadError);
        EXPECT_EQ(result.samplesWritten, std::ssize(sink.samples()));
        EXPECT_EQ(result.samplesWritten, goodReads * 4010);  // one block per successful read
    }
}

TEST(ResampleFile, ReportsAWriteFailure) {
    const std::vector<std::int16_t> input = noise(5000, 8);
    MemoryMonoSource source(input);
    FailingSink sink;
    const ResampleResult result = resampleFile(1.0, source, sink, 5000, 5001);
    EXPECT_EQ(result.status, kResampleWriteError);
    EXPECT_EQ(result.samplesWritten, 0);
    EXPECT_EQ(sink.writes, 1);
}

TEST(ResampleFile, RefusesAnUnsupportedFactorWithoutTouchingEitherStream) {
    const std::vector<std::int16_t> input = noise(5000, 9);
    for (const double rate : {612.0, 617576.0}) {
        SCOPED_TRACE(rate);
        FailingSource source(input, 100);
        FailingSink sink;
        const ResampleResult result = resampleFile(10000.0 / rate, source, sink, 5000, 100000);
        EXPECT_EQ(result.status, kResampleUnsupportedFactor);
        EXPECT_EQ(result.samplesWritten, 0);
        EXPECT_EQ(source.reads, 0);
        EXPECT_EQ(sink.writes, 0);
    }
}

TEST(ResampleStream, RefusesAFilterWiderThanItsTapCount) {
    LowpassFilter filter = designedFilter();
    filter.tapCount = 13;  // history for 13 taps, reach of 65
    MemoryMonoSource source(std::span<const std::int16_t>{});
    MemoryMonoSink sink;
    EXPECT_EQ(resampleStream(1.0, source, sink, 0, 1, filter, Interpolation::Linear).status,
              kResampleBadFilter);
}

TEST(ResampleStatusText, NamesEveryStatus) {
    test_support::expectDistinctStatusTexts(resampleStatusText,
                                            {kResampleOk, kResampleReadError, kResampleWriteError,
                                             kResampleUnsupportedFactor, kResampleBadFilter});
    test_support::expectDistinctStatusTexts(
        designStatusText,
        {kDesignOk, kDesignBadWingLength, kDesignBadRollOff, kDesignBadBeta, kDesignGainTooLarge});
}

}  // namespace
}  // namespace zelvio
