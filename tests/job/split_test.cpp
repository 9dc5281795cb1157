// Long recordings split over several databases: the parts' names and titles, that each part is a
// whole database coded from a fresh state, that together they hold exactly the run's Frames, that
// the first equals the cut database, even parts, and that a stopped or refused split leaves
// nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "coding/frame_coder.h"
#include "job/conversion_job.h"
#include "job/stages.h"
#include "support/database_bytes.h"
#include "support/generated_source.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::GeneratedSource;
using test_support::readFileBytes;
using test_support::TempDirectory;
using test_support::walkStream;

constexpr std::uint32_t kRate = 10000;
constexpr std::int64_t kMinutes45 = 45LL * 60 * kRate;

GeneratedSource::Shape lecture(std::int64_t frames, bool lengthStated = true) {
    return {.rate = kRate, .channels = 1, .frames = frames, .lengthStated = lengthStated};
}

struct Split {
    int bits = 8;
    bool split = true;
    int minutes = 0;
    bool lengthStated = true;
    std::int64_t frames = kMinutes45;
};

ConversionSettings settingsFor(const fs::path& output, const Split& split) {
    ConversionSettings settings;
    settings.inputPath = "lecture.wav";
    settings.databasePath = output;
    settings.title = "Lecture";
    settings.description = "Room 4";
    settings.bitsPerSample = split.bits;
    settings.split = split.split;
    settings.splitMinutes = split.minutes;
    return settings;
}

ConversionOutcome convert(const ConversionSettings& settings, const Split& split) {
    ConversionJob job(settings);
    job.readInputFrom(std::make_unique<GeneratedSource>(lecture(split.frames, split.lengthStated)));
    return job.run();
}

/// The run's whole stream at 10000 Hz, taken by the rate stage alone.
std::vector<std::int16_t> wholeStream(std::int64_t frames) {
    GeneratedSource source(lecture(frames));
    RateConverter rate;
    EXPECT_FALSE(rate.start(frames, kRate, nullptr));
    std::vector<std::int16_t> input(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i) {
        input[static_cast<std::size_t>(i)] = source.frameAt(i).left;
    }
    std::vector<std::int16_t> output;
    EXPECT_FALSE(rate.push(input, output));
    EXPECT_FALSE(rate.finish(output));
    return output;
}

/// The coded Frames first to first + count of stream, by a coder fresh at first.
std::vector<Bytes> freshlyCoded(const std::vector<std::int16_t>& stream, int bits,
                                std::int64_t first, std::int64_t count,
                                AdpcmCoding coding = AdpcmCoding::Greedy) {
    std::unique_ptr<FrameCoder> coder = makeFrameCoder(bits, kFrameSamples, coding);
    std::vector<Bytes> frames;
    for (std::int64_t frame = first; frame < first + count; ++frame) {
        Bytes coded(static_cast<std::size_t>(coder->codedBytes()));
        coder->encodeFrame(stream.data() + frame * kFrameSamples, coded.data());
        frames.push_back(std::move(coded));
    }
    return frames;
}

std::string nameOf(const Bytes& file) {
    return {file.begin(), std::find(file.begin(), file.begin() + 32, 0)};
}

TEST(PartNames, FilesAndTitlesOfTheParts) {
    const struct {
        fs::path database;
        int part;
        fs::path file;
    } files[] = {
        {"talk.pdb", 1, "talk-1.pdb"},
        {"out/Lecture.pdb", 12, "out/Lecture-12.pdb"},
        {"a.b.pdb", 3, "a.b-3.pdb"},
        {"memo", 2, "memo-2"},
    };
    for (const auto& row : files) {
        SCOPED_TRACE(row.database.string());
        EXPECT_EQ(partDatabasePath(row.database, row.part), row.file);
    }
    const std::string title31 = "An Introduction to Palm Devices";  // 31 characters
    ASSERT_EQ(title31.size(), 31u);
    const struct {
        std::string title;
        int part;
        int parts;
        std::string expected;
    } titles[] = {
        {"Lecture", 1, 3, "Lecture 1/3"},
        {"Lecture", 3, 3, "Lecture 3/3"},
        {title31, 2, 3, "An Introduction to Palm Dev 2/3"},    // 27 + 4
        {title31, 10, 12, "An Introduction to Palm D 10/12"},  // 25 + 6
        {"", 1, 2, " 1/2"},
        // Cut after 27 characters the title would end in a space, which goes too.
        {"Abcdefghijklmnopqrstuvwxyz 0123", 1, 2, "Abcdefghijklmnopqrstuvwxyz 1/2"},
    };
    for (const auto& row : titles) {
        SCOPED_TRACE(row.title + " " + std::to_string(row.part));
        const std::string title = partTitle(row.title, row.part, row.parts);
        EXPECT_EQ(title, row.expected);
        EXPECT_LE(title.size(), 31u);
    }
}

TEST(Split, AFortyFiveMinuteRecordingGivesThreeWholeDatabasesHoldingEveryFrame) {
    TempDirectory dir;
    const Split split;
    const ConversionOutcome outcome = convert(settingsFor(dir / "lecture.pdb", split), split);
    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
    const std::int64_t frameCount = runSize(kMinutes45, kRate).frameCount;
    EXPECT_EQ(outcome.framesTotal, frameCount);
    EXPECT_EQ(outcome.framesCoded, frameCount);
    ASSERT_EQ(outcome.databases.size(), 3u);
    EXPECT_EQ(outcome.message,
              "Conversion completed successfully, the audio was split over 3 audio database "
              "files: \"lecture-1.pdb\", \"lecture-2.pdb\", \"lecture-3.pdb\".");
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"lecture-1.pdb", "lecture-2.pdb", "lecture-3.pdb"}));

    // The first part is the cut database but for its name.
    TempDirectory cutDir;
    Split whole = split;
    whole.split = false;
    const ConversionOutcome cut = convert(settingsFor(cutDir / "cut.pdb", whole), whole);
    ASSERT_EQ(cut.kind, OutcomeKind::DatabaseFull);
    Bytes cutFile = readFileBytes(cutDir / "cut.pdb");

    const std::vector<std::int16_t> stream = wholeStream(kMinutes45);
    std::int64_t first = 0;
    std::uint32_t durationMs = 0;
    for (int part = 1; part <= 3; ++part) {
        SCOPED_TRACE("part " + std::to_string(part));
        const SavedDatabase& saved = outcome.databases[static_cast<std::size_t>(part - 1)];
        EXPECT_EQ(saved.path, dir / ("lecture-" + std::to_string(part) + ".pdb"));
        EXPECT_EQ(saved.title, "Lecture " + std::to_string(part) + "/3");
        Bytes file = readFileBytes(saved.path);
        EXPECT_EQ(nameOf(file), saved.title);
        const test_support::StreamSummary summary = walkStream(file, 0);
        EXPECT_LE(summary.records, 200u);  // the information record and at most 199 more
        EXPECT_EQ(summary.records, saved.recordCount);
        EXPECT_EQ(summary.audioChunks, saved.framesCoded);
        // Each part's Frames are the stream's next ones, coded as a database of their own.
        EXPECT_EQ(summary.audioChunkBytes, freshlyCoded(stream, 8, first, saved.framesCoded));
        // The description is every part's.
        const std::uint32_t info = test_support::be32(file, 78);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + info + 4)), "Room 4");
        if (part == 1) {
            EXPECT_EQ(saved.framesCoded, cut.framesCoded);
            std::fill(file.begin(), file.begin() + 32, 0);
            std::fill(cutFile.begin(), cutFile.begin() + 32, 0);
            EXPECT_EQ(file, cutFile);
        }
        first += saved.framesCoded;
        durationMs += summary.durationMs;
    }
    EXPECT_EQ(first, frameCount);
    EXPECT_EQ(durationMs, frameCount * kFrameMs);
}

TEST(Split, EveryPartOfAnAdpcmRunStartsFromAFreshCoder) {
    TempDirectory dir;
    Split split{.bits = 4, .lengthStated = false};
    const ConversionOutcome outcome = convert(settingsFor(dir / "lecture.pdb", split), split);
    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
    ASSERT_EQ(outcome.databases.size(), 2u);
    const std::vector<std::int16_t> stream = wholeStream(kMinutes45);
    std::int64_t first = 0;
    for (const SavedDatabase& saved : outcome.databases) {
        SCOPED_TRACE(saved.title);
        const test_support::StreamSummary summary = walkStream(readFileBytes(saved.path), 7);
        EXPECT_EQ(summary.audioChunkBytes, freshlyCoded(stream, 4, first, saved.framesCoded));
        first += saved.framesCoded;
    }
    EXPECT_EQ(first, runSize(kMinutes45, kRate).frameCount);
}

// The search encoder goes on in every part, started afresh as the greedy one is.
TEST(Split, EveryPartKeepsTheSearchEncoder) {
    TempDirectory dir;
    const std::int64_t twoMinutes = std::int64_t{kRate} * 120;
    Split split{.bits = 3, .minutes = 1, .frames = twoMinutes};
    ConversionSettings settings = settingsFor(dir / "lecture.pdb", split);
    settings.adpcmCoding = AdpcmCoding::Search;
    const ConversionOutcome outcome = convert(settings, split);
    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
    ASSERT_EQ(outcome.databases.size(), 2u);
    const std::vector<std::int16_t> stream = wholeStream(twoMinutes);
    std::int64_t first = 0;
    for (const SavedDatabase& saved : outcome.databases) {
        SCOPED_TRACE(saved.title);
        const test_support::StreamSummary summary = walkStream(readFileBytes(saved.path), 6);
        EXPECT_EQ(summary.audioChunkBytes,
                  freshlyCoded(stream, 3, first, saved.framesCoded, AdpcmCoding::Search));
        EXPECT_NE(summary.audioChunkBytes, freshlyCoded(stream, 3, first, saved.framesCoded));
        first += saved.framesCoded;
    }
}

TEST(Split, PartsOfAGivenLengthEndAtThatFrameButNeverPastAFullDatabase) {
    const struct {
        int minutes;
        std::vector<std::int64_t> frames;
    } cases[] = {
        {20, {60000, 60000, 15000}},
        {15, {45000, 45000, 45000}},
        {30, {63282, 63282, 8436}},  // a part is never longer than a database holds
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.minutes);
        TempDirectory dir;
        const Split split{.minutes = row.minutes};
        const ConversionOutcome outcome = convert(settingsFor(dir / "lecture.pdb", split), split);
        ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
        std::vector<std::int64_t> frames;
        for (const SavedDatabase& saved : outcome.databases) {
            frames.push_back(saved.framesCoded);
        }
        EXPECT_EQ(frames, row.frames);
    }
}

TEST(Split, AudioThatFitsIsSavedAsWithoutSplitting) {
    const Split cases[] = {
        {.frames = 5 * 60 * kRate},
        {.minutes = 1, .frames = 60 * kRate - 1},  // 2999 Frames: the minute is not reached
        {.minutes = 1, .frames = 60 * kRate},      // 3000 Frames end the part and the run
    };
    for (const Split& split : cases) {
        SCOPED_TRACE(split.frames);
        TempDirectory dir;
        const ConversionOutcome outcome = convert(settingsFor(dir / "split.pdb", split), split);
        ASSERT_EQ(outcome.kind, OutcomeKind::Success);
        EXPECT_EQ(outcome.message, kSuccessText);
        ASSERT_EQ(outcome.databases.size(), 1u);
        EXPECT_EQ(outcome.databases[0].title, "Lecture");
        Split plain = split;
        plain.split = false;
        ASSERT_FALSE(convert(settingsFor(dir / "plain.pdb", plain), plain).failed());
        EXPECT_EQ(readFileBytes(dir / "split.pdb"), readFileBytes(dir / "plain.pdb"));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"plain.pdb", "split.pdb"}));
    }
}

TEST(Split, AStoppedOrRefusedSplitLeavesNoPartBehind) {
    {
        // Stopped once the first part has been written to its temporary file.
        TempDirectory dir;
        StopToken stop;
        const Split split;
        ConversionSettings settings = settingsFor(dir / "lecture.pdb", split);
        settings.stop = &stop;
        settings.threads = 1;
        ConversionJob job(settings, [&stop](double fraction) {
            if (fraction > 0.6) {
                stop.request();
            }
        });
        job.readInputFrom(std::make_unique<GeneratedSource>(lecture(kMinutes45)));
        EXPECT_EQ(job.run().kind, OutcomeKind::Cancelled);
        EXPECT_TRUE(dir.entries().empty());
    }
    {
        // A part that exists is not replaced when asked to keep it: nothing is written.
        TempDirectory dir;
        const Split split;
        test_support::writeFile(dir / "lecture-2.pdb", Bytes{1, 2, 3});
        ConversionSettings settings = settingsFor(dir / "lecture.pdb", split);
        settings.keepExistingParts = true;
        const ConversionOutcome outcome = convert(settings, split);
        EXPECT_EQ(outcome.kind, OutcomeKind::SaveError);
        EXPECT_NE(outcome.detail.find("lecture-2.pdb\" exists already"), std::string::npos);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"lecture-2.pdb"});
        EXPECT_EQ(readFileBytes(dir / "lecture-2.pdb"), (Bytes{1, 2, 3}));
    }
}

}  // namespace
}  // namespace zelvio
