// Shared by the resampler tests: the filter a conversion runs on (65 taps, roll-off 0.97, beta
// 9.0), designed once, and reproducible noise.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "resample/lowpass_filter.h"

namespace zelvio::test_support {

inline const LowpassFilter& designedFilter() {
    static const LowpassFilter filter = [] {
        LowpassFilter f;
        f.tapCount = 65;
        f.wingLength = 8192;
        f.coefficients.resize(8192);
        f.differences.resize(8192);
        EXPECT_EQ(designLowpassFilter(f.coefficients, f.differences, f.gain, 8192, 0.97, 9.0),
                  kDesignOk);
        return f;
    }();
    return filter;
}

// `count` samples uniform in -amplitude..amplitude from a generator seeded with `seed`.
inline std::vector<std::int16_t> noise(std::size_t count, unsigned seed, int amplitude = 30000) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-amplitude, amplitude);
    std::vector<std::int16_t> samples(count);
    for (auto& s : samples) {
        s = static_cast<std::int16_t>(sample(random));
    }
    return samples;
}

}  // namespace zelvio::test_support
