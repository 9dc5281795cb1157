// search_quality [--no-speed]
//
// How much closer the search encoder's sound is than the greedy encoder's, and what it costs.
// Codes deterministic test sounds at 10000 Hz (speech, speech with pauses, music) Frame by Frame
// with both encoders at 4, 3 and 2 bits, decodes them with the decoder the handheld uses, and
// prints Markdown tables:
//
// 1. SNR and segmental SNR (mean of per-Frame SNRs held to -10..35 dB) of greedy and search
//    coding at the default paths, per sound and width, with the mean gain on speech;
// 2. for several path counts: the mean SNR and segmental SNR gain on speech and the encoding
//    time per hour of audio on one core (thread CPU time, so other work on the machine matters
//    less; --no-speed leaves the times out, and the output is then the same on every run).
//
// Every Frame is coded as audio (no silence detection), as the job does with detection off.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "coding/adpcm.h"
#include "coding/search_encoder.h"
#include "pdb/stream_format.h"
#include "resample/resampler.h"
#include "support/sound_signals.h"
#include "wave/wave_file.h"

namespace {

using zelvio::test_support::Sound;

constexpr std::int16_t kFrame = 200;
constexpr std::int16_t kWidths[] = {4, 3, 2};

enum class Kind { kSpeech, kPauses, kMusic };

struct TestSound {
    std::string name;
    Kind kind;
    Sound samples;  // whole Frames at 10000 Hz
};

// A WAVE file as 10000 Hz mono, stereo mixed to the floor of the mean and other rates taken
// there by our resampler, the way the converter takes it.
Sound readAt10kHz(const char* path) {
    zelvio::WaveFile wave;
    if (wave.open(path) != zelvio::kWaveOk) {
        return {};
    }
    std::vector<zelvio::SampleFrame> frames(static_cast<std::size_t>(wave.sampleFrameCount()));
    if (frames.empty() || wave.readSamples(static_cast<std::int64_t>(frames.size()),
                                           frames.data()) != zelvio::kWaveOk) {
        return {};
    }
    Sound mono;
    for (const zelvio::SampleFrame& frame : frames) {
        mono.push_back(wave.channels() == 2
                           ? static_cast<std::int16_t>((frame.left + frame.right) >> 1)
                           : frame.left);
    }
    Sound out = mono;
    if (wave.sampleRate() != zelvio::kStreamSampleRate) {
        const double factor = double{zelvio::kStreamSampleRate} / wave.sampleRate();
        zelvio::MemoryMonoSource source(mono);
        zelvio::MemoryMonoSink sink;
        const auto count = static_cast<std::int64_t>(mono.size());
        if (zelvio::resampleFile(factor, source, sink, count,
                                 static_cast<std::int64_t>(static_cast<double>(count) * factor) + 1)
                .status != zelvio::kResampleOk) {
            return {};
        }
        out = sink.samples();
    }
    out.resize(out.size() / kFrame * kFrame);
    return out;
}

std::vector<TestSound> testSounds() {
    using namespace zelvio::test_support;
    const auto frames = [](Sound s) {
        s.resize(s.size() / kFrame * kFrame);
        return s;
    };
    return {
        {"recorded speech (espeak-ng, 12 s)", Kind::kSpeech,
         readAt10kHz(ZELVIO_SOURCE_DIR "/tests/data/speech/north_wind.wav")},
        {"speech-like, low voice (20 s)", Kind::kSpeech,
         frames(speechLike({.seed = 1, .seconds = 20, .pauses = false, .pitch = 115}))},
        {"speech-like, high voice (20 s)", Kind::kSpeech,
         frames(speechLike({.seed = 2, .seconds = 20, .pauses = false, .pitch = 210}))},
        {"speech with pauses, low voice (30 s)", Kind::kPauses,
         frames(speechLike({.seed = 3, .seconds = 30, .pauses = true, .pitch = 115}))},
        {"speech with pauses, high voice (30 s)", Kind::kPauses,
         frames(speechLike({.seed = 4, .seconds = 30, .pauses = true, .pitch = 205}))},
        {"music (20 s)", Kind::kMusic, frames(music(5, 20))},
        {"examples/chimes.wav (4 s)", Kind::kMusic,
         readAt10kHz(ZELVIO_SOURCE_DIR "/examples/chimes.wav")},
    };
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Measure {
    double snr = 0;
    double segmentalSnr = 0;
    double seconds = 0;  // encoding time
};

// Codes the sound Frame by Frame, decodes the bytes, and measures the decoded sound.
template <typename Encoder>
Measure codeAndMeasure(Encoder& encoder, const Sound& sound, std::int16_t bits) {
    const auto frameBytes = static_cast<std::size_t>(zelvio::adpcmCodedSize(kFrame, bits));
    const std::size_t frames = sound.size() / kFrame;
    std::vector<std::uint8_t> coded(frames * frameBytes);
    encoder.reset();
    const double start = threadSeconds();
    for (std::size_t f = 0; f < frames; ++f) {
        encoder.encodeFrame(sound.data() + f * kFrame, coded.data() + f * frameBytes, kFrame, bits);
    }
    Measure measure;
    measure.seconds = threadSeconds() - start;

    zelvio::AdpcmDecoder decoder;
    decoder.reset();
    Sound decoded(kFrame);
    double signal = 0, noise = 0, segments = 0;
    const auto snr = [](double s, double n) {
        return n <= 0 ? 200.0 : s <= 0 ? -200.0 : 10 * std::log10(s / n);
    };
    for (std::size_t f = 0; f < frames; ++f) {
        decoder.decodeFrame(coded.data() + f * frameBytes, decoded.data(), kFrame, bits);
        double frameSignal = 0, frameNoise = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(kFrame); ++i) {
            const double x = sound[f * kFrame + i];
            const double e = x - decoded[i];
            frameSignal += x * x;
            frameNoise += e * e;
        }
        signal += frameSignal;
        noise += frameNoise;
        segments += std::clamp(snr(frameSignal, frameNoise), -10.0, 35.0);
    }
    measure.snr = snr(signal, noise);
    measure.segmentalSnr = frames == 0 ? 0 : segments / static_cast<double>(frames);
    return measure;
}

bool isSpeech(Kind kind) {
    return kind == Kind::kSpeech || kind == Kind::kPauses;
}

}  // namespace

int main(int argc, char** argv) {
    const bool withSpeed = !(argc == 2 && std::strcmp(argv[1], "--no-speed") == 0);
    if (argc > 2 || (argc == 2 && withSpeed)) {
        std::fprintf(stderr, "usage: search_quality [--no-speed]\n");
        return 2;
    }
    const std::vector<TestSound> sounds = testSounds();
    for (const TestSound& sound : sounds) {
        if (sound.samples.empty()) {
            std::fprintf(stderr, "search_quality: cannot make \"%s\"\n", sound.name.c_str());
            return 1;
        }
    }

    // Greedy results, kept for the comparisons below.
    std::vector<std::vector<Measure>> greedy(sounds.size());
    for (std::size_t s = 0; s < sounds.size(); ++s) {
        for (const std::int16_t bits : kWidths) {
            zelvio::AdpcmEncoder encoder;
            greedy[s].push_back(codeAndMeasure(encoder, sounds[s].samples, bits));
        }
    }

    std::printf(
        "Search at the default paths (%d at 4 bits, %d at 3 and 2 bits) against greedy "
        "coding; SNR and segmental SNR in dB.\n\n",
        zelvio::searchDefaultPaths(4), zelvio::searchDefaultPaths(3));
    std::printf(
        "| sound | bits | greedy SNR | search SNR | gain | greedy seg. SNR | "
        "search seg. SNR | gain |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    double speechGain[3] = {0, 0, 0};
    double speechSegmentalGain[3] = {0, 0, 0};
    int speechSounds = 0;
    for (std::size_t s = 0; s < sounds.size(); ++s) {
        speechSounds += isSpeech(sounds[s].kind) ? 1 : 0;
        for (std::size_t w = 0; w < std::size(kWidths); ++w) {
            zelvio::SearchAdpcmEncoder encoder;
            const Measure search = codeAndMeasure(encoder, sounds[s].samples, kWidths[w]);
            const Measure& base = greedy[s][w];
            std::printf("| %s | %d | %.2f | %.2f | %+.2f | %.2f | %.2f | %+.2f |\n",
                        sounds[s].name.c_str(), kWidths[w], base.snr, search.snr,
                        search.snr - base.snr, base.segmentalSnr, search.segmentalSnr,
                        search.segmentalSnr - base.segmentalSnr);
            if (isSpeech(sounds[s].kind)) {
                speechGain[w] += search.snr - base.snr;
                speechSegmentalGain[w] += search.segmentalSnr - base.segmentalSnr;
            }
        }
    }
    for (std::size_t w = 0; w < std::size(kWidths); ++w) {
        std::printf("| mean of the %d speech sounds | %d | | | %+.2f | | | %+.2f |\n", speechSounds,
                    kWidths[w], speechGain[w] / speechSounds,
                    speechSegmentalGain[w] / speechSounds);
    }

    // Paths against gain and time, on the speech sounds.
    std::printf(
        "\nPaths kept against the mean gain on the %d speech sounds (SNR / segmental SNR, "
        "dB)%s.\n\n",
        speechSounds, withSpeed ? " and the encoding time per hour of 10 kHz audio" : "");
    std::printf("| paths | 4 bits | 3 bits | 2 bits |%s\n",
                withSpeed ? " 4 bits, s/hour | 3 bits, s/hour | 2 bits, s/hour |" : "");
    std::printf("|---:|---:|---:|---:|%s\n", withSpeed ? "---:|---:|---:|" : "");
    const std::int16_t pathCounts[] = {1, 4, 8, 12, 16, 24, 32, 64};
    for (const std::int16_t paths : pathCounts) {
        double gain[3] = {0, 0, 0};
        double segmentalGain[3] = {0, 0, 0};
        double seconds[3] = {0, 0, 0};
        double samples = 0;
        for (std::size_t s = 0; s < sounds.size(); ++s) {
            if (!isSpeech(sounds[s].kind)) {
                continue;
            }
            samples += static_cast<double>(sounds[s].samples.size());
            for (std::size_t w = 0; w < std::size(kWidths); ++w) {
                zelvio::SearchAdpcmEncoder encoder(paths);
                const Measure search = codeAndMeasure(encoder, sounds[s].samples, kWidths[w]);
                gain[w] += search.snr - greedy[s][w].snr;
                segmentalGain[w] += search.segmentalSnr - greedy[s][w].segmentalSnr;
                seconds[w] += search.seconds;
            }
        }
        std::printf("| %d |", paths);
        for (std::size_t w = 0; w < std::size(kWidths); ++w) {
            std::printf(" %+.2f / %+.2f |", gain[w] / speechSounds,
                        segmentalGain[w] / speechSounds);
        }
        if (withSpeed) {
            for (std::size_t w = 0; w < std::size(kWidths); ++w) {
                std::printf(" %.1f |", seconds[w] / samples * 3600.0 * 10000.0);
            }
        }
        std::printf("\n");
    }
    return 0;
}
