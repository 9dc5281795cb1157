#include "resample/lowpass_filter.h"

#include <cmath>
#include <cstddef>

namespace zelvio {

namespace {

constexpr double kFullScale = 32767.0;
// 2^29: the net scale of the kernels is gain / 2^29 applied to the sum of coefficient x sample.
constexpr double kGainNumerator = 536870912.0;
constexpr double kBesselStop = 1e-21;

LowpassFilter makeBuiltInFilter(std::uint16_t tapCount, std::uint16_t fixedGain) {
    LowpassFilter filter;
    filter.tapCount = tapCount;
    filter.wingLength = static_cast<std::uint16_t>((tapCount - 1) * 128);
    filter.coefficients.resize(filter.wingLength);
    filter.differences.resize(filter.wingLength);
    // Roll-off 0.90 and beta 9.0 are well inside every check of the design, so it cannot fail.
    const DesignStatus status = designLowpassFilter(filter.coefficients, filter.differences,
                                                    filter.gain, filter.wingLength, 0.90, 9.0);
    static_cast<void>(status);
    if (fixedGain != 0) {
        filter.gain = fixedGain;
    }
    return filter;
}

}  // namespace

const char* designStatusText(DesignStatus status) {
    switch (status) {
        case kDesignOk:
            return "success";
        case kDesignBadWingLength:
            return "wing length out of range";
        case kDesignBadRollOff:
            return "roll-off out of range";
        case kDesignBadBeta:
            return "Kaiser beta below 1";
        case kDesignGainTooLarge:
            return "gain too large";
        default:
            return "unknown status";
    }
}

double besselI0(double x) {
    if (!std::isfinite(x)) {
        return std::fabs(x);  // I0 grows without bound; a NaN stays a NaN
    }
    double sum = 1.0;
    double term = 1.0;
    const double u = x * 0.5;
    for (int n = 1;; ++n) {
        const double q = u / n;
        term = term * (q * q);
        sum = sum + term;
        // The stopping test uses the sum that already includes this term. An overflowing series
        // (x beyond about 713) stops at infinity instead of running on.
        if (term < sum * kBesselStop || std::isinf(sum)) {
            return sum;
        }
    }
}

void windowedSinc(std::span<double> out, double cutoff, double beta, int phasesPerCrossing) {
    const std::size_t count = out.size();
    if (count == 0) {
        return;
    }
    out[0] = 2.0 * cutoff;
    for (std::size_t i = 1; i < count; ++i) {
        // sin(2 pi fc x) / (pi x) at x = i / phasesPerCrossing input samples.
        const double t = (kDesignPi * static_cast<double>(i)) / phasesPerCrossing;
        out[i] = std::sin(t * cutoff * 2.0) / t;
    }
    if (count == 1) {
        return;
    }
    const double inverseI0Beta = 1.0 / besselI0(beta);
    const double step = 1.0 / static_cast<double>(count - 1);
    for (std::size_t i = 1; i < count; ++i) {
        const double r = static_cast<double>(i) * step;
        out[i] = out[i] * besselI0(beta * std::sqrt(1.0 - r * r)) * inverseI0Beta;
    }
}

DesignStatus designLowpassFilter(std::span<std::int16_t> coefficients,
                                 std::span<std::int16_t> differences, std::uint16_t& gain,
                                 std::uint16_t wingLength, double rollOff, double beta) {
    if (wingLength == 0 || wingLength > kMaxWingLength || coefficients.size() < wingLength ||
        differences.size() < wingLength) {
        return kDesignBadWingLength;
    }
    if (!(rollOff > 0.0 && rollOff <= 1.0)) {  // written so that a NaN is refused too
        return kDesignBadRollOff;
    }
    if (!(beta >= 1.0)) {
        return kDesignBadBeta;
    }

    std::vector<double> wing(wingLength);
    windowedSinc(wing, rollOff * 0.5, beta, kPhasesPerCrossing);

    // DC gain: the windowed filter summed over every whole-sample offset on both sides.
    double sideSum = 0.0;
    for (std::size_t i = kPhasesPerCrossing; i < wingLength; i += kPhasesPerCrossing) {
        sideSum += wing[i];
    }
    const double dcGain = (sideSum + sideSum) + wing[0];

    double peak = 0.0;
    for (const double value : wing) {
        peak = std::fmax(peak, std::fabs(value));
    }
    double scale = kFullScale / peak;

    // The gain that brings a filtered constant back to its own level, given the quantised scale.
    const double exactGain = std::fabs(kGainNumerator / (scale * dcGain));
    if (!(exactGain < 65536.0)) {
        return kDesignGainTooLarge;
    }
    gain = static_cast<std::uint16_t>(exactGain);

    if (wing[0] < 0.0) {
        scale = -scale;  // the centre coefficient always comes out positive
    }
    // Rounding is "add a half, then truncate toward zero": negative values move toward zero
    // (-2.7 becomes -2, -2.3 becomes -1), which the built-in tables depend on.
    for (std::size_t i = 0; i < wingLength; ++i) {
        coefficients[i] = static_cast<std::int16_t>(std::trunc(wing[i] * scale + 0.5));
    }
    for (std::size_t i = 0; i + 1 < wingLength; ++i) {
        differences[i] = static_cast<std::int16_t>(coefficients[i + 1] - coefficients[i]);
    }
    differences[wingLength - 1] = static_cast<std::int16_t>(-coefficients[wingLength - 1]);
    return kDesignOk;
}

const LowpassFilter& largeBuiltInFilter() {
    static const LowpassFilter filter = makeBuiltInFilter(65, 0);
    return filter;
}

const LowpassFilter& smallBuiltInFilter() {
    static const LowpassFilter filter = makeBuiltInFilter(13, 13128);
    return filter;
}

}  // namespace zelvio
