// The level of a resampled tone and of everything else in the output, measured with a windowed
// DFT, in the manner of libsamplerate's SNR/bandwidth test.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zelvio::test_support {

/// A sine of amplitude at frequency (Hz) sampled count times at rate (Hz), rounded to 16 bits.
inline std::vector<std::int16_t> sineWave(double frequency, double rate, std::size_t count,
                                          double amplitude) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return samples;
}

/// In-place radix-2 FFT; the length must be a power of two.
inline void fft(std::vector<std::complex<double>>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(x[i], x[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> turn =
            std::polar(1.0, -2.0 * std::numbers::pi / static_cast<double>(length));
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> a = x[start + k];
                const std::complex<double> b = x[start + k + length / 2] * w;
                x[start + k] = a + b;
                x[start + k + length / 2] = a - b;
                w *= turn;
            }
        }
    }
}

/// The two levels of one measurement, in dB relative to the input tone's amplitude.
struct ToneLevels {
    double tone;   ///< the tone at its own frequency
    double other;  ///< the strongest DFT bin away from the tone: aliases, images and noise
};

/// Measures the middle power-of-two stretch of samples (at rate Hz) through a 4-term
/// Blackman-Harris window (side lobes below -92 dB): the tone's level, from the windowed sum at
/// exactly its frequency (so that it does not depend on where the tone falls between bins), and
/// the highest DFT bin more than guardBins bins from it. A tone above half the rate has no level
/// of its own; its tone reads -inf and every bin counts as other.
inline ToneLevels toneLevels(const std::vector<std::int16_t>& samples, double rate,
                             double frequency, double amplitude, std::size_t guardBins = 8) {
    const std::size_t n = std::bit_floor(samples.size());
    std::vector<std::complex<double>> x(n);
    std::complex<double> atTone = 0.0;
    double windowSum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        const double w =
            0.35875 - 0.48829 * std::cos(r) + 0.14128 * std::cos(2 * r) - 0.01168 * std::cos(3 * r);
        windowSum += w;
        x[i] = w * samples[(samples.size() - n) / 2 + i];
        atTone += x[i] * std::polar(1.0, -2.0 * std::numbers::pi * frequency *
                                             static_cast<double>(i) / rate);
    }
    fft(x);
    const auto levelDb = [&](std::size_t bin) {
        // A sine of amplitude A at a bin's centre reads A x windowSum / 2 there.
        const double magnitude = std::abs(x[bin]) * 2.0 / windowSum;
        return 20.0 * std::log10(std::max(magnitude, 1e-12) / amplitude);
    };
    const double binHz = rate / static_cast<double>(n);
    const bool inBand = frequency < rate / 2;
    const auto toneBin = static_cast<std::ptrdiff_t>(std::lround(frequency / binHz));
    ToneLevels levels{-INFINITY, -INFINITY};
    if (inBand) {
        levels.tone = 20.0 * std::log10(std::abs(atTone) * 2.0 / windowSum / amplitude);
    }
    for (std::size_t bin = 1; bin < n / 2; ++bin) {
        const std::ptrdiff_t distance = std::abs(static_cast<std::ptrdiff_t>(bin) - toneBin);
        if (!inBand || distance > static_cast<std::ptrdiff_t>(guardBins)) {
            levels.other = std::max(levels.other, levelDb(bin));
        }
    }
    return levels;
}

}  // namespace zelvio::test_support
