// What the conversion does to tones, measured with a DFT of its output at 10000 Hz: a tone in the
// pass band keeps its level; a tone above 5000 Hz, which the output cannot hold, is removed
// rather than folded back as an alias; and apart from the tone the output is quiet. The table
// gives per input rate and tone the lowest level the tone may have and the highest level
// anything else may reach, in dB against the input tone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "resample/resampler.h"
#include "spectrum.h"

namespace zelvio {
namespace {

constexpr double kOutputRate = 10000.0;
constexpr double kAmplitude = 16384.0;  // half of full scale
constexpr double kNoLevel = -INFINITY;  // a tone above 5000 Hz has no level of its own

struct ToneCase {
    double inputRate;
    double tone;        // Hz
    double minToneDb;   // lowest level of the tone; kNoLevel above 5000 Hz
    double maxOtherDb;  // highest level of anything else
};

// Measured with the designed filter (65 taps, roll-off 0.97, Kaiser beta 9) and its run gain of
// 0.95 (-0.45 dB), then given a margin: about 0.15 dB on the tone, 5 dB on the rest.
const ToneCase kCases[] = {
    // Upsampling: the images of the input above its own Nyquist frequency must not show; at
    // 3800 Hz the tone nears the filter's edge (0.97 x 4000 Hz) and its image at 4200 Hz gets
    // through the transition band.
    {8000, 1000, -0.6, -80},
    {8000, 3000, -0.6, -80},
    {8000, 3800, -3.2, -55},
    // The same rate: the filter passes the band.
    {10000, 1000, -0.6, -83},
    {10000, 4500, -0.7, -82},
    // Downsampling: the pass band keeps its level ...
    {11025, 1000, -0.6, -80},
    {22050, 2500, -0.6, -86},
    {44100, 1000, -0.6, -88},
    {44100, 4000, -0.6, -92},
    {44100, 4500, -0.7, -90},
    {44100, 4800, -4.7, -88},  // in the transition band above 0.97 x 5000 Hz
    {48000, 3000, -0.6, -84},
    {96000, 2000, -0.6, -82},
    // ... and tones the output cannot hold are removed, not folded back below 5000 Hz.
    {44100, 5200, kNoLevel, -41},  // just past the edge: its alias at 4800 Hz is held down
    {11025, 5400, kNoLevel, -78},
    {22050, 6000, kNoLevel, -84},
    {22050, 9000, kNoLevel, -85},
    {44100, 7000, kNoLevel, -89},
    {44100, 15000, kNoLevel, -88},
    {48000, 12000, kNoLevel, -85},
    {96000, 30000, kNoLevel, -87},
};

TEST(Resampler, KeepsPassBandTonesAndRemovesWhatTheOutputCannotHold) {
    for (const ToneCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.tone << " Hz at " << c.inputRate << " Hz");
        const auto inputCount = static_cast<std::size_t>(c.inputRate);  // one second
        const std::vector<std::int16_t> input =
            test_support::sineWave(c.tone, c.inputRate, inputCount, kAmplitude);
        MemoryMonoSource source(input);
        MemoryMonoSink sink;
        const double factor = kOutputRate / c.inputRate;
        const auto outputCount =
            static_cast<std::int64_t>(static_cast<double>(inputCount) * factor) + 1;
        ASSERT_EQ(
            resampleFile(factor, source, sink, static_cast<std::int64_t>(inputCount), outputCount)
                .status,
            kResampleOk);
        // The middle 8192 output samples, away from the silence before and after the input.
        const test_support::ToneLevels levels =
            test_support::toneLevels(sink.samples(), kOutputRate, c.tone, kAmplitude);
        if (c.minToneDb != kNoLevel) {
            EXPECT_GE(levels.tone, c.minToneDb);
            EXPECT_LE(levels.tone, 0.0);  // never louder than the input
        }
        EXPECT_LE(levels.other, c.maxOtherDb);
    }
}

}  // namespace
}  // namespace zelvio
