// Many conversions at once: how the threads are shared, outcomes in the order of the runs with a
// failure kept to its own run, and a stopped batch that begins nothing more.
#include "job/conversion_batch.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/wave_builder.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;

TEST(BatchShape, SharesTheThreadBudgetBetweenTheConversionsAtOnce) {
    const struct {
        std::size_t runs;
        unsigned jobs;
        unsigned threads;
        BatchShape expected;
    } cases[] = {
        {8, 2, 4, {2, 2}}, {8, 4, 2, {4, 1}}, {2, 8, 8, {2, 4}},
        {0, 2, 2, {1, 2}}, {1, 1, 6, {1, 6}}, {16, 3, 8, {3, 2}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(std::to_string(row.runs) + " runs, -j " + std::to_string(row.jobs));
        const BatchShape shape = batchShape(row.runs, {.jobs = row.jobs, .threads = row.threads});
        EXPECT_EQ(shape.jobs, row.expected.jobs);
        EXPECT_EQ(shape.threadsPerJob, row.expected.threadsPerJob);
    }
    // By default one conversion a core, each on one thread.
    const BatchShape all = batchShape(64, {});
    EXPECT_GE(all.jobs, 1u);
    EXPECT_EQ(all.threadsPerJob, 1u);
}

Bytes tone(std::size_t samples) {
    std::vector<std::int16_t> pcm(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        pcm[i] = static_cast<std::int16_t>((i * 41) % 3000) - 1500;
    }
    return test_support::canonicalWave({.sampleRate = 11025}, test_support::pcm16Bytes(pcm));
}

TEST(RunBatch, EachRunEndsAsAloneAndAFailureStaysInItsRun) {
    TempDirectory dir;
    std::vector<ConversionSettings> runs;
    for (int run = 0; run < 6; ++run) {
        const std::string name = "in" + std::to_string(run);
        dir.write(name + ".wav", run == 3 ? Bytes(40, 'x') : tone(3000 + 1000 * run));
        ConversionSettings settings;
        settings.inputPath = dir / (name + ".wav");
        settings.databasePath = dir / (name + ".pdb");
        settings.bitsPerSample = 4;
        runs.push_back(settings);
    }
    std::vector<std::size_t> reported;
    const std::vector<ConversionOutcome> outcomes =
        runBatch(runs, {.jobs = 3, .threads = 2},
                 [&](std::size_t run, const ConversionOutcome&) { reported.push_back(run); });
    ASSERT_EQ(outcomes.size(), runs.size());
    EXPECT_EQ(std::set<std::size_t>(reported.begin(), reported.end()).size(), runs.size());
    for (std::size_t run = 0; run < runs.size(); ++run) {
        SCOPED_TRACE(run);
        if (run == 3) {
            EXPECT_EQ(outcomes[run].kind, OutcomeKind::InputError);
            EXPECT_FALSE(fs::exists(runs[run].databasePath));
            continue;
        }
        ASSERT_EQ(outcomes[run].kind, OutcomeKind::Success);
        ConversionSettings alone = runs[run];
        alone.databasePath = dir / "alone.pdb";
        ASSERT_EQ(ConversionJob(alone).run().kind, OutcomeKind::Success);
        EXPECT_EQ(readFileBytes(runs[run].databasePath), readFileBytes(alone.databasePath));
    }
}

TEST(RunBatch, AStoppedBatchBeginsNothingMore) {
    TempDirectory dir;
    dir.write("in.wav", tone(4000));
    std::vector<ConversionSettings> runs(3);
    for (std::size_t run = 0; run < runs.size(); ++run) {
        runs[run].inputPath = dir / "in.wav";
        runs[run].databasePath = dir / ("out" + std::to_string(run) + ".pdb");
    }
    StopToken stop;
    stop.request();
    for (const ConversionOutcome& outcome : runBatch(runs, {.jobs = 2, .stop = &stop})) {
        EXPECT_EQ(outcome.kind, OutcomeKind::Cancelled);
        EXPECT_EQ(outcome.message, kCancelledText);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

}  // namespace
}  // namespace zelvio
