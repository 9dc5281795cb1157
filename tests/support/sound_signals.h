// Test sounds at 10000 Hz, made from a seed so that every run gets the same samples: speech-like
// phrases (with or without pauses), music, a sine sweep, a full-scale square wave, white noise and
// silence. For coder tests and the quality bench; header-only.
//
//     const auto speech = speechLike({.seed = 1, .seconds = 12, .pauses = true});
//
// Randomness comes from a small xorshift generator, not from the standard distributions, whose
// results differ between standard libraries.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zelvio::test_support {

using Sound = std::vector<std::int16_t>;

inline constexpr double kSoundRate = 10000.0;

class SoundRandom {
  public:
    explicit SoundRandom(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    double unit() { return static_cast<double>(next() >> 8) / 16777216.0; }  // [0, 1)
    double symmetric() { return 2.0 * unit() - 1.0; }                        // [-1, 1)

  private:
    std::uint32_t state_;
};

// A two-pole resonance with unit gain at 0 Hz.
class Resonator {
  public:
    void tune(double frequency, double bandwidth) {
        const double radius = std::exp(-std::numbers::pi * bandwidth / kSoundRate);
        a1_ = 2.0 * radius * std::cos(2.0 * std::numbers::pi * frequency / kSoundRate);
        a2_ = -radius * radius;
        gain_ = 1.0 - a1_ - a2_;
    }
    double run(double x) {
        const double y = gain_ * x + a1_ * y1_ + a2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    double a1_ = 0, a2_ = 0, gain_ = 1, y1_ = 0, y2_ = 0;
};

// Scales to the given peak and rounds to 16 bits, adding noise of at most +/-floor.
inline Sound toSound(const std::vector<double>& y, double peak, double floor, std::uint32_t seed) {
    double largest = 0;
    for (const double v : y) {
        largest = std::max(largest, std::abs(v));
    }
    SoundRandom random(seed);
    Sound out(y.size());
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double v = (largest > 0 ? y[i] / largest * peak : 0.0) + floor * random.symmetric();
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return out;
}

struct SpeechOptions {
    std::uint32_t seed = 1;
    double seconds = 10;
    bool pauses = false;  // 0.3 to 0.9 s of near silence between phrases
    double pitch = 120;   // Hz at the start of a phrase
    double peak = 22000;
};

// Syllables of a vowel, sometimes after a hiss or a burst: a Rosenberg glottal pulse train whose
// pitch falls over each phrase and wobbles a little, through three formants that glide towards
// each vowel's targets and a fixed fourth; phrases of three to eight syllables.
inline Sound speechLike(const SpeechOptions& options) {
    static constexpr double kVowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240},
                                            {530, 1840, 2480}, {570, 840, 2410},  {660, 1720, 2410},
                                            {440, 1020, 2240}, {490, 1350, 1690}};
    const auto n = static_cast<std::size_t>(options.seconds * kSoundRate);
    std::vector<double> y(n, 0.0);
    SoundRandom random(options.seed);
    Resonator formants[4];
    Resonator hiss;
    double formant[3] = {500, 1500, 2500};
    double target[3] = {500, 1500, 2500};
    double phase = 0;
    double lastFlow = 0;
    double phraseStart = 0;
    int syllable = 0;
    int phraseLength = 3 + static_cast<int>(random.next() % 5);
    std::size_t i = 0;
    while (i < n) {
        const auto& vowel = kVowels[random.next() % 8];
        for (int k = 0; k < 3; ++k) {
            target[k] = vowel[k] * (0.92 + 0.16 * random.unit());
        }
        const std::uint32_t consonant = random.next() % 4;  // none, "s", "sh", a burst
        const std::size_t consonantLength = consonant == 0   ? 0
                                            : consonant == 3 ? 150 + random.next() % 150
                                                             : 500 + random.next() % 700;
        const std::size_t vowelLength = 900 + random.next() % 1800;
        const double loudness = 0.5 + 0.5 * random.unit();
        const double accent = 1.0 + 0.15 * random.symmetric();
        hiss.tune(consonant == 1 ? 4000 : 2600, consonant == 1 ? 1200 : 900);
        for (std::size_t j = 0; j < consonantLength && i < n; ++j, ++i) {
            const double envelope = std::min(1.0, static_cast<double>(j) / 80.0) *
                                    std::min(1.0, static_cast<double>(consonantLength - j) / 80.0);
            const double burst = consonant == 3 ? (j < 60 ? 4.5 : 0.9) : 1.0;
            y[i] = 0.06 * loudness * envelope * burst * hiss.run(random.symmetric());
        }
        for (std::size_t j = 0; j < vowelLength && i < n; ++j, ++i) {
            for (int k = 0; k < 3; ++k) {
                formant[k] += (target[k] - formant[k]) * 0.004;
            }
            formants[0].tune(formant[0], 70 + formant[0] * 0.05);
            formants[1].tune(formant[1], 100);
            formants[2].tune(formant[2], 160);
            formants[3].tune(3500, 300);
            const double t = static_cast<double>(i) / kSoundRate;
            const double pitch =
                options.pitch * accent * (1.1 - 0.08 * (t - phraseStart)) *
                (1.0 + 0.05 * std::sin(2 * std::numbers::pi * 3.1 * t) + 0.01 * random.symmetric());
            phase += pitch / kSoundRate;
            if (phase >= 1) {
                phase -= 1;
            }
            // Glottal flow: opens over 40 % of the period, closes over 16 %; its slope excites
            // the formants.
            double flow = 0;
            if (phase < 0.4) {
                flow = 0.5 * (1 - std::cos(std::numbers::pi * phase / 0.4));
            } else if (phase < 0.56) {
                flow = std::cos(std::numbers::pi * (phase - 0.4) / 0.32);
            }
            flow += 0.03 * random.symmetric();
            double s = flow - lastFlow;
            lastFlow = flow;
            for (Resonator& r : formants) {
                s = r.run(s);
            }
            const double envelope = std::min(1.0, static_cast<double>(j) / 150.0) *
                                    std::min(1.0, static_cast<double>(vowelLength - j) / 300.0);
            y[i] = 6.0 * loudness * envelope * s;
        }
        if (random.next() % 3 == 0) {
            i += 200 + random.next() % 600;  // a gap between words
        }
        if (++syllable >= phraseLength) {
            syllable = 0;
            phraseLength = 3 + static_cast<int>(random.next() % 6);
            i += options.pauses ? 3000 + random.next() % 6000 : 400 + random.next() % 800;
            phraseStart = static_cast<double>(i) / kSoundRate;
        }
    }
    return toSound(y, options.peak, 3.0, options.seed + 99);
}

// Plucked notes of a scale with decaying harmonics, a bass note every half second and a short
// hiss on every other beat.
inline Sound music(std::uint32_t seed, double seconds, double peak = 24000) {
    static constexpr double kScale[] = {0, 2, 4, 5, 7, 9, 11, 12};
    const auto n = static_cast<std::size_t>(seconds * kSoundRate);
    std::vector<double> y(n, 0.0);
    SoundRandom random(seed);
    constexpr double kBeat = 0.25;
    const auto beats = static_cast<int>(seconds / kBeat);
    for (int beat = 0; beat < beats; ++beat) {
        const auto start = static_cast<std::size_t>(beat * kBeat * kSoundRate);
        if (random.next() % 4 != 0) {
            const double f = 392 * std::pow(2.0, kScale[random.next() % 8] / 12.0);
            const double decay = 3 + 3 * random.unit();
            for (std::size_t j = 0; j < static_cast<std::size_t>(1.2 * kSoundRate) && start + j < n;
                 ++j) {
                const double t = static_cast<double>(j) / kSoundRate;
                double v = 0;
                for (int h = 1; h <= 8 && f * h <= 4800; ++h) {
                    v += std::sin(2 * std::numbers::pi * f * h * t * (1 + 0.0004 * h * h)) *
                         std::exp(-t * decay * h * 0.7) / h;
                }
                y[start + j] += 0.5 * std::min(1.0, t * 300) * v;
            }
        }
        if (beat % 2 == 0) {
            const double f = 98 * std::pow(2.0, kScale[random.next() % 5] / 12.0);
            for (std::size_t j = 0; j < static_cast<std::size_t>(0.5 * kSoundRate) && start + j < n;
                 ++j) {
                const double t = static_cast<double>(j) / kSoundRate;
                y[start + j] += 0.45 * std::min(1.0, t * 200) * std::exp(-t * 4) *
                                (std::sin(2 * std::numbers::pi * f * t) +
                                 0.3 * std::sin(4 * std::numbers::pi * f * t));
            }
        } else {
            Resonator hiss;
            hiss.tune(4200, 1500);
            for (std::size_t j = 0; j < 400 && start + j < n; ++j) {
                y[start + j] +=
                    0.5 * std::exp(-static_cast<double>(j) / 60.0) * hiss.run(random.symmetric());
            }
        }
    }
    return toSound(y, peak, 0.0, seed);
}

// A sine gliding exponentially from one frequency to another.
inline Sound sineSweep(double seconds, double fromHz, double toHz, double amplitude) {
    const auto n = static_cast<std::size_t>(seconds * kSoundRate);
    Sound out(n);
    const double rate = std::log(toHz / fromHz) / seconds;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSoundRate;
        const double phase = 2 * std::numbers::pi * fromHz * (std::exp(rate * t) - 1) / rate;
        out[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return out;
}

// Alternating -32768 and 32767, each for halfPeriod samples.
inline Sound fullScaleSquare(double seconds, std::size_t halfPeriod) {
    Sound out(static_cast<std::size_t>(seconds * kSoundRate));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = (i / halfPeriod) % 2 == 0 ? std::int16_t{32767} : std::int16_t{-32768};
    }
    return out;
}

// Uniform noise of at most +/-amplitude (65535 for the whole 16-bit range).
inline Sound whiteNoise(std::uint32_t seed, double seconds, std::uint32_t amplitude) {
    SoundRandom random(seed);
    Sound out(static_cast<std::size_t>(seconds * kSoundRate));
    for (std::int16_t& s : out) {
        const auto v = static_cast<std::int32_t>(random.next() % (2 * amplitude + 1)) -
                       static_cast<std::int32_t>(amplitude);
        s = static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
    }
    return out;
}

inline Sound silence(double seconds) {
    return Sound(static_cast<std::size_t>(seconds * kSoundRate), 0);
}

}  // namespace zelvio::test_support
