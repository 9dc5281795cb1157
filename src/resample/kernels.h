#pragma once
// Fixed-point inner loops of the resampler; their arithmetic is spelt out in
// resample/fixed_point.h.
//
// Each output sample is the sum of two wings: the input samples at and before the output instant
// weighted by the filter's left half, and the samples after it weighted by the right half, both
// read from the one-wing table of a LowpassFilter. The position of the output instant is a time
// register with 15 fractional bits: timeIndex(time) is the input sample at or just before it,
// timePhase(time) the distance past it.
//
// upsampleBlock (factor 1 or more) uses the filter at its designed width: neighbouring input
// samples lie one zero crossing (256 table entries) apart. downsampleBlock (factor below 1)
// stretches the filter by 1/factor so that its cut-off falls to the output's Nyquist frequency:
// neighbouring input samples lie factor x 256 entries apart, counted in 1/128 of an entry.
//
// Everything per sample is integer arithmetic: 16-bit table reads, 32-bit products and sums. With
// the designed run filter and full-scale input whose signs follow the coefficients, over every
// phase and the supported factors, the largest intermediates are the kMaxRun... values below, all
// well inside 32 bits; a faster kernel must not need more headroom than they leave.

#include <cstddef>
#include <cstdint>
#include <span>

#include "resample/fixed_point.h"
#include "resample/lowpass_filter.h"

namespace zelvio {

/// The largest |coefficient x sample + rounding term| with the run filter: |32767 x -32768 +
/// 8192|, just under 2^30. Measured over every phase and factor by the kernels' tests.
inline constexpr std::int64_t kMaxRunProduct = 1073700864;
/// The largest |left + right| wing sum with the run filter.
inline constexpr std::int64_t kMaxRunWingPair = 8930426;
/// The largest |(left + right) / 4 x gain + rounding term| with the run filter and its gain.
inline constexpr std::int64_t kMaxRunScaledSum = 650691701;
static_assert(kMaxRunProduct < INT32_MAX && kMaxRunWingPair < INT32_MAX &&
              kMaxRunScaledSum < INT32_MAX);
static_assert(kMaxRunProduct == std::int64_t{32767} * 32768 - kProductHalf,
              "the largest product is a full-scale sample on the peak coefficient");

/// How the kernels read the filter table between its entries.
enum class Interpolation {
    None,    ///< the entry at or below the position, unchanged
    Linear,  ///< moved toward the next entry by the position's fraction of their difference
};

/// The time-register increment per output sample: 32768 / factor, rounded. Factor is output rate
/// over input rate.
[[nodiscard]] std::uint32_t timeStepFor(double factor);

/// The stretched filter's table advance per input sample, in 1/128 of an entry: factor x 32768
/// rounded, with factor limited to at most 1.
[[nodiscard]] std::uint16_t coefficientStepFor(double factor);

/// One wing of the unstretched filter.
///   sample: the first sample of the wing; the walk goes to sample[direction], sample[2 x
///   direction]
///           and so on for as long as the table lasts (at most ceil(wingLength / 256) samples).
///   phase: 0 to 32767, the output instant's distance from *sample in 1/32768 of a sample.
///   direction: -1 towards older samples (the left wing), +1 towards newer ones (the right wing,
///              which at phase 0 starts one zero crossing out: the centre belongs to the left
///              wing).
/// Returns the sum of round(coefficient x sample / 2^14) over the wing.
[[nodiscard]] std::int32_t sumWing(const LowpassFilter& filter, Interpolation interpolation,
                                   const std::int16_t* sample, std::uint32_t phase, int direction);

/// One wing of the filter stretched by 1 / factor, where coefficientStep =
/// coefficientStepFor(factor). Reads about wingLength x 128 / coefficientStep samples. Returns the
/// wing sum as sumWing does.
[[nodiscard]] std::int32_t sumWingScaled(const LowpassFilter& filter, Interpolation interpolation,
                                         const std::int16_t* sample, std::uint32_t phase,
                                         int direction, std::uint16_t coefficientStep);

/// Computes one block of output for factor 1 or more: output samples at time, time + timeStep, ...
/// for as long as time < (time on entry) + blockLength x 32768 (unsigned 32-bit comparison).
///   input: the working buffer; the caller keeps ceil(wingLength / 256) valid samples before the
///          first and after the last output instant.
///   output: receives the samples from its start; the block stops early should it fill up.
///   time: in/out; left at the first instant not processed.
///   gain: applied as (sum / 4 x gain + 4096) >> 13, then clamped to 16 bits.
/// Returns the number of samples stored: 0 if time is already at or past the block's end.
[[nodiscard]] std::size_t upsampleBlock(std::span<const std::int16_t> input,
                                        std::span<std::int16_t> output, double factor,
                                        std::uint32_t& time, std::uint16_t blockLength,
                                        std::uint16_t gain, const LowpassFilter& filter,
                                        Interpolation interpolation);

/// The same for factor below 1, with the stretched filter; the caller keeps about
/// wingLength x 128 / coefficientStep valid samples on either side of the block.
[[nodiscard]] std::size_t downsampleBlock(std::span<const std::int16_t> input,
                                          std::span<std::int16_t> output, double factor,
                                          std::uint32_t& time, std::uint16_t blockLength,
                                          std::uint16_t gain, const LowpassFilter& filter,
                                          Interpolation interpolation);

}  // namespace zelvio
