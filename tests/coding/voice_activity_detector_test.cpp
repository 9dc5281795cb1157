#include "coding/voice_activity_detector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zelvio {
namespace {

using Samples = std::vector<std::int16_t>;

constexpr std::int16_t kFrame = 200;

// The job's set-up: peak limit 1024, mean limit 256, a hangover of seven Frames.
VoiceActivityDetector jobDetector() {
    VoiceActivityDetector detector;
    detector.configure(1024, 256, 1400);
    return detector;
}

std::uint8_t classify(VoiceActivityDetector& detector, const Samples& frame, std::uint8_t& level) {
    return detector.classifyFrame(frame.data(), level, static_cast<std::int16_t>(frame.size()));
}

void runOutTheHangover(VoiceActivityDetector& detector) {
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0;
    while (detector.hangoverCount() > 0) {
        ASSERT_EQ(classify(detector, quiet, level), 0);
    }
}

Samples alternating(std::int16_t first, std::int16_t second) {
    Samples frame(kFrame);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = i % 2 == 0 ? first : second;
    }
    return frame;
}

Samples oneAmongZeros(std::int16_t value) {
    Samples frame(kFrame, 0);
    frame[117] = value;
    return frame;
}

TEST(VoiceActivityDetector, CodesTheFirstSevenQuietFramesOfARun) {
    VoiceActivityDetector detector = jobDetector();
    EXPECT_EQ(detector.hangoverCount(), 1400);
    const Samples quiet(kFrame, 10);
    for (int frame = 1; frame <= 10; ++frame) {
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        std::uint8_t level = 0xEE;
        const std::uint8_t silent = classify(detector, quiet, level);
        if (frame <= 7) {
            EXPECT_EQ(silent, 0);
            EXPECT_EQ(level, 0xEE);
            EXPECT_EQ(detector.hangoverCount(), 1400 - 200 * frame);
        } else {
            EXPECT_EQ(silent, 1);
            EXPECT_EQ(level, 4);  // mean 10
            EXPECT_EQ(detector.hangoverCount(), 0);
        }
    }
}

TEST(VoiceActivityDetector, RearmsTheHangoverAfterEveryLoudFrame) {
    VoiceActivityDetector detector = jobDetector();
    runOutTheHangover(detector);
    const Samples loud(kFrame, 5000);
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        EXPECT_EQ(classify(detector, loud, level), 0);
        EXPECT_EQ(detector.hangoverCount(), 1400);
        for (int frame = 1; frame <= 7; ++frame) {
            EXPECT_EQ(classify(detector, quiet, level), 0) << "quiet frame " << frame;
        }
        EXPECT_EQ(classify(detector, quiet, level), 1);
        EXPECT_EQ(classify(detector, quiet, level), 1);
    }
}

TEST(VoiceActivityDetector, ReportsTheSilenceLevelOrLoudnessOfEachFrame) {
    const struct {
        const char* name;
        Samples frame;
        std::uint8_t silent;
        std::uint8_t level;  // when silent
    } cases[] = {
        {"all 0", Samples(kFrame, 0), 1, 0},
        {"all 1", Samples(kFrame, 1), 1, 1},
        {"2 and -3, mean 2.5 rounded down", alternating(2, -3), 1, 2},
        {"all 3", Samples(kFrame, 3), 1, 2},
        {"all 4", Samples(kFrame, -4), 1, 3},
        {"all 7", Samples(kFrame, 7), 1, 3},
        {"all 8", Samples(kFrame, 8), 1, 4},
        {"all 15", Samples(kFrame, 15), 1, 4},
        {"all 16", Samples(kFrame, -16), 1, 5},
        {"all 31", Samples(kFrame, 31), 1, 5},
        {"all 32", Samples(kFrame, 32), 1, 6},
        {"all 63", Samples(kFrame, 63), 1, 6},
        {"all 64", Samples(kFrame, 64), 1, 7},
        {"all 127", Samples(kFrame, 127), 1, 7},
        {"all 128", Samples(kFrame, 128), 1, 8},
        {"255 and -255", alternating(255, -255), 1, 8},
        {"all 256, the mean limit", Samples(kFrame, 256), 0, 0},
        {"all -256", Samples(kFrame, -256), 0, 0},
        {"1023 among zeros, mean 5", oneAmongZeros(1023), 1, 3},
        {"-1023 among zeros", oneAmongZeros(-1023), 1, 3},
        {"1024 among zeros, the peak limit", oneAmongZeros(1024), 0, 0},
        {"-1024 among zeros", oneAmongZeros(-1024), 0, 0},
        {"-32768 among zeros", oneAmongZeros(-32768), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VoiceActivityDetector detector = jobDetector();
        runOutTheHangover(detector);
        std::uint8_t level = 0xEE;
        EXPECT_EQ(classify(detector, c.frame, level), c.silent);
        if (c.silent == 1) {
            EXPECT_EQ(level, c.level);
            EXPECT_EQ(detector.hangoverCount(), 0);
        } else {
            EXPECT_EQ(level, 0xEE) << "a loud Frame leaves the level alone";
            EXPECT_EQ(detector.hangoverCount(), 1400) << "a loud Frame re-arms the hangover";
        }
    }
}

TEST(VoiceActivityDetector, EndsAHangoverThatPassesBelowZero) {
    VoiceActivityDetector detector;
    detector.configure(1024, 256, 300);
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0;
    EXPECT_EQ(classify(detector, quiet, level), 0);
    EXPECT_EQ(detector.hangoverCount(), 100);
    EXPECT_EQ(classify(detector, quiet, level), 0);
    EXPECT_EQ(detector.hangoverCount(), -100);
    EXPECT_EQ(classify(detector, quiet, level), 1);
    EXPECT_EQ(detector.hangoverCount(), -100);
}

TEST(VoiceActivityDetector, SumsTheLongestFrameOfFullScaleSamplesWithoutOverflow) {
    VoiceActivityDetector detector;
    detector.configure(32767, 32767, 0);
    const Samples longest(32767, -32768);
    std::uint8_t level = 0xEE;
    // Mean 32768 reaches the mean limit.
    EXPECT_EQ(classify(detector, longest, level), 0);
    const Samples nearly(32767, -32766);
    EXPECT_EQ(classify(detector, nearly, level), 1);
    EXPECT_EQ(level, 15);
}

TEST(VoiceActivityDetector, CallsEveryFrameLoudUntilConfigured) {
    VoiceActivityDetector detector;
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0xEE;
    EXPECT_EQ(classify(detector, quiet, level), 0);
    EXPECT_EQ(level, 0xEE);
}

TEST(VoiceActivityDetector, IgnoresAFrameWithoutSamples) {
    VoiceActivityDetector detector = jobDetector();
    const std::int16_t sample = 0;
    std::uint8_t level = 0xEE;
    EXPECT_EQ(detector.classifyFrame(&sample, level, 0), 0);
    EXPECT_EQ(level, 0xEE);
    EXPECT_EQ(detector.hangoverCount(), 1400);
}

}  // namespace
}  // namespace zelvio
