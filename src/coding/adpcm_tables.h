#pragma once
// The two constant tables of IMA ADPCM that the frame coders read: the step sizes and the step
// index adjustments. Shared, read-only, usable in constant expressions.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelvio {

/// Number of entries in kAdpcmStepSizes; valid step indices are 0 to kAdpcmMaxStepIndex.
inline constexpr std::size_t kAdpcmStepCount = 89;
/// Largest step index.
inline constexpr std::int16_t kAdpcmMaxStepIndex = 88;

/// The IMA ADPCM step sizes, ascending from 7 to 32767, each about 1.1 times the one before.
/// Indexed by the coder's step index (0 to 88).
inline constexpr std::array<std::int16_t, kAdpcmStepCount> kAdpcmStepSizes = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

/// The IMA ADPCM step index adjustments, indexed by a code in 4-bit form (sign in bit 3, the
/// magnitude bits below it). The second half repeats the first: the sign never changes the
/// adjustment.
inline constexpr std::array<std::int8_t, 16> kAdpcmIndexAdjustments = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                                       -1, -1, -1, -1, 2, 4, 6, 8};

namespace adpcm_tables_checks {
constexpr bool stepsAscend() {
    for (std::size_t i = 1; i < kAdpcmStepSizes.size(); ++i) {
        if (kAdpcmStepSizes[i] <= kAdpcmStepSizes[i - 1]) {
            return false;
        }
    }
    return true;
}
static_assert(stepsAscend());
static_assert(kAdpcmStepSizes.front() == 7 && kAdpcmStepSizes.back() == 32767);
static_assert(kAdpcmStepSizes[8] == 16 && kAdpcmStepSizes[16] == 34 && kAdpcmStepSizes[24] == 73);
static_assert(kAdpcmStepSizes[87] == 29794);
static_assert(kAdpcmStepSizes.size() == static_cast<std::size_t>(kAdpcmMaxStepIndex) + 1);
}  // namespace adpcm_tables_checks

}  // namespace zelvio
