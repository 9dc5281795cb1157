#pragma once
// The resampler's fixed-point arithmetic, one named helper for each step, so that every shift
// says what it scales and whether its floor is meant. Everything here is constexpr and free of
// state; a vector kernel uses the same constants lane by lane.
//
// Formats, by name:
//   time register  Q15, unsigned 32-bit: whole input samples above bit 15, the phase (the
//                  distance past that sample, in 1/32768 of a sample) below.
//   table position Q7, unsigned 32-bit: the entry of the one-wing table above bit 7, the
//                  fraction towards the next entry (in 1/128) below. An unstretched wing starts
//                  at the phase itself: entry = phase >> 7, 256 entries per input sample.
//   products       coefficient x sample in Q14: a coefficient of 16384 weighs a sample once.
//   output         the two wing sums, quartered, times the gain in Q13, clamped to 16 bits.
//
// Every right shift below applies to a value that may be negative, except where said, and is a
// floor (towards minus infinity), not a truncation towards zero. Each floor is the arithmetic the
// output is specified by, bit for bit; where a half is added first, the floor makes the step a
// rounding to nearest with halves upward.

#include <algorithm>
#include <cstdint>

namespace zelvio {

// --- Time register (Q15) ---------------------------------------------------------------------

/// Fractional bits of the time register; one input-sample interval is 1 << 15.
inline constexpr int kTimeFractionBits = 15;
/// One input-sample interval in time-register units.
inline constexpr std::uint32_t kTimeOneSample = 1u << kTimeFractionBits;
/// The phase bits of the time register.
inline constexpr std::uint32_t kTimePhaseMask = kTimeOneSample - 1;

/// The input sample at or just before the instant: the whole part (an unsigned shift).
[[nodiscard]] constexpr std::uint32_t timeIndex(std::uint32_t time) {
    return time >> kTimeFractionBits;
}
/// The instant's distance past timeIndex(time), 0 to 32767.
[[nodiscard]] constexpr std::uint32_t timePhase(std::uint32_t time) {
    return time & kTimePhaseMask;
}
/// The distance from the instant to the next input sample, 0 to 32767: the right wing's phase.
/// 0 when the instant falls on a sample (the right wing then starts one sample further out).
[[nodiscard]] constexpr std::uint32_t timeToNextSample(std::uint32_t time) {
    return (0u - time) & kTimePhaseMask;
}
/// count whole input-sample intervals in time-register units.
[[nodiscard]] constexpr std::uint32_t timeOfSamples(std::uint32_t count) {
    return count * kTimeOneSample;
}

static_assert(timeIndex(3 * kTimeOneSample + 5) == 3 && timePhase(3 * kTimeOneSample + 5) == 5);
static_assert(timeToNextSample(3 * kTimeOneSample + 5) == kTimeOneSample - 5);
static_assert(timeToNextSample(3 * kTimeOneSample) == 0);
// The working buffer is 4096 samples, and a run's history must stay below 2048, which allows
// factors down to 1 / 1019 (3 taps) and so steps below 2^25: an instant in the buffer plus a
// block plus a step stays far inside 32 bits.
static_assert(std::uint64_t{timeOfSamples(4096)} * 2 + (1u << 25) < (std::uint64_t{1} << 32));

// --- Table position (Q7) ---------------------------------------------------------------------

/// Fractional bits of a table position below the entry: the interpolation fraction.
inline constexpr int kTableFractionBits = 7;
/// The fraction bits of a table position.
inline constexpr std::uint32_t kTableFractionMask = (1u << kTableFractionBits) - 1;
/// Table entries per input-sample interval of the unstretched filter.
inline constexpr std::uint32_t kEntriesPerSample = 256;
static_assert(kEntriesPerSample << kTableFractionBits == kTimeOneSample,
              "an unstretched wing reads its table position straight from the phase");

/// The table entry at or below a position (an unsigned shift).
[[nodiscard]] constexpr std::uint32_t tableEntry(std::uint32_t position) {
    return position >> kTableFractionBits;
}
/// How far a position lies past its entry, in 1/128 of an entry: 0 to 127.
[[nodiscard]] constexpr std::int32_t tableFraction(std::uint32_t position) {
    return static_cast<std::int32_t>(position & kTableFractionMask);
}
/// The coefficient between entries: coefficient moved toward the next entry by fraction / 128 of
/// their difference. The shift floors a negative step (a falling slope) toward minus infinity;
/// meant: the output is specified with this floor.
[[nodiscard]] constexpr std::int32_t interpolateCoefficient(std::int32_t coefficient,
                                                            std::int32_t difference,
                                                            std::int32_t fraction) {
    return coefficient + ((difference * fraction) >> kTableFractionBits);
}
/// The position of a stretched wing's first entry: phase x coefficientStep / 2^15 (the step in
/// 1/128 of an entry per input sample, at most 32768). Unsigned; the shift truncates, which is
/// meant: the position is the entry at or below the stretched instant.
[[nodiscard]] constexpr std::uint32_t stretchedPosition(std::uint32_t phase,
                                                        std::uint32_t coefficientStep) {
    return (phase * coefficientStep) >> kTimeFractionBits;
}

static_assert(interpolateCoefficient(100, -3, 64) == 98, "-1.5 floors to -2");
static_assert(interpolateCoefficient(100, 3, 64) == 101, "1.5 floors to 1");
// phase (below 2^15) x coefficientStep (at most 2^15) stays below 2^30.
static_assert(std::uint64_t{kTimePhaseMask} * kTimeOneSample < (std::uint64_t{1} << 30));

// --- Products (Q14) --------------------------------------------------------------------------

/// Fractional bits of a coefficient: 16384 weighs a sample once.
inline constexpr int kProductFractionBits = 14;
/// Half of the last product bit that is dropped.
inline constexpr std::int32_t kProductHalf = 1 << (kProductFractionBits - 1);

/// round(coefficient x sample / 2^14), halves upward: the half is added, then the shift floors.
[[nodiscard]] constexpr std::int32_t roundedProductQ14(std::int32_t coefficient,
                                                       std::int32_t sample) {
    return (coefficient * sample + kProductHalf) >> kProductFractionBits;
}

static_assert(roundedProductQ14(1, 8192) == 1 && roundedProductQ14(1, 8191) == 0);
static_assert(roundedProductQ14(1, -8192) == 0 && roundedProductQ14(1, -8193) == -1);
// A table holds 16-bit coefficients and the design puts its peak at 32767, so a product and its
// rounding term stay within 32 bits for any 16-bit sample: |32767 x -32768| + 8192 < 2^31.
static_assert(std::int64_t{32767} * 32768 + kProductHalf <= INT32_MAX);

// --- Output scaling (Q13) --------------------------------------------------------------------

/// Bits the sum of the two wings is shifted down before the gain.
inline constexpr int kWingSumShift = 2;
/// Fractional bits of the gain: 8192 passes the quartered sum unchanged.
inline constexpr int kGainFractionBits = 13;
/// Half of the last bit the gain's shift drops.
inline constexpr std::int32_t kGainHalf = 1 << (kGainFractionBits - 1);

/// One output sample from its two wing sums: ((left + right) >> 2) x gain / 2^13, rounded with
/// halves upward, clamped to 16 bits. The first shift floors without rounding, which is meant:
/// the output is specified with it. The pinned test of the kernels shows that with the run
/// filter every intermediate stays within 32 bits.
[[nodiscard]] constexpr std::int16_t scaleOutputQ13(std::int32_t left, std::int32_t right,
                                                    std::int32_t gain) {
    const std::int32_t quartered = (left + right) >> kWingSumShift;
    const std::int32_t scaled = (quartered * gain + kGainHalf) >> kGainFractionBits;
    return static_cast<std::int16_t>(std::clamp(scaled, -32768, 32767));
}

static_assert(scaleOutputQ13(4, 0, 8192) == 1 && scaleOutputQ13(-1, 0, 8192) == -1);
static_assert(scaleOutputQ13(2, 0, 4096) == 0 && scaleOutputQ13(6, 0, 4096) == 1);
static_assert(scaleOutputQ13(1 << 16, 1 << 16, 16384) == 32767);
static_assert(scaleOutputQ13(-(1 << 16), -(1 << 16), 16384) == -32768);

}  // namespace zelvio
