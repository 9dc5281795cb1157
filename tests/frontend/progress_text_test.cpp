// The progress a front end shows: percentage, stage in words, time left once it is known.
#include "frontend/progress_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zelvio {
namespace {

using namespace std::chrono_literals;

TEST(ProgressText, ShowsTheStageThePercentageAndOnceKnownTheTimeLeft) {
    const struct {
        double fraction;
        ConversionStage stage;
        std::chrono::milliseconds elapsed;
        int permille;
        const char* text;
    } cases[] = {
        {0.0, ConversionStage::Reading, 0ms, 0, "Reading: 0%"},
        {0.1, ConversionStage::Reading, 1500ms, 100, "Reading: 10%"},  // too early to tell
        {0.02, ConversionStage::Reading, 10s, 20, "Reading: 2%"},      // too little done
        {0.03, ConversionStage::Reading, 3s, 30, "Reading: 3%, about 2 min left"},
        {0.45, ConversionStage::Converting, 20s, 450, "Converting: 45%, about 25 s left"},
        {0.5, ConversionStage::Converting, 10min, 500, "Converting: 50%, about 10 min left"},
        {0.1, ConversionStage::Converting, 10min, 100, "Converting: 10%, about 1 h 30 min left"},
        {0.999, ConversionStage::Converting, 60s, 999, "Converting: 99%, a few seconds left"},
        {0.98, ConversionStage::Saving, 50s, 980, "Saving: 98%, a few seconds left"},
        {1.0, ConversionStage::Saving, 50s, 1000, "Saving: 100%"},
        {1.5, ConversionStage::Saving, 50s, 1000, "Saving: 100%"},  // held to the end
        {-0.5, ConversionStage::Reading, 5s, 0, "Reading: 0%"},
        {std::numeric_limits<double>::quiet_NaN(), ConversionStage::Reading, 5s, 0, "Reading: 0%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ProgressView view = progressView(c.fraction, c.stage, c.elapsed);
        EXPECT_EQ(view.permille, c.permille);
        EXPECT_EQ(view.percent, c.permille / 10);
        EXPECT_EQ(view.text, c.text);
    }
}

TEST(ProgressText, TimeLeftIsRoundedSoItDoesNotFlicker) {
    const struct {
        std::chrono::seconds left;
        const char* text;
    } cases[] = {
        {0s, "a few seconds left"},
        {4s, "a few seconds left"},
        {5s, "about 5 s left"},
        {41s, "about 45 s left"},
        {45s, "about 45 s left"},
        {55s, "about 55 s left"},
        {56s, "about 1 min left"},
        {60s, "about 1 min left"},
        {89s, "about 1 min left"},
        {90s, "about 2 min left"},
        {3569s, "about 59 min left"},
        {3570s, "about 1 h left"},
        {3600s + 20min, "about 1 h 20 min left"},
        {10h + 1min, "about 10 h 1 min left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left.count());
        EXPECT_EQ(timeLeftText(c.left), c.text);
    }
}

TEST(ProgressText, EstimateAssumesTheRestGoesAtThePaceSoFar) {
    EXPECT_EQ(estimatedTimeLeft(0.25, 10s), 30s);
    EXPECT_EQ(estimatedTimeLeft(0.5, 3s), 3s);
    EXPECT_EQ(estimatedTimeLeft(1.0, 3s), 0s);
    EXPECT_EQ(estimatedTimeLeft(0.029, 100s), std::nullopt);
    EXPECT_EQ(estimatedTimeLeft(0.9, 1999ms), std::nullopt);
    EXPECT_EQ(estimatedTimeLeft(std::nan(""), 100s), std::nullopt);
}

TEST(ProgressText, DrawsATerminalLineThatChangesOnlyWithThePercentOrASecond) {
    const struct {
        const char* label;
        double fraction;
        std::chrono::milliseconds elapsed;
        int columns;
        const char* line;
    } cases[] = {
        {"Reading", 0.0, 0ms, 80,
         "Reading      0% [........................................] 0:00 elapsed"},
        {"Converting", 0.45, 4500ms, 100,
         "Converting  45% [##################......................] 0:04 elapsed, 0:06 left"},
        {"Converting", 0.459, 4999ms, 100,  // the same line: no redraw
         "Converting  45% [##################......................] 0:04 elapsed, 0:06 left"},
        {"Saving", 1.0, 3725s, 100,
         "Saving     100% [########################################] 1:02:05 elapsed"},
        // a narrow terminal: the bar shrinks, then goes; the line never fills the last column
        {"Converting", 0.5, 10s, 60, "Converting  50% [########.........] 0:10 elapsed, 0:10 left"},
        {"Converting", 0.5, 10s, 50, "Converting  50% 0:10 elapsed, 0:10 left"},
        {"Decoding", std::nan(""), 0ms, 80,
         "Decoding     0% [........................................] 0:00 elapsed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string line = terminalProgressLine(c.label, c.fraction, c.elapsed, c.columns);
        EXPECT_EQ(line, c.line);
        EXPECT_LT(static_cast<int>(line.size()), c.columns);
    }
}

TEST(ProgressText, ClockShowsMinutesAndSecondsThenHours) {
    EXPECT_EQ(clockText(0ms), "0:00");
    EXPECT_EQ(clockText(59999ms), "0:59");
    EXPECT_EQ(clockText(754s), "12:34");
    EXPECT_EQ(clockText(3600s), "1:00:00");
    EXPECT_EQ(clockText(-5s), "0:00");
}

}  // namespace
}  // namespace zelvio
