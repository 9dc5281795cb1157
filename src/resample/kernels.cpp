#include "resample/kernels.h"

#include <algorithm>
#include <cassert>

#include "resample/fixed_point.h"

namespace zelvio {

namespace {

// The table as the inner loops read it: the two arrays and their length.
struct Table {
    const std::int16_t* coefficients;
    const std::int16_t* differences;
    std::uint32_t length;

    explicit Table(const LowpassFilter& filter)
        : coefficients(filter.coefficients.data()),
          differences(filter.differences.data()),
          length(filter.wingLength) {}

    // The value at entry, moved toward the next entry by fraction / 128 when interpolating.
    template <bool Interpolate>
    std::int32_t at(std::uint32_t entry, std::int32_t fraction) const {
        assert(entry < length);
        const std::int32_t c = coefficients[entry];
        if constexpr (Interpolate) {
            return interpolateCoefficient(c, differences[entry], fraction);
        }
        return c;
    }
};

template <bool Interpolate, int Direction>
std::int32_t sumWingImpl(const LowpassFilter& filter, const std::int16_t* sample,
                         std::uint32_t phase) {
    const Table table(filter);
    // Unstretched, the phase is the table position and keeps its fraction from sample to sample.
    std::uint32_t entry = tableEntry(phase);
    const std::int32_t fraction = tableFraction(phase);
    std::uint32_t limit = filter.wingLength;
    if constexpr (Direction > 0) {
        limit = filter.wingLength - 1u;
        if (phase == 0) {
            entry += kEntriesPerSample;  // the centre entry belongs to the left wing alone
        }
    }
    std::int32_t sum = 0;
    for (; entry < limit; entry += kEntriesPerSample, sample += Direction) {
        sum += roundedProductQ14(table.at<Interpolate>(entry, fraction), *sample);
    }
    return sum;
}

template <bool Interpolate, int Direction>
std::int32_t sumWingScaledImpl(const LowpassFilter& filter, const std::int16_t* sample,
                               std::uint32_t phase, std::uint32_t coefficientStep) {
    const Table table(filter);
    std::uint32_t position = stretchedPosition(phase, coefficientStep);
    std::uint32_t limit = filter.wingLength;
    if constexpr (Direction > 0) {
        limit = filter.wingLength - 1u;
        if (phase == 0) {
            position += coefficientStep;
        }
    }
    std::int32_t sum = 0;
    for (; tableEntry(position) < limit; position += coefficientStep, sample += Direction) {
        const std::int32_t c = table.at<Interpolate>(tableEntry(position), tableFraction(position));
        sum += roundedProductQ14(c, *sample);
    }
    return sum;
}

// The block loop shared by both variants; wings.left and wings.right sum the two halves.
template <typename Wings>
std::size_t runBlock(std::span<const std::int16_t> input, std::span<std::int16_t> output,
                     double factor, std::uint32_t& time, std::uint16_t blockLength,
                     std::uint16_t gain, Wings&& wings) {
    const std::uint32_t timeStep = timeStepFor(factor);
    const std::uint32_t end = time + timeOfSamples(blockLength);
    const std::int16_t* samples = input.data();
    const std::int32_t scaledGain = gain;
    std::size_t count = 0;
    while (time < end && count < output.size()) {
        assert(timeIndex(time) + 1 < input.size());
        const std::int16_t* at = samples + timeIndex(time);
        const std::int32_t left = wings.left(at, timePhase(time));
        const std::int32_t right = wings.right(at + 1, timeToNextSample(time));
        output[count++] = scaleOutputQ13(left, right, scaledGain);
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
