// make_test_signal OUTPUT.wav [--rate HZ] [--channels 1|2] [--seconds S] [--seed N]
//
// Writes a deterministic 16-bit PCM WAVE file of speech-like and music-like stretches, the input
// the comparison benchmarks convert (bench/compare). The same arguments always give the same
// bytes, on any host.
//
// Every 30 seconds: 18 s of "speech" (a glottal pulse train with a wandering pitch through three
// formant resonators whose targets change every syllable, syllable envelopes and pauses of 0.2 to
// 0.9 s), then 12 s of "music" (three-note chords of decaying partials). A little noise sits under
// everything, so that pauses are quiet but not digital silence. Stereo files pan the voice slightly
// left and the music slightly right.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small linear congruential generator: the same sequence everywhere.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_;
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 8) / 16777216.0; }
    // Uniform in [low, high).
    double between(double low, double high) { return low + (high - low) * uniform(); }

  private:
    std::uint32_t state_;
};

// A two-pole resonator: one formant.
class Resonator {
  public:
    void tune(double frequency, double bandwidth, double rate) {
        const double r = std::exp(-kPi * bandwidth / rate);
        a1_ = 2.0 * r * std::cos(2.0 * kPi * frequency / rate);
        a2_ = -r * r;
        gain_ = 1.0 - r;
    }
    double step(double x) {
        const double y = gain_ * x + a1_ * y1_ + a2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    double a1_ = 0, a2_ = 0, gain_ = 0, y1_ = 0, y2_ = 0;
};

struct Vowel {
    double f1, f2, f3;
};
constexpr Vowel kVowels[] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                             {570, 840, 2410},  {440, 1020, 2240}, {300, 870, 2240},
                             {660, 1720, 2410}, {490, 1350, 1690}};

void putLe16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    putLe16(out, value & 0xFFFF);
    putLe16(out, value >> 16);
}

std::int16_t toSample(double value) {
    const double rounded = std::floor(value + 0.5);
    return static_cast<std::int16_t>(rounded > 32767.0    ? 32767.0
                                     : rounded < -32768.0 ? -32768.0
                                                          : rounded);
}

int usage() {
    std::fprintf(stderr,
                 "usage: make_test_signal OUTPUT.wav [--rate HZ] [--channels 1|2] [--seconds S] "
                 "[--seed N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output;
    std::uint32_t rate = 44100;
    std::uint32_t channels = 2;
    double seconds = 600;
    std::uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rate" && hasValue) {
            rate = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--channels" && hasValue) {
            channels = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--seed" && hasValue) {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return usage();
        }
    }
    const auto frames = static_cast<std::uint64_t>(seconds * rate);
    const std::uint64_t dataBytes = frames * channels * 2;
    if (output.empty() || rate < 1000 || rate > 400000 || (channels != 1 && channels != 2) ||
        !(seconds > 0) || dataBytes > 0xFFFFFFFFull - 36) {
        return usage();
    }

    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_test_signal: cannot create %s\n", output.c_str());
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    putLe32(bytes, static_cast<std::uint32_t>(36 + dataBytes));
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe32(bytes, 16);
    putLe16(bytes, 1);
    putLe16(bytes, channels);
    putLe32(bytes, rate);
    putLe32(bytes, rate * channels * 2);
    putLe16(bytes, channels * 2);
    putLe16(bytes, 16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    putLe32(bytes, static_cast<std::uint32_t>(dataBytes));

    Random random(seed);
    Resonator formants[3];
    // Speech state: the current syllable (or pause) and its length.
    double syllableLeft = 0;
    bool inPause = true;
    double pitch = 120, pitchTarget = 120, glottalPhase = 0, syllableTime = 0, syllableLength = 1;
    // Music state: the current chord.
    double chord[3] = {220, 277.18, 329.63};
    double chordTime = 0;
    bool wasSpeech = true;
    double partialPhase[3][4] = {};
    const double dt = 1.0 / rate;

    for (std::uint64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) * dt;
        const bool speech = std::fmod(t, 30.0) < 18.0;
        double voice = 0, music = 0;
        if (speech) {
            if (syllableLeft <= 0) {
                inPause = !inPause && random.uniform() < 0.25;
                syllableLength = inPause ? random.between(0.2, 0.9) : random.between(0.12, 0.35);
                syllableLeft = syllableLength;
                syllableTime = 0;
                if (!inPause) {
                    const Vowel& v = kVowels[random.next() % 8];
                    formants[0].tune(v.f1, 80, rate);
                    formants[1].tune(v.f2, 100, rate);
                    formants[2].tune(v.f3, 140, rate);
                    pitchTarget = random.between(95, 210);
                }
            }
            syllableLeft -= dt;
            syllableTime += dt;
            pitch += (pitchTarget - pitch) * 0.0005;
            glottalPhase += pitch * dt;
            double excitation = 0;
            if (glottalPhase >= 1.0) {
                glottalPhase -= 1.0;
                excitation = 1.0;
            }
            excitation += 0.02 * (random.uniform() - 0.5);  // breath
            const double x = inPause ? 0.0 : excitation;
            const double shaped =
                formants[0].step(x) * 1.0 + formants[1].step(x) * 0.6 + formants[2].step(x) * 0.3;
            const double envelope =
                inPause ? 0.0 : std::sin(kPi * std::fmin(syllableTime / syllableLength, 1.0));
            voice = 60000.0 * envelope * shaped;
        } else {
            chordTime += dt;
            if (chordTime >= 1.5 || wasSpeech) {
                chordTime = 0;
                const double root = 110.0 * std::pow(2.0, (random.next() % 24) / 12.0);
                chord[0] = root;
                chord[1] = root * std::pow(2.0, (3 + random.next() % 2) / 12.0);
                chord[2] = root * 1.4983;
            }
            const double decay = std::exp(-2.0 * chordTime) * std::fmin(chordTime * 100, 1.0);
            for (int n = 0; n < 3; ++n) {
                for (int k = 0; k < 4; ++k) {
                    partialPhase[n][k] += chord[n] * (k + 1) * dt;
                    partialPhase[n][k] -= std::floor(partialPhase[n][k]);
                    music += decay * 2200.0 / (k + 1) * std::sin(2 * kPi * partialPhase[n][k]);
                }
            }
        }
        wasSpeech = speech;
        const double noise = 40.0 * (random.uniform() - 0.5);
        if (channels == 1) {
            putLe16(bytes, static_cast<std::uint16_t>(toSample(voice + music + noise)));
        } else {
            putLe16(bytes, static_cast<std::uint16_t>(toSample(0.9 * voice + 0.7 * music + noise)));
            putLe16(bytes, static_cast<std::uint16_t>(toSample(0.7 * voice + 0.9 * music - noise)));
        }
        if (bytes.size() >= (1u << 16)) {
            if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
                break;
            }
            bytes.clear();
        }
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make_test_signal: cannot write %s\n", output.c_str());
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
