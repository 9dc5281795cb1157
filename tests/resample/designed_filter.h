// The filter a conversion runs on (65 taps, roll-off 0.97, beta 9.0), designed once for the tests.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace zelvio::test_support
