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
