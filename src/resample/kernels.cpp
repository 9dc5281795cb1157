#include "resample/kernels.h"

#include <algorithm>

namespace zelvio {

namespace {

constexpr std::uint32_t kPhaseMask = kTimeOneSample - 1;
// Bits of a phase (or of a stretched table position) below the table entry: the interpolation
// fraction.
constexpr int kFractionBits = 7;
constexpr std::int32_t kFractionMask = (1 << kFractionBits) - 1;
constexpr std::uint32_t kEntriesPerSample = 256;

// round(p / 2^14), halves upwards: the per-term scaling of a wing sum.
constexpr std::int32_t roundProduct(std::int32_t product) {
    return (product + 8192) >> 14;
}

static_assert(roundProduct(8192) == 1 && roundProduct(8191) == 0 && roundProduct(-8192) == 0 &&
              roundProduct(-8193) == -1);

// The table value at entry e, moved toward entry e + 1 by fraction / 128 of their difference.
template <bool Interpolate>
inline std::int32_t coefficientAt(const std::int16_t* coefficients, const std::int16_t* differences,
                                  std::uint32_t e, std::int32_t fraction) {
    std::int32_t c = coefficients[e];
    if constexpr (Interpolate) {
        c += (differences[e] * fraction) >> kFractionBits;
    }
    return c;
}

template <bool Interpolate, int Direction>
std::int32_t sumWingImpl(const LowpassFilter& filter, const std::int16_t* sample,
                         std::uint32_t phase) {
    const std::int16_t* coefficients = filter.coefficients.data();
    const std::int16_t* differences = filter.differences.data();
    std::uint32_t e = phase >> kFractionBits;
    const std::int32_t fraction = static_cast<std::int32_t>(phase) & kFractionMask;
    std::uint32_t limit = filter.wingLength;
    if constexpr (Direction > 0) {
        limit = filter.wingLength - 1u;
        if (phase == 0) {
            e += kEntriesPerSample;  // the centre entry belongs to the left wing alone
        }
    }
    std::int32_t sum = 0;
    for (; e < limit; e += kEntriesPerSample, sample += Direction) {
        const std::int32_t c = coefficientAt<Interpolate>(coefficients, differences, e, fraction);
        sum += roundProduct(c * *sample);
    }
    return sum;
}

template <bool Interpolate, int Direction>
std::int32_t sumWingScaledImpl(const LowpassFilter& filter, const std::int16_t* sample,
                               std::uint32_t phase, std::uint32_t coefficientStep) {
    const std::int16_t* coefficients = filter.coefficients.data();
    const std::int16_t* differences = filter.differences.data();
    // q: table position in 1/128 of an entry; phase x coefficientStep stays below 2^30.
    std::uint32_t q = (phase * coefficientStep) >> kTimeFractionBits;
    std::uint32_t limit = filter.wingLength;
    if constexpr (Direction > 0) {
        limit = filter.wingLength - 1u;
        if (phase == 0) {
            q += coefficientStep;
        }
    }
    std::int32_t sum = 0;
    for (; (q >> kFractionBits) < limit; q += coefficientStep, sample += Direction) {
        const std::int32_t fraction = static_cast<std::int32_t>(q) & kFractionMask;
        const std::int32_t c =
            coefficientAt<Interpolate>(coefficients, differences, q >> kFractionBits, fraction);
        sum += roundProduct(c * *sample);
    }
    return sum;
}

// Scales the two wing sums of one output sample and clamps the result to 16 bits.
inline std::int16_t scaleOutput(std::int32_t left, std::int32_t right, std::int32_t gain) {
    std::int32_t v = (left + right) >> 2;
    v = (v * gain + 4096) >> 13;
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

// The block loop shared by both variants; wings.left and wings.right sum the two halves.
template <typename Wings>
std::size_t runBlock(std::span<const std::int16_t> input, std::span<std::int16_t> output,
                     double factor, std::uint32_t& time, std::uint16_t blockLength,
                     std::uint16_t gain, Wings&& wings) {
    const std::uint32_t timeStep = timeStepFor(factor);
    const std::uint32_t end = time + static_cast<std::uint32_t>(blockLength) * kTimeOneSample;
    const std::int16_t* samples = input.data();
    const std::int32_t scaledGain = gain;
    std::size_t count = 0;
    while (time < end && count < output.size()) {
        const std::int16_t* at = samples + (time >> kTimeFractionBits);
        const std::uint32_t phase = time & kPhaseMask;
        // The right wing's phase is the distance from the output instant to the next sample.
        const std::uint32_t rightPhase = (0u - time) & kPhaseMask;
        const std::int32_t left = wings.left(at, phase);
        const std::int32_t right = wings.right(at + 1, rightPhase);
        output[count++] = scaleOutput(left, right, scaledGain);
        time += timeStep;
    }
    return count;
}

template <bool Interpolate>
struct PlainWings {
    const LowpassFilter& filter;
    std::int32_t left(const std::int16_t* s, std::uint32_t phase) const {
        return sumWingImpl<Interpolate, -1>(filter, s, phase);
    }
    std::int32_t right(const std::int16_t* s, std::uint32_t phase) const {
        return sumWingImpl<Interpolate, 1>(filter, s, phase);
    }
};

template <bool Interpolate>
struct ScaledWings {
    const LowpassFilter& filter;
    std::uint32_t coefficientStep;
    std::int32_t left(const std::int16_t* s, std::uint32_t phase) const {
        return sumWingScaledImpl<Interpolate, -1>(filter, s, phase, coefficientStep);
    }
    std::int32_t right(const std::int16_t* s, std::uint32_t phase) const {
        return sumWingScaledImpl<Interpolate, 1>(filter, s, phase, coefficientStep);
    }
};

}  // namespace

std::uint32_t timeStepFor(double factor) {
    return static_cast<std::uint32_t>((1.0 / factor) * 32768.0 + 0.5);
}

std::uint16_t coefficientStepFor(double factor) {
    const double entriesPerSample = std::min(factor * 256.0, 256.0);
    return static_cast<std::uint16_t>(entriesPerSample * 128.0 + 0.5);
}

std::int32_t sumWing(const LowpassFilter& filter, Interpolation interpolation,
                     const std::int16_t* sample, std::uint32_t phase, int direction) {
    const bool interpolate = interpolation == Interpolation::Linear;
    if (direction < 0) {
        return interpolate ? sumWingImpl<true, -1>(filter, sample, phase)
                           : sumWingImpl<false, -1>(filter, sample, phase);
    }
    return interpolate ? sumWingImpl<true, 1>(filter, sample, phase)
                       : sumWingImpl<false, 1>(filter, sample, phase);
}

std::int32_t sumWingScaled(const LowpassFilter& filter, Interpolation interpolation,
                           const std::int16_t* sample, std::uint32_t phase, int direction,
                           std::uint16_t coefficientStep) {
    const bool interpolate = interpolation == Interpolation::Linear;
    if (direction < 0) {
        return interpolate ? sumWingScaledImpl<true, -1>(filter, sample, phase, coefficientStep)
                           : sumWingScaledImpl<false, -1>(filter, sample, phase, coefficientStep);
    }
    return interpolate ? sumWingScaledImpl<true, 1>(filter, sample, phase, coefficientStep)
                       : sumWingScaledImpl<false, 1>(filter, sample, phase, coefficientStep);
}

std::size_t upsampleBlock(std::span<const std::int16_t> input, std::span<std::int16_t> output,
                          double factor, std::uint32_t& time, std::uint16_t blockLength,
                          std::uint16_t gain, const LowpassFilter& filter,
                          Interpolation interpolation) {
    if (interpolation == Interpolation::Linear) {
        return runBlock(input, output, factor, time, blockLength, gain, PlainWings<true>{filter});
    }
    return runBlock(input, output, factor, time, blockLength, gain, PlainWings<false>{filter});
}

std::size_t downsampleBlock(std::span<const std::int16_t> input, std::span<std::int16_t> output,
                            double factor, std::uint32_t& time, std::uint16_t blockLength,
                            std::uint16_t gain, const LowpassFilter& filter,
                            Interpolation interpolation) {
    const std::uint32_t coefficientStep = coefficientStepFor(factor);
    if (interpolation == Interpolation::Linear) {
        return runBlock(input, output, factor, time, blockLength, gain,
                        ScaledWings<true>{filter, coefficientStep});
    }
    return runBlock(input, output, factor, time, blockLength, gain,
                    ScaledWings<false>{filter, coefficientStep});
}

}  // namespace zelvio
