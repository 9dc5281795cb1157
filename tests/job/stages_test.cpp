// The conversion's stages one by one, where the whole run cannot reach a case.
#include "job/stages.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelvio {
namespace {

TEST(DatabaseTitle, EmptyTitleFallsBackToTheInputNameThenToAudio) {
    EXPECT_EQ(databaseTitle("Memo", "recording"), "Memo");
    EXPECT_EQ(databaseTitle("", "recording"), "recording");
    EXPECT_EQ(databaseTitle("", std::string(40, 'r')), std::string(31, 'r'));
    EXPECT_EQ(databaseTitle("", ""), "Audio");
}

TEST(RunSize, CountsTheOutputAndTheWholeFramesInIt) {
    struct Case {
        std::int64_t inputs;
        std::uint32_t rate;
        std::int64_t outputs, frames;
    };
    const Case cases[] = {
        {8000, 8000, 10001, 50}, {40000 * 441 / 100, 44100, 40001, 200},
        {1, 8000, 2, 0},         {0, 22050, 1, 0},
        {2, 10000, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inputs << " at " << c.rate);
        const RunSize size = runSize(c.inputs, c.rate);
        EXPECT_EQ(size.outputCount, c.outputs);
        EXPECT_EQ(size.frameCount, c.frames);
    }
}

TEST(RateConverter, ReportsARefusedFactorAsItself) {
    // Every status reaches the user as itself. Rates outside 613 to 617575 Hz are refused before
    // any stage runs; the resampler's own refusal stays the last line of defence.
    for (const std::uint32_t rate : {0u, 612u, 617576u}) {
        SCOPED_TRACE(rate);
        RateConverter converter;
        const StageResult error = converter.start(100, rate, nullptr);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind, OutcomeKind::FileIoError);
        EXPECT_EQ(error->detail, "cannot resample: unsupported rate factor");
    }
}

TEST(MixToMono, GivesEverySampleFramesMonoSampleAtAnyCountAndAlignment) {
    // Extremes first (the sum leaves 16 bits, the floor of a negative half), then noise; every
    // count from 0 to 40 and every start within a vector's width.
    std::vector<SampleFrame> frames = {{-32768, -32768}, {32767, 32767}, {-32768, 32767},
                                       {100, -101},      {-1, 0},        {1, -2}};
    std::uint32_t state = 7;
    while (frames.size() < 64) {
        state = state * 1664525u + 1013904223u;
        frames.push_back(
            {static_cast<std::int16_t>(state >> 16), static_cast<std::int16_t>(state)});
    }
    for (const bool stereo : {true, false}) {
        for (std::size_t start = 0; start < 8; ++start) {
            for (std::size_t count = 0; start + count <= 48; ++count) {
                SCOPED_TRACE(testing::Message() << stereo << " " << start << " " << count);
                std::vector<std::int16_t> mono(count + 1, 12345);
                mixToMono(std::span(frames).subspan(start, count), stereo, mono.data());
                for (std::size_t i = 0; i < count; ++i) {
                    ASSERT_EQ(mono[i], monoSample(frames[start + i], stereo)) << i;
                }
                EXPECT_EQ(mono[count], 12345);  // nothing written past the end
            }
        }
    }
}

TEST(PartOf, MapsAStagesFractionIntoItsShareOfTheRun) {
    std::vector<double> seen;
    const ProgressReport whole = [&](double fraction) { seen.push_back(fraction); };
    const ProgressReport part = partOf(whole, 0.25, 0.5);
    part(0.0);
    part(0.5);
    part(1.0);
    EXPECT_EQ(seen, (std::vector<double>{0.25, 0.5, 0.75}));
    EXPECT_FALSE(partOf({}, 0.25, 0.5));
}

}  // namespace
}  // namespace zelvio
