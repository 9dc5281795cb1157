#include "coding/voice_activity_detector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
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
        EXPECT_EQ(silent, frame <= 7 ? 0 : 1);
        EXPECT_EQ(level, frame <= 7 ? 0xEE : 4);  // mean 10
        EXPECT_EQ(detector.hangoverCount(), frame <= 7 ? 1400 - 200 * frame : 0);
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
    const Samples all = {0, 1, 3, -4, 7, 8, 15, -16, 31, 32, 63, 64, 127, 128, 256, -256};
    const std::uint8_t levels[] = {0, 1, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8};  // 256 is loud
    const struct {
        Samples frame;
        std::uint8_t silent;
        std::uint8_t level;  // when silent
    } mixed[] = {
        {alternating(2, -3), 1, 2},                                   // mean 2.5, rounded down
        {alternating(255, -255), 1, 8}, {oneAmongZeros(1023), 1, 3},  // mean 5
        {oneAmongZeros(-1023), 1, 3},   {oneAmongZeros(1024), 0, 0},  // the peak limit
        {oneAmongZeros(-1024), 0, 0},   {oneAmongZeros(-32768), 0, 0},
    };
    const auto check = [](const Samples& frame, std::uint8_t silent, std::uint8_t expected) {
        VoiceActivityDetector detector = jobDetector();
        runOutTheHangover(detector);
        std::uint8_t level = 0xEE;
        EXPECT_EQ(classify(detector, frame, level), silent);
        // A loud Frame leaves the level alone and re-arms the hangover.
        EXPECT_EQ(level, silent ? expected : 0xEE);
        EXPECT_EQ(detector.hangoverCount(), silent ? 0 : 1400);
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "all " << all[i]);
        check(Samples(kFrame, all[i]), i < std::size(levels),
              i < std::size(levels) ? levels[i] : 0);
    }
    for (std::size_t i = 0; i < std::size(mixed); ++i) {
        SCOPED_TRACE(testing::Message() << "mixed frame " << i);
        check(mixed[i].frame, mixed[i].silent, mixed[i].level);
    }
}

TEST(VoiceActivityDetector, EndsAHangoverThatPassesBelowZero) {
    VoiceActivityDetector detector;
    detector.configure(1024, 256, 300);
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0;
    for (const auto& [silent, hangover] : {std::pair{0, 100}, {0, -100}, {1, -100}}) {
        EXPECT_EQ(classify(detector, quiet, level), silent);
        EXPECT_EQ(detector.hangoverCount(), hangover);
    }
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

TEST(VoiceActivityDetector, CallsAFrameLoudUntilConfiguredOrWhenItHasNoSamples) {
    const Samples quiet(kFrame, 0);
    std::uint8_t level = 0xEE;
    VoiceActivityDetector unconfigured;
    EXPECT_EQ(classify(unconfigured, quiet, level), 0);
    VoiceActivityDetector detector = jobDetector();
    EXPECT_EQ(detector.classifyFrame(quiet.data(), level, 0), 0);
    EXPECT_EQ(level, 0xEE);
    EXPECT_EQ(detector.hangoverCount(), 1400);
}

}  // namespace
}  // namespace zelvio
