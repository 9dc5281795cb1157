// The streamed run: inputs whose length is known only at their end, threads and kernel paths,
// stopping a run, and what a full database or a failing input does to the reading.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "job/conversion_job.h"
#include "job/stages.h"
#include "support/database_bytes.h"
#include "support/files.h"
#include "support/generated_source.h"
#include "support/wave_builder.h"
#include "wave/wave_file.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::GeneratedSource;
using test_support::HiddenLength;
using test_support::readFileBytes;
using test_support::setEnvironment;
using test_support::TempDirectory;
using test_support::unsetEnvironment;

const fs::path kVectors = fs::path(ZELVIO_TEST_DATA) / "vectors";

struct Mode {
    int bits = 8;
    bool vad = false;
    unsigned threads = 0;
};

ConversionSettings settingsFor(const fs::path& input, const fs::path& output, Mode mode) {
    ConversionSettings settings;
    settings.inputPath = input;
    settings.databasePath = output;
    settings.title = "T";
    settings.bitsPerSample = mode.bits;
    settings.voiceActivityDetection = mode.vad;
    settings.threads = mode.threads;
    return settings;
}

/// Converts input (a file, or the given source when not null) into output.
ConversionOutcome convert(const fs::path& input, const fs::path& output, Mode mode,
                          std::unique_ptr<AudioSource> source = nullptr) {
    ConversionJob job(settingsFor(input, output, mode));
    if (source) {
        job.readInputFrom(std::move(source));
    }
    return job.run();
}

std::unique_ptr<AudioSource> hiddenWave(const fs::path& path) {
    auto wave = std::make_unique<WaveFile>();
    EXPECT_EQ(wave->open(path), kWaveOk);
    return std::make_unique<HiddenLength>(std::move(wave));
}

/// Sets an environment variable for as long as it lives.
class EnvironmentOverride {
  public:
    EnvironmentOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        setEnvironment(name, value);
    }
    ~EnvironmentOverride() {
        if (saved_) {
            setEnvironment(name_, *saved_);
        } else {
            unsetEnvironment(name_);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

void expectSameOutcome(const ConversionOutcome& got, const ConversionOutcome& expected) {
    EXPECT_EQ(got.kind, expected.kind);
    EXPECT_EQ(got.message, expected.message);
    EXPECT_EQ(got.framesCoded, expected.framesCoded);
    EXPECT_EQ(got.framesTotal, expected.framesTotal);
    EXPECT_EQ(got.recordCount, expected.recordCount);
}

// The samples of a WAVE file of `frames` stereo frames at rate: the generated signal.
Bytes generatedWave(std::uint32_t rate, std::int64_t frames) {
    GeneratedSource source({.rate = rate, .channels = 2, .frames = frames});
    std::vector<std::int16_t> samples;
    for (std::int64_t i = 0; i < frames; ++i) {
        const SampleFrame frame = source.frameAt(i);
        samples.push_back(frame.left);
        samples.push_back(frame.right);
    }
    return test_support::canonicalWave({.channels = 2, .sampleRate = rate},
                                       test_support::pcm16Bytes(samples));
}

// An input that does not state its length is streamed all the same: whatever the rate and
// length, down to no sample at all, it gives the database and outcome of the same input with its
// length stated.
TEST(UnknownLength, GivesTheDatabaseOfTheStatedLength) {
    TempDirectory dir;
    const std::uint32_t rates[] = {613, 8000, 10000, 22050, 44100, 617575};
    for (const std::uint32_t rate : rates) {
        const std::int64_t lengths[] = {0, 1, 2, 199, 200, 201, 401, 10007, rate * 3 + 17};
        for (const std::int64_t frames : lengths) {
            const fs::path input = dir.write("in.wav", generatedWave(rate, frames));
            for (const Mode mode : {Mode{8, false, 1}, Mode{4, true, 0}}) {
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz, " << frames << " frames, " << mode.bits << " bits");
                const ConversionOutcome stated = convert(input, dir / "stated.pdb", mode);
                ASSERT_EQ(stated.kind, OutcomeKind::Success) << stated.detail;
                const ConversionOutcome hidden =
                    convert(input, dir / "hidden.pdb", mode, hiddenWave(input));
                expectSameOutcome(hidden, stated);
                EXPECT_TRUE(readFileBytes(dir / "hidden.pdb") == readFileBytes(dir / "stated.pdb"));
            }
        }
    }
}

// 25 minutes at 8000 Hz fill an 8-bit database at 21:05. With its length stated the run stops
// reading soon after; without, it reads on only to count, so that it can say how much was cut.
// Both save the same bytes and say the same.
TEST(UnknownLength, AFullDatabaseIsCutAlikeAndAStatedLengthIsReadNoFurther) {
    TempDirectory dir;
    constexpr std::int64_t kFrames = 25 * 60 * 8000;
    std::optional<Bytes> first;
    std::optional<ConversionOutcome> firstOutcome;
    for (const bool stated : {true, false}) {
        for (const unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(testing::Message()
                         << (stated ? "stated" : "hidden") << ", " << threads << " threads");
            auto tally = std::make_shared<std::atomic<std::int64_t>>(0);
            auto source =
                std::make_unique<GeneratedSource>(GeneratedSource::Shape{.rate = 8000,
                                                                         .channels = 1,
                                                                         .frames = kFrames,
                                                                         .lengthStated = stated,
                                                                         .tally = tally});
            const ConversionOutcome outcome =
                convert("long.wav", dir / "cut.pdb", {8, false, threads}, std::move(source));
            ASSERT_EQ(outcome.kind, OutcomeKind::DatabaseFull) << outcome.detail;
            EXPECT_EQ(outcome.message,
                      "The audio database is full: only the first 21:05 of 25:00 of audio were "
                      "saved.");
            EXPECT_EQ(outcome.framesCoded, 199 * 318);
            EXPECT_EQ(outcome.framesTotal, kFrames / 160);
            if (stated) {
                // What the Frames coded need, the blocks read ahead and the batches waiting to be
                // coded: far from the end.
                EXPECT_LT(tally->load(), (199 * 318 + 1) * 160 + 24 * 16384);
            } else {
                EXPECT_EQ(tally->load(), kFrames);
            }
            const Bytes bytes = readFileBytes(dir / "cut.pdb");
            if (!first) {
                first = bytes;
                firstOutcome = outcome;
            }
            EXPECT_TRUE(bytes == *first);
            expectSameOutcome(outcome, *firstOutcome);
        }
    }
}

// Every thread count and kernel path gives the reference databases byte for byte.
TEST(StreamedRun, ThreadsAndKernelPathsGiveTheReferenceDatabases) {
    TempDirectory dir;
    for (const bool portable : {false, true}) {
        const EnvironmentOverride path(kPortableEnvironmentVariable, portable ? "1" : "0");
        for (const unsigned threads : {1u, 2u, 3u, 0u}) {
            for (const char* name : {"sm_22050_s16", "speech_pauses_10000_m16", "u8_sm_8000_s8"}) {
                for (const int bits : {8, 4}) {
                    const std::string stem =
                        std::string(name) + ".b" + std::to_string(bits) + ".vad";
                    SCOPED_TRACE(testing::Message() << stem << ", " << threads << " threads"
                                                    << (portable ? ", portable" : ""));
                    ConversionSettings settings =
                        settingsFor(kVectors / (std::string(name) + ".wav"), dir / "v.pdb",
                                    {bits, true, threads});
                    settings.title = std::string("T ") + name;
                    settings.description = "Corpus file " + std::string(name) + ".wav at " +
                                           std::to_string(bits) + " bits with VAD";
                    ASSERT_EQ(ConversionJob(settings).run().kind, OutcomeKind::Success);
                    EXPECT_TRUE(readFileBytes(dir / "v.pdb") ==
                                readFileBytes(kVectors / (stem + ".pdb")));
                }
            }
        }
    }
}

// A long stereo input at the highest and a common rate: one thread, several, and the portable
// path all give the same bytes (blocks, batches and the read-ahead ring leave no trace).
TEST(StreamedRun, LongInputsGiveTheSameBytesOnAnyThreadsAndPath) {
    TempDirectory dir;
    for (const std::uint32_t rate : {44100u, 617575u}) {
        const std::int64_t frames = std::int64_t{rate} * (rate > 100000 ? 6 : 40) + 3;
        std::optional<Bytes> reference;
        for (const bool portable : {false, true}) {
            const EnvironmentOverride path(kPortableEnvironmentVariable, portable ? "1" : "0");
            for (const unsigned threads : {1u, 2u, 4u}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << threads << " threads"
                                                << (portable ? ", portable" : ""));
                const ConversionOutcome outcome =
                    convert("gen.wav", dir / "g.pdb", {4, true, threads},
                            std::make_unique<GeneratedSource>(GeneratedSource::Shape{
                                .rate = rate, .channels = 2, .frames = frames}));
                ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
                const Bytes bytes = readFileBytes(dir / "g.pdb");
                if (!reference) {
                    reference = bytes;
                }
                EXPECT_TRUE(bytes == *reference);
            }
        }
    }
}

// An input that fails partway is a FILE IO error naming the input and the reason, whether its
// length is stated or not and whether it is read ahead or not; nothing is written.
TEST(StreamedRun, AnInputFailingPartwayIsAFileError) {
    TempDirectory dir;
    for (const bool stated : {true, false}) {
        for (const unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(testing::Message()
                         << (stated ? "stated" : "hidden") << ", " << threads << " threads");
            const ConversionOutcome outcome = convert(
                "damaged.wav", dir / "d.pdb", {4, true, threads},
                std::make_unique<GeneratedSource>(GeneratedSource::Shape{.rate = 22050,
                                                                         .channels = 2,
                                                                         .frames = 500000,
                                                                         .lengthStated = stated,
                                                                         .failAt = 300001}));
            EXPECT_EQ(outcome.kind, OutcomeKind::FileIoError);
            EXPECT_EQ(outcome.message, kFileIoErrorText);
            EXPECT_EQ(outcome.caption, kErrorCaption);
            EXPECT_EQ(outcome.icon, OutcomeIcon::Stop);
            EXPECT_EQ(outcome.detail,
                      "reading \"damaged.wav\" failed: the generated input fails here");
            EXPECT_TRUE(dir.entries().empty());
        }
    }
}

// Progress rises from 0 to 1 in many steps when the length is known; when it is not, the run
// says 0 at the start and 1 at the end only.
TEST(StreamedRun, ProgressRisesFromZeroToOneOrSaysOnlyStartAndEnd) {
    TempDirectory dir;
    for (const bool stated : {true, false}) {
        for (const unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(testing::Message()
                         << (stated ? "stated" : "hidden") << ", " << threads << " threads");
            std::vector<double> seen;
            ConversionJob job(settingsFor("p.wav", dir / "p.pdb", {4, true, threads}),
                              [&](double fraction) { seen.push_back(fraction); });
            job.readInputFrom(std::make_unique<GeneratedSource>(GeneratedSource::Shape{
                .rate = 44100, .channels = 2, .frames = 44100 * 30, .lengthStated = stated}));
            ASSERT_EQ(job.run().kind, OutcomeKind::Success);
            ASSERT_GE(seen.size(), 2u);
            EXPECT_EQ(seen.front(), 0.0);
            EXPECT_EQ(seen.back(), 1.0);
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
            if (stated) {
                EXPECT_GT(seen.size(), 50u);
            } else {
                EXPECT_EQ(seen, (std::vector<double>{0.0, 1.0}));
            }
        }
    }
}

// A stop requested from another thread while a two-hour input streams ends the run soon: the
// outcome says so, the input was read no further, and nothing is left in the output's folder.
TEST(StopToken, AStopFromAnotherThreadEndsTheRunWithNothingWritten) {
    TempDirectory dir;
    constexpr std::int64_t kFrames = std::int64_t{2} * 3600 * 44100;
    for (const unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        StopToken stop;
        std::atomic<double> progress{-1.0};
        auto tally = std::make_shared<std::atomic<std::int64_t>>(0);
        ConversionSettings settings = settingsFor("long.wav", dir / "s.pdb", {4, true, threads});
        settings.stop = &stop;
        ConversionJob job(settings, [&](double fraction) { progress.store(fraction); });
        job.readInputFrom(std::make_unique<GeneratedSource>(GeneratedSource::Shape{
            .rate = 44100, .channels = 2, .frames = kFrames, .tally = tally}));
        ConversionOutcome outcome;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            outcome = job.run();
            done.store(true);
        });
        while (progress.load() <= 0.0 && !done.load()) {
            std::this_thread::yield();  // until Frames are being coded
        }
        stop.request();
        worker.join();
        EXPECT_EQ(outcome.kind, OutcomeKind::Cancelled);
        EXPECT_EQ(outcome.message, "Conversion cancelled");
        EXPECT_EQ(outcome.caption, kCancelledCaption);
        EXPECT_TRUE(outcome.failed());
        EXPECT_LT(tally->load(), kFrames / 2);
        EXPECT_TRUE(dir.entries().empty());
    }
}

// A stop requested before the run, or through the job, ends it the same way; a run without a
// token of its own can be stopped through requestStop().
TEST(StopToken, AStopBeforeTheRunOrThroughTheJobReadsNothing) {
    TempDirectory dir;
    for (const bool ownToken : {true, false}) {
        SCOPED_TRACE(ownToken ? "the settings' token" : "the job's own token");
        StopToken stop;
        auto tally = std::make_shared<std::atomic<std::int64_t>>(0);
        ConversionSettings settings = settingsFor("in.wav", dir / "b.pdb", {8, false, 2});
        if (ownToken) {
            settings.stop = &stop;
        }
        ConversionJob job(settings);
        job.readInputFrom(std::make_unique<GeneratedSource>(
            GeneratedSource::Shape{.rate = 8000, .channels = 1, .frames = 80000, .tally = tally}));
        job.requestStop();
        EXPECT_EQ(stop.requested(), ownToken);
        EXPECT_EQ(job.run().kind, OutcomeKind::Cancelled);
        EXPECT_EQ(tally->load(), 0);
        EXPECT_TRUE(dir.entries().empty());
    }
}

}  // namespace
}  // namespace zelvio
