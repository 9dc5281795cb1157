// The resampler's output written out plainly from its description, one output sample at a time
// over the whole input, with no working buffer, no blocks and no re-centring. It restates the
// arithmetic with divisions that round down instead of the engine's shifts and masks, in 64-bit
// integers, so that any slip in the engine's buffering, block ends, time register or fixed-point
// helpers shows as a sample that differs.
//
// Output sample k lies at input position t = k x timeStep / 32768. The left wing weighs the input
// samples at and before t, the right wing those after it; input samples outside the input count
// as 0. Each wing walks the filter's one-wing table away from t: a position is counted in 1/128 of
// a table entry, and neighbouring input samples lie `step` positions apart (256 entries, or
// factor x 256 entries when the filter is stretched for a factor below 1). A coefficient is the
// entry moved toward the next one by the position's fraction of their difference, rounded down;
// each term is coefficient x sample / 2^14 rounded (halves upward); the two wing sums are added,
// divided by 4 (rounded down), scaled by gain / 2^13 (rounded, halves upward) and held to 16 bits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "resample/kernels.h"
#include "resample/lowpass_filter.h"

namespace zelvio::test_support {

/// a / b rounded down (toward minus infinity), for b > 0.
constexpr std::int64_t floorDivide(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

/// Output sample k of converting input at factor with filter, whose gain for the run is gain.
inline std::int16_t literalOutputSample(std::span<const std::int16_t> input,
                                        const LowpassFilter& filter, double factor,
                                        std::int64_t gain, std::int64_t k) {
    const auto sampleAt = [&](std::int64_t i) -> std::int64_t {
        return i >= 0 && i < std::ssize(input) ? input[static_cast<std::size_t>(i)] : 0;
    };
    const auto coefficientAt = [&](std::int64_t position) -> std::int64_t {
        const std::int64_t entry = position / 128;
        const std::int64_t fraction = position % 128;
        return filter.coefficients[static_cast<std::size_t>(entry)] +
               floorDivide(filter.differences[static_cast<std::size_t>(entry)] * fraction, 128);
    };
    const std::int64_t step = factor < 1.0 ? coefficientStepFor(factor) : 256 * 128;
    // One wing: starting `distance` (in 1/32768 of a sample) from its first input sample.
    const auto wing = [&](std::int64_t first, int direction, std::int64_t distance,
                          bool rightWing) -> std::int64_t {
        std::int64_t position = distance * step / 32768;
        if (rightWing && distance == 0) {
            position += step;  // the centre belongs to the left wing alone
        }
        const std::int64_t end = rightWing ? filter.wingLength - 1 : filter.wingLength;
        std::int64_t sum = 0;
        for (std::int64_t j = 0; position / 128 < end; ++j, position += step) {
            const std::int64_t term = coefficientAt(position) * sampleAt(first + direction * j);
            sum += floorDivide(term + 8192, 16384);
        }
        return sum;
    };
    const std::int64_t time = k * static_cast<std::int64_t>(timeStepFor(factor));
    const std::int64_t before = time / 32768;  // the input sample at or just before the instant
    const std::int64_t past = time % 32768;    // how far past it the instant lies
    const std::int64_t sum =
        wing(before, -1, past, false) + wing(before + 1, +1, (32768 - past) % 32768, true);
    const std::int64_t scaled = floorDivide(floorDivide(sum, 4) * gain + 4096, 8192);
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(scaled, -32768, 32767));
}

}  // namespace zelvio::test_support
