#include "resample/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "designed_filter.h"

namespace zelvio {
namespace {

using test_support::designedFilter;
using test_support::noise;

constexpr std::uint16_t kRunGain = 15097;  // the designed filter's gain x 0.95
constexpr std::uint32_t kHistory = 43;     // history for factors of 1 or more
constexpr std::size_t kBufferLength = 4096;

std::vector<std::int16_t> withHistory(const std::vector<std::int16_t>& input, std::size_t history) {
    std::vector<std::int16_t> buffer(std::max(kBufferLength, history + input.size() + history), 0);
    std::copy(input.begin(), input.end(), buffer.begin() + static_cast<std::ptrdiff_t>(history));
    return buffer;
}

TEST(StepValues, AreTheRoundedFixedPointFactors) {
    struct Case {
        double factor;
        std::uint32_t timeStep;
        std::uint16_t coefficientStep;
    };
    const Case cases[] = {
        {1.0, 32768, 32768},
        {1.25, 26214, 32768},
        {10000.0 / 11025, 36127, 29722},
        {10000.0 / 22050, 72253, 14861},
        {10000.0 / 44100, 144507, 7430},
        {10000.0 / 48000, 157286, 6827},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        EXPECT_EQ(timeStepFor(c.factor), c.timeStep);
        EXPECT_EQ(coefficientStepFor(c.factor), c.coefficientStep);
    }
}

TEST(Kernels, StopAtTheFirstInstantPastTheBlock) {
    const std::vector<std::int16_t> buffer(kBufferLength, 1000);
    std::vector<std::int16_t> output(100, 5);
    std::uint32_t time = kHistory * 32768 + 123;
    // A block that is already over produces nothing and leaves the time alone.
    EXPECT_EQ(upsampleBlock(buffer, output, 1.0, time, 0, kRunGain, designedFilter(),
                            Interpolation::Linear),
              0u);
    EXPECT_EQ(downsampleBlock(buffer, output, 0.5, time, 0, kRunGain, designedFilter(),
                              Interpolation::Linear),
              0u);
    EXPECT_EQ(time, kHistory * 32768 + 123);
    EXPECT_EQ(output, std::vector<std::int16_t>(100, 5));
    // Instants at 0, 26214, ... below 10 x 32768 = 327680: 13 of them (12 x 26214 = 314568).
    time = kHistory * 32768;
    EXPECT_EQ(upsampleBlock(buffer, output, 1.25, time, 10, kRunGain, designedFilter(),
                            Interpolation::Linear),
              13u);
    EXPECT_EQ(time, kHistory * 32768 + 13 * 26214);
}

TEST(SumWing, GivesTheCentreToTheLeftWingAlone) {
    const LowpassFilter& f = designedFilter();
    // An impulse of 16384 weighs each coefficient exactly: round(c x 16384 / 2^14) = c.
    // Both wings walk away from the impulse over zeros (64 samples each when stretched by 2).
    std::vector<std::int16_t> buffer(161, 0);
    buffer[80] = 16384;
    const std::int16_t* impulse = buffer.data() + 80;
    EXPECT_EQ(sumWing(f, Interpolation::Linear, impulse, 0, -1), f.coefficients[0]);
    EXPECT_EQ(sumWing(f, Interpolation::Linear, impulse, 0, +1), f.coefficients[256]);
    // Phase 128 is entry 1 with no fraction left over.
    EXPECT_EQ(sumWing(f, Interpolation::Linear, impulse, 128, +1), f.coefficients[1]);
    // Phase 64 lies halfway between entries 0 and 1: 32767 - 1/2, rounded down by the shift.
    EXPECT_EQ(sumWing(f, Interpolation::Linear, impulse, 64, -1), 32766);
    EXPECT_EQ(sumWing(f, Interpolation::None, impulse, 64, -1), 32767);
    // The stretched wing at phase 0 also starts one step out on the right.
    EXPECT_EQ(sumWingScaled(f, Interpolation::Linear, impulse, 0, -1, 16384), f.coefficients[0]);
    EXPECT_EQ(sumWingScaled(f, Interpolation::Linear, impulse, 0, +1, 16384), f.coefficients[128]);
}

TEST(Kernels, WithInterpolationOffUseTheTableEntryUnchanged) {
    // Interpolating over a table with all differences 0 is reading the entries unchanged.
    LowpassFilter flat = designedFilter();
    std::fill(flat.differences.begin(), flat.differences.end(), std::int16_t{0});
    const std::vector<std::int16_t> input = noise(3000, 3);
    for (const double factor : {1.25, 10000.0 / 44100}) {
        SCOPED_TRACE(factor);
        const std::size_t history = factor >= 1 ? kHistory : 155;
        const std::vector<std::int16_t> buffer = withHistory(input, history);
        const std::uint16_t gain = factor >= 1 ? kRunGain : 3423;
        const auto run = [&](const LowpassFilter& filter, Interpolation interpolation) {
            std::vector<std::int16_t> output(4000);
            std::uint32_t time = static_cast<std::uint32_t>(history) * 32768;
            const auto block = factor >= 1 ? upsampleBlock : downsampleBlock;
            output.resize(block(buffer, output, factor, time, 2500, gain, filter, interpolation));
            return output;
        };
        const std::vector<std::int16_t> off = run(designedFilter(), Interpolation::None);
        EXPECT_EQ(off, run(flat, Interpolation::Linear));
        EXPECT_NE(off, run(designedFilter(), Interpolation::Linear));
    }
}

// Full-scale input whose signs follow the filter's whole-sample coefficients drives the sum far
// beyond 16 bits; the output saturates instead of wrapping.
TEST(Kernels, ClampFullScaleSumsToSixteenBits) {
    const auto& c = designedFilter().coefficients;
    for (const int sign : {+1, -1}) {
        SCOPED_TRACE(sign);
        std::vector<std::int16_t> buffer(kBufferLength, 0);
        const std::size_t centre = 1000;
        for (int j = -31; j <= 31; ++j) {
            const bool positive =
                (c[256 * static_cast<std::size_t>(std::abs(j))] >= 0) == (sign > 0);
            buffer[centre - j] = positive ? std::int16_t{32767} : std::int16_t{-32768};
        }
        std::vector<std::int16_t> output(1);
        std::uint32_t time = centre * 32768;
        ASSERT_EQ(upsampleBlock(buffer, output, 1.0, time, 1, kRunGain, designedFilter(),
                                Interpolation::Linear),
                  1u);
        EXPECT_EQ(output[0], sign > 0 ? 32767 : -32768);
    }
}

// Worst cases of the 32-bit intermediates: full-scale input whose signs follow (or oppose) the
// coefficients a wing reads, over every phase.
struct Extremes {
    std::int64_t product = 0;   // |coefficient x sample + 8192|
    std::int64_t wingPair = 0;  // |left + right|
    std::int64_t scaled = 0;    // |v x gain + 4096|
};

struct WingRange {
    std::int64_t low = 0;
    std::int64_t high = 0;
};

// The range of one wing's sum, starting at table position q (in 1/128 of an entry) and moving
// `step` positions per sample; an unstretched wing starts at the phase itself and moves by 256
// entries, so it keeps the phase's 7-bit fraction throughout.
WingRange wingRange(const LowpassFilter& f, std::uint32_t q, std::uint32_t step, bool right,
                    std::int64_t& product) {
    const std::uint32_t limit = right ? f.wingLength - 1u : f.wingLength;
    WingRange range;
    for (; (q >> 7) < limit; q += step) {
        const std::int64_t c = f.coefficients[q >> 7] +
                               ((f.differences[q >> 7] * static_cast<std::int64_t>(q & 127)) >> 7);
        const std::int64_t a = c * 32767 + 8192;
        const std::int64_t b = c * -32768 + 8192;
        product = std::max({product, std::abs(a), std::abs(b)});
        range.high += std::max(a >> 14, b >> 14);
        range.low += std::min(a >> 14, b >> 14);
    }
    return range;
}

void addPair(Extremes& x, WingRange left, WingRange right, std::int64_t gain) {
    for (const std::int64_t pair : {left.high + right.high, left.low + right.low}) {
        x.wingPair = std::max(x.wingPair, std::abs(pair));
        x.scaled = std::max(x.scaled, std::abs((pair >> 2) * gain + 4096));
    }
}

Extremes worstCase(const LowpassFilter& f, double factor, std::uint16_t filterGain) {
    Extremes x;
    if (factor >= 1.0) {
        for (std::uint32_t phase = 0; phase < 32768; ++phase) {
            // The right wing starts one whole sample out at phase 0.
            const std::uint32_t rightPhase = phase == 0 ? 32768 : 32768 - phase;
            addPair(x, wingRange(f, phase, 32768, false, x.product),
                    wingRange(f, rightPhase, 32768, true, x.product), filterGain);
        }
        return x;
    }
    const std::int64_t gain = static_cast<std::int64_t>(filterGain * factor + 0.5);
    const std::uint32_t step = coefficientStepFor(factor);
    // A wing depends on the phase only through its starting position q, which takes at most
    // step + 1 values: sum each wing once per start.
    std::vector<WingRange> left(step), right(step + 1);
    for (std::uint32_t q = 0; q <= step; ++q) {
        if (q < step) {
            left[q] = wingRange(f, q, step, false, x.product);
        }
        right[q] = wingRange(f, q, step, true, x.product);
    }
    for (std::uint32_t phase = 0; phase < 32768; ++phase) {
        const std::uint32_t rightPhase = (32768 - phase) & 0x7FFF;
        const std::uint32_t rightStart = rightPhase == 0 ? step : (rightPhase * step) >> 15;
        addPair(x, left[(phase * step) >> 15], right[rightStart], gain);
    }
    return x;
}

TEST(Kernels, KeepEveryIntermediateOfTheRunFilterWithin32Bits) {
    // Input rates for a 10000 Hz output across the supported range, both kernels.
    const double rates[] = {613, 8000, 10000, 11025, 22050, 44100, 48000, 96000, 192000, 617575};
    Extremes worst;
    for (const double rate : rates) {
        SCOPED_TRACE(rate);
        const Extremes x = worstCase(designedFilter(), 10000.0 / rate, kRunGain);
        worst.product = std::max(worst.product, x.product);
        worst.wingPair = std::max(worst.wingPair, x.wingPair);
        worst.scaled = std::max(worst.scaled, x.scaled);
    }
    const std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    EXPECT_LT(worst.product, limit);
    EXPECT_LT(worst.wingPair, limit);
    EXPECT_LT(worst.scaled, limit);
    // Pinned: a faster kernel must not rely on more headroom than this.
    EXPECT_EQ(worst.product, kMaxRunProduct);  // |32767 x -32768 + 8192|, just under 2^30
    EXPECT_EQ(worst.wingPair, kMaxRunWingPair);
    EXPECT_EQ(worst.scaled, kMaxRunScaledSum);
}

}  // namespace
}  // namespace zelvio
