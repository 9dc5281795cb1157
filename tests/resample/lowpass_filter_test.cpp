#include "resample/lowpass_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace zelvio {
namespace {

struct Design {
    DesignStatus status;
    std::vector<std::int16_t> coefficients;
    std::vector<std::int16_t> differences;
    std::uint16_t gain;
};

Design design(std::uint16_t wingLength, double rollOff, double beta) {
    Design d{0, std::vector<std::int16_t>(wingLength), std::vector<std::int16_t>(wingLength), 0};
    d.status =
        designLowpassFilter(d.coefficients, d.differences, d.gain, wingLength, rollOff, beta);
    return d;
}

TEST(BesselI0, MatchesTabulatedValuesAndStopsOnValuesTooLargeToRepresent) {
    EXPECT_EQ(besselI0(0.0), 1.0);
    EXPECT_DOUBLE_EQ(besselI0(1.0), 1.2660658777520082);
    EXPECT_DOUBLE_EQ(besselI0(9.0), 1093.5883545113745);
    EXPECT_EQ(besselI0(1e6), HUGE_VAL);
    EXPECT_EQ(besselI0(-HUGE_VAL), HUGE_VAL);
}

TEST(WindowedSinc, EndsOnTheWindowFloorRatherThanZero) {
    std::vector<double> wing(2);
    windowedSinc(wing, 0.485, 9.0, 256);
    EXPECT_DOUBLE_EQ(wing[0], 0.97);
    const double t = kDesignPi / 256;
    EXPECT_DOUBLE_EQ(wing[1], std::sin(t * 0.97) / t / besselI0(9.0));
}

struct DesignCase {
    const char* name;
    std::uint16_t wingLength;
    double rollOff;
    std::uint16_t gain;
    std::vector<std::int16_t> firstCoefficients;
    std::int16_t coefficient256;
};

TEST(DesignLowpassFilter, ProducesTheTabulatedGainsAndCoefficients) {
    const DesignCase cases[] = {
        {"designed run filter", 8192, 0.97, 15892, {32767, 32766, 32764, 32760}, 1008},
        {"large built-in", 8192, 0.90, 14746, {32767, 32766, 32764, 32761, 32756, 32750}, 3566},
        {"small built-in", 1536, 0.90, 14744, {32767, 32766, 32764, 32760, 32755, 32749}, 3180},
        {"centre-only DC gain", 256, 0.97, 16384, {32767}, 0},
    };
    for (const DesignCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Design d = design(c.wingLength, c.rollOff, 9.0);
        ASSERT_EQ(d.status, kDesignOk);
        EXPECT_EQ(d.gain, c.gain);
        const std::vector<std::int16_t> begin(d.coefficients.begin(),
                                              d.coefficients.begin() + c.firstCoefficients.size());
        EXPECT_EQ(begin, c.firstCoefficients);
        if (c.wingLength > 256) {
            EXPECT_EQ(d.coefficients[256], c.coefficient256);
        }
    }
}

TEST(DesignLowpassFilter, DesignedRunFilterHasTheKnownShapeAndDifferences) {
    const Design d = design(8192, 0.97, 9.0);
    ASSERT_EQ(d.status, kDesignOk);
    EXPECT_EQ(d.coefficients[512], -990);
    EXPECT_EQ(d.coefficients[8190], 0);
    EXPECT_EQ(d.coefficients[8191], 0);
    EXPECT_EQ(std::vector<std::int16_t>(d.differences.begin(), d.differences.begin() + 4),
              (std::vector<std::int16_t>{-1, -2, -4, -5}));
    // Each difference leads to the next entry; the last one steps down to an implied 0.
    for (std::size_t i = 0; i + 1 < d.coefficients.size(); ++i) {
        ASSERT_EQ(d.coefficients[i] + d.differences[i], d.coefficients[i + 1]) << "entry " << i;
    }
    EXPECT_EQ(d.coefficients.back() + d.differences.back(), 0);
}

TEST(DesignLowpassFilter, AcceptsFullRollOffWhichPutsZerosOnEveryWholeSampleButTheCentre) {
    const Design d = design(8192, 1.0, 9.0);
    ASSERT_EQ(d.status, kDesignOk);
    EXPECT_EQ(d.gain, 16384);
    EXPECT_EQ(d.coefficients[0], 32767);
    for (std::size_t i = 256; i < d.coefficients.size(); i += 256) {
        EXPECT_EQ(d.coefficients[i], 0) << "entry " << i;
    }
    EXPECT_EQ(design(8192, 1.0, 1.0).status, kDesignOk);  // the boundary beta
}

TEST(DesignLowpassFilter, TwoEntryWingKeepsTheWindowFloor) {
    const Design d = design(2, 0.97, 9.0);
    ASSERT_EQ(d.status, kDesignOk);
    EXPECT_EQ(d.coefficients, (std::vector<std::int16_t>{32767, 30}));
    EXPECT_EQ(d.differences, (std::vector<std::int16_t>{-32737, -30}));
}

TEST(DesignLowpassFilter, RefusesBadParametersWithoutWritingAnything) {
    struct Case {
        const char* name;
        std::uint16_t wingLength;
        double rollOff;
        double beta;
        DesignStatus status;
        std::size_t tableLength = 8193;
    };
    const Case cases[] = {
        {"wing above 8192", 8193, 0.97, 9.0, kDesignBadWingLength},
        {"empty wing", 0, 0.97, 9.0, kDesignBadWingLength},
        {"roll-off 0", 8192, 0.0, 9.0, kDesignBadRollOff},
        {"roll-off above 1", 8192, 1.01, 9.0, kDesignBadRollOff},
        {"roll-off NaN", 8192, std::nan(""), 9.0, kDesignBadRollOff},
        {"beta below 1", 8192, 0.97, 0.99, kDesignBadBeta},
        {"beta NaN", 8192, 0.97, std::nan(""), kDesignBadBeta},
        {"window beyond double range", 8192, 0.97, 1000.0, kDesignGainTooLarge},
        {"tables shorter than the wing", 101, 0.97, 9.0, kDesignBadWingLength, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::int16_t> untouched(c.tableLength, 77);
        std::vector<std::int16_t> coefficients = untouched, differences = untouched;
        std::uint16_t gain = 77;
        EXPECT_EQ(
            designLowpassFilter(coefficients, differences, gain, c.wingLength, c.rollOff, c.beta),
            c.status);
        EXPECT_EQ(gain, 77);
        EXPECT_EQ(coefficients, untouched);
        EXPECT_EQ(differences, untouched);
    }
}

TEST(BuiltInFilters, AreTheDesignsTheyAreNamedAfter) {
    struct Case {
        const char* name;
        const LowpassFilter& filter;
        std::uint16_t tapCount;
        std::uint16_t wingLength;
        std::uint16_t gain;
    };
    const Case cases[] = {
        {"large", largeBuiltInFilter(), 65, 8192, 14746},
        {"small", smallBuiltInFilter(), 13, 1536, 13128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Design d = design(c.wingLength, 0.90, 9.0);
        EXPECT_EQ(c.filter.tapCount, c.tapCount);
        EXPECT_EQ(c.filter.wingLength, c.wingLength);
        EXPECT_EQ(c.filter.gain, c.gain);
        EXPECT_EQ(c.filter.coefficients, d.coefficients);
        EXPECT_EQ(c.filter.differences, d.differences);
    }
}

}  // namespace
}  // namespace zelvio
