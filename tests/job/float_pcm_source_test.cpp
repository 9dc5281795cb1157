// Samples decoded elsewhere (a web browser's decoder) come in through openFloatPcmSource: block by
// block from a reader, under the same sample rule as a floating-point WAVE file, so that the
// same floats give the same database whichever way they arrive.

#include "wave/float_pcm_source.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "job/conversion_job.h"
#include "pdb/byte_sink.h"
#include "support/files.h"
#include "support/wave_builder.h"

namespace zelvio {
namespace {

using test_support::Bytes;

/// Planes of a test sound: a chord with a slow sweep, the edges of the sample rule at the start
/// (ties, full scale, past it, NaN, infinity) and a quiet stretch for the silence detector.
struct Planes {
    std::vector<float> left;
    std::vector<float> right;
};

Planes testPlanes(std::size_t frames) {
    Planes planes;
    const float edges[] = {1.0f,
                           -1.0f,
                           1.5f,
                           -1.5f,
                           0.5f / 32768,
                           1.5f / 32768,
                           -2.5f / 32768,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -0.0f};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 22050.0;
        const double quiet = (i / 11025) % 3 == 2 ? 0.001 : 1.0;
        float left =
            static_cast<float>(quiet * (0.4 * std::sin(2 * std::numbers::pi * 220 * t) +
                                        0.2 * std::sin(2 * std::numbers::pi * (330 + 50 * t) * t)));
        float right =
            static_cast<float>(quiet * 0.3 * std::sin(2 * std::numbers::pi * 440 * t + 1.0));
        if (i < std::size(edges)) {
            left = edges[i];
            right = edges[std::size(edges) - 1 - i];
        }
        planes.left.push_back(left);
        planes.right.push_back(right);
    }
    return planes;
}

/// A 32-bit float WAVE file of the planes.
Bytes floatWave(const Planes& planes, bool stereo) {
    Bytes data;
    for (std::size_t i = 0; i < planes.left.size(); ++i) {
        test_support::appendLe32(data, std::bit_cast<std::uint32_t>(planes.left[i]));
        if (stereo) {
            test_support::appendLe32(data, std::bit_cast<std::uint32_t>(planes.right[i]));
        }
    }
    return test_support::canonicalWave({.tag = 3,
                                        .channels = static_cast<std::uint16_t>(stereo ? 2 : 1),
                                        .sampleRate = 22050,
                                        .bitsPerSample = 32},
                                       data);
}

OpenedAudio openPlanes(const Planes& planes, bool stereo,
                       std::vector<std::int64_t>* asked = nullptr) {
    FloatPcmFormat format{22050, static_cast<std::uint16_t>(stereo ? 2 : 1),
                          static_cast<std::int64_t>(planes.left.size()), "test planes", ""};
    return openFloatPcmSource(format, [&planes, asked](std::int64_t first, std::int64_t count,
                                                       float* left, float* right) {
        if (asked != nullptr) {
            asked->push_back(first);
            asked->push_back(count);
        }
        const auto at = static_cast<std::size_t>(first);
        const auto n = static_cast<std::size_t>(count);
        if (first < 0 || at + n > planes.left.size()) {
            return false;
        }
        std::copy_n(planes.left.begin() + first, n, left);
        if (right != nullptr) {
            std::copy_n(planes.right.begin() + first, n, right);
        }
        return true;
    });
}

TEST(FloatPcmSource, GivesTheSameDatabaseAsTheSameFloatsInAWaveFile) {
    const Planes planes = testPlanes(22050 * 3 + 17);
    test_support::TempDirectory dir;
    for (const bool stereo : {false, true}) {
        for (const int bits : {8, 4, 2}) {
            SCOPED_TRACE(testing::Message() << (stereo ? "stereo" : "mono") << ", " << bits);
            const auto wave = dir / "floats.wav";
            test_support::writeFile(wave, floatWave(planes, stereo));
            ConversionSettings settings;
            settings.inputPath = wave;
            settings.title = "floats";
            settings.bitsPerSample = bits;
            settings.voiceActivityDetection = true;
            settings.threads = 1;
            MemoryByteSink fromFile;
            ConversionJob fileJob(settings);
            fileJob.writeDatabaseTo(fromFile);
            ASSERT_FALSE(fileJob.run().failed());

            OpenedAudio opened = openPlanes(planes, stereo);
            ASSERT_EQ(opened.status, kAudioOk);
            MemoryByteSink fromPlanes;
            ConversionJob planeJob(settings);
            planeJob.readInputFrom(std::move(opened.source));
            planeJob.writeDatabaseTo(fromPlanes);
            const ConversionOutcome outcome = planeJob.run();
            ASSERT_FALSE(outcome.failed()) << outcome.detail;
            EXPECT_EQ(fromPlanes.bytes(), fromFile.bytes());
        }
    }
}

TEST(FloatPcmSource, DeliversEveryRequestSizeAcrossItsBlocksAndStopsAtTheEnd) {
    const Planes planes = testPlanes(20000);
    for (const std::int64_t request : {std::int64_t{1}, std::int64_t{4097}, std::int64_t{8192},
                                       std::int64_t{8193}, std::int64_t{30000}}) {
        SCOPED_TRACE(request);
        std::vector<std::int64_t> asked;
        OpenedAudio opened = openPlanes(planes, true, &asked);
        ASSERT_EQ(opened.status, kAudioOk);
        AudioSource& source = *opened.source;
        std::vector<SampleFrame> got;
        std::vector<SampleFrame> block(static_cast<std::size_t>(request), SampleFrame{7, 7});
        AudioStatus status = kAudioOk;
        while (status == kAudioOk) {
            const std::int64_t before = source.framesDelivered();
            status = source.readSamples(request, block.data());
            got.insert(got.end(), block.begin(),
                       block.begin() + (source.framesDelivered() - before));
        }
        EXPECT_TRUE(source.endReached());
        EXPECT_EQ(source.errorText(), kEndOfSamplesText);
        ASSERT_EQ(got.size(), planes.left.size());
        EXPECT_EQ(got[0], (SampleFrame{32767, 0}));       // 1.0 clamps; -0.0 is 0
        EXPECT_EQ(got[1], (SampleFrame{-32768, 32767}));  // -1.0; infinity clamps
        EXPECT_EQ(got[2], (SampleFrame{32767, 0}));       // 1.5 clamps; NaN is 0
        EXPECT_EQ(got[4].left, 0);                        // a tie goes to the even 0
        EXPECT_EQ(got[5].left, 2);                        // 1.5 goes to the even 2
        EXPECT_EQ(got[6].left, -2);                       // -2.5 goes to the even -2
        EXPECT_EQ(got[7], (SampleFrame{0, 32767}));       // NaN is 0; 1.5 clamps
        for (std::size_t i = 10; i < got.size(); i += 997) {
            EXPECT_EQ(got[i].left, static_cast<std::int16_t>(std::nearbyint(
                                       std::clamp(planes.left[i] * 32768.0, -32768.0, 32767.0))));
        }
        for (std::size_t i = 1; i < asked.size(); i += 2) {
            EXPECT_LE(asked[i], 8192);  // the reader is asked for a block at a time
        }
    }
}

TEST(FloatPcmSource, MonoLeavesTheRightSlotAndAFailingReaderIsAReadError) {
    const Planes planes = testPlanes(100);
    OpenedAudio mono = openPlanes(planes, false);
    ASSERT_EQ(mono.status, kAudioOk);
    std::vector<SampleFrame> block(10, SampleFrame{0, 1234});
    ASSERT_EQ(mono.source->readSamples(10, block.data()), kAudioOk);
    EXPECT_EQ(block[9].right, 1234);

    FloatPcmFormat format{8000, 1, 100, "failing", ""};
    OpenedAudio failing = openFloatPcmSource(
        format, [](std::int64_t, std::int64_t, float*, float*) { return false; });
    ASSERT_EQ(failing.status, kAudioOk);
    EXPECT_EQ(failing.source->readSamples(10, block.data()), kAudioBadFile);
    EXPECT_FALSE(failing.source->endReached());
    EXPECT_FALSE(failing.source->errorText().empty());
}

TEST(FloatPcmSource, RefusesWhatNoConversionCanTake) {
    const auto reader = [](std::int64_t, std::int64_t, float*, float*) { return true; };
    struct Case {
        FloatPcmFormat format;
        bool withReader;
        const char* text;
    };
    const Case cases[] = {
        {{44100, 3, 10, "", ""}, true, "3 channels (only mono and stereo are supported)"},
        {{44100, 0, 10, "", ""}, true, "0 channels (only mono and stereo are supported)"},
        {{0, 2, 10, "", ""}, true, "the sample rate is 0"},
        {{44100, 2, -1, "", ""}, true, "the length is negative"},
        {{44100, 2, 10, "", ""}, false, "nothing delivers the samples"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        OpenedAudio opened =
            openFloatPcmSource(c.format, c.withReader ? FloatPcmReader(reader) : FloatPcmReader());
        EXPECT_EQ(opened.status, kAudioUnsupported);
        EXPECT_EQ(opened.source, nullptr);
        EXPECT_EQ(opened.errorText, c.text);
    }
}

}  // namespace
}  // namespace zelvio
