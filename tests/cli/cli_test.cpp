// The zelvio command as a user runs it: exit statuses, messages, files written or kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/command_runner.h"
#include "support/database_bytes.h"
#include "support/wave_builder.h"

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::CommandRun;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::readText;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::zelvio;

Bytes shortWave(std::uint32_t rate, std::size_t samples) {
    std::vector<std::int16_t> pcm(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        pcm[i] = static_cast<std::int16_t>((i * 37) % 2000) - 1000;
    }
    return zelvio::test_support::canonicalWave({.sampleRate = rate},
                                               zelvio::test_support::pcm16Bytes(pcm));
}

TEST(ZelvioCommand, ConvertsWithDefaultNameAndTitle) {
    TempDirectory dir;
    dir.write("memo.wav", shortWave(8000, 8000));
    const CommandRun run = zelvio(dir, "convert memo.wav");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // 78 + 16 + 136 + 32 + 50 x 201 bytes: 8-bit by default
    EXPECT_EQ(run.out, "memo.pdb: saved, 10,312 bytes, 8-bit PCM, 50 Frames (0:01), 2 records\n");
    const Bytes file = readFileBytes(dir.path() / "memo.pdb");
    ASSERT_EQ(file.size(), 78u + 16 + 136 + 32 + 50 * 201);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data())), "memo");
}

TEST(ZelvioCommand, QuietPrintsNothingAndOptionsReachTheDatabase) {
    TempDirectory dir;
    dir.write("in.wav", shortWave(8000, 8000));
    const CommandRun run = zelvio(dir,
                                  "convert in.wav -o out.pdb --title Memo --description Hi "
                                  "--bits 2 --vad -q");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const Bytes file = readFileBytes(dir.path() / "out.pdb");
    ASSERT_GE(file.size(), 262u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data())), "Memo");
    EXPECT_EQ(zelvio::test_support::be16(file, 230 + 12), 5u);  // 2-bit ADPCM
}

TEST(ZelvioCommand, KeepsAnExistingOutputUnlessForced) {
    TempDirectory dir;
    dir.write("in.wav", shortWave(8000, 4000));
    dir.write("in.pdb", Bytes{'o', 'l', 'd'});
    CommandRun run = zelvio(dir, "convert in.wav");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("exists already"), std::string::npos) << run.err;
    EXPECT_EQ(readText(dir.path() / "in.pdb"), "old");
    run = zelvio(dir, "convert in.wav --force -q");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(readFileBytes(dir.path() / "in.pdb").size(), 262u);
}

TEST(ZelvioCommand, ReportsFailuresWithTheJobsMessage) {
    TempDirectory dir;
    dir.write("bad.wav", Bytes(50, 'x'));
    const CommandRun run = zelvio(dir, "convert bad.wav");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Cannot open input WAVE file!"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not a RIFF WAVE file"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.path() / "bad.pdb"));
}

TEST(ZelvioCommand, UsageErrorsExitWithTwo) {
    TempDirectory dir;
    dir.write("in.wav", shortWave(8000, 400));
    for (const char* arguments :
         {"", "convert", "convert in.wav --bits 5", "convert in.wav --nope", "transmogrify in.wav",
          "convert in.wav --encoder best", "convert in.wav --encoder search=0",
          "convert in.wav --encoder search=65", "convert in.wav --encoder search=",
          "convert in.wav --encoder search=+4", "convert in.wav --encoder searching"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(zelvio(dir, arguments).status, 2);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "in.pdb"));
}

// The search encoder keeps the database's size and says so in the summary; one path, or 8-bit
// PCM, writes the greedy encoder's bytes.
TEST(ZelvioCommand, TheSearchEncoderIsChosenByName) {
    TempDirectory dir;
    dir.write("in.wav", shortWave(8000, 8000));
    const struct {
        const char* options;
        const char* summaryMode;
        bool greedyBytes;
    } cases[] = {
        {"--bits 4 --encoder search", "4-bit ADPCM (search encoder), ", false},
        {"--bits 2 --vad --encoder search=24",
         "2-bit ADPCM (search encoder) with voice activity detection, ", false},
        {"--bits 3 --encoder search=1", "3-bit ADPCM (search encoder), ", true},
        {"--bits 8 --encoder search", "8-bit PCM, ", true},
        {"--bits 4 --encoder greedy", "4-bit ADPCM, ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string options = c.options;
        const std::string greedyOptions = options.substr(0, options.find(" --encoder"));
        ASSERT_EQ(zelvio(dir, "convert in.wav -f -q -o greedy.pdb " + greedyOptions).status, 0);
        const CommandRun run = zelvio(dir, "convert in.wav -f -o chosen.pdb " + options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.summaryMode), std::string::npos) << run.out;
        const Bytes greedy = readFileBytes(dir.path() / "greedy.pdb");
        const Bytes chosen = readFileBytes(dir.path() / "chosen.pdb");
        EXPECT_EQ(chosen.size(), greedy.size());
        EXPECT_EQ(chosen == greedy, c.greedyBytes);
    }
}

TEST(ZelvioCommand, HelpAndVersion) {
    TempDirectory dir;
    CommandRun run = zelvio(dir, "--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("1.0.0.1"), std::string::npos);
    run = zelvio(dir, "convert --help");
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--output", "--title", "--description", "--bits", "--vad",
                               "--encoder", "--force", "--quiet"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
}

// 21 min 20 s of input: at 8 bits the 199 stream records hold 199 x 318 Frames (21:05), so the
// end is cut, what fits is saved, and the command says how much was kept.
TEST(ZelvioCommand, AFullDatabaseIsSavedCutAndExitsWithThree) {
    TempDirectory dir;
    dir.write("long.wav", shortWave(1000, 1280 * 1000));
    const CommandRun run = zelvio(dir, "convert long.wav");
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("21:05 of 21:20"), std::string::npos) << run.err;
    // 78 + 200 x 8 + 136 + 199 x (32 + 318 x 201) bytes
    EXPECT_EQ(run.out,
              "long.pdb: saved (cut), 12,727,864 bytes, 8-bit PCM, 63,282 of 64,000 Frames "
              "(21:05 of 21:20), 200 records\n");
    const Bytes file = readFileBytes(dir.path() / "long.pdb");
    ASSERT_GT(file.size(), 78u);
    EXPECT_EQ(zelvio::test_support::be16(file, 76), 200u);
    const auto summary = zelvio::test_support::walkStream(file, 0);
    EXPECT_EQ(summary.audioChunks, 199u * 318);
}

}  // namespace
