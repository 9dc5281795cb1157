// zelvio convert with many inputs and with --split: the same databases as single runs, one line
// per file and a summary, the exit status of a batch, and the usage it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/command_runner.h"
#include "support/wave_builder.h"

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::CommandRun;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::zelvio;

/// A tone of frames sample frames at rate, mono or stereo.
Bytes toneWave(std::uint32_t rate, std::uint16_t channels, std::size_t frames) {
    std::vector<std::int16_t> pcm(frames * channels);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(((i * 37) % 3000) - 1500 + (i / 9000 % 2) * 900);
    }
    return zelvio::test_support::canonicalWave({.channels = channels, .sampleRate = rate},
                                               zelvio::test_support::pcm16Bytes(pcm));
}

struct Input {
    const char* name;
    std::uint32_t rate;
    std::uint16_t channels;
    std::size_t frames;
};

const Input kEight[] = {
    {"a.wav", 8000, 1, 8000},   {"b.wav", 11025, 2, 20000}, {"c.wav", 16000, 1, 3000},
    {"d.wav", 22050, 2, 30000}, {"e.wav", 44100, 2, 50000}, {"f.wav", 48000, 1, 40000},
    {"g.wav", 613, 1, 1500},    {"h.wav", 32000, 2, 64000},
};

std::string names(const std::vector<Input>& inputs) {
    std::string text;
    for (const Input& input : inputs) {
        text += std::string(" ") + input.name;
    }
    return text;
}

TEST(ZelvioBatch, EightFilesOnTwoJobsGiveTheBytesOfEightSingleRuns) {
    for (const char* mode : {"", " --bits 4 --vad"}) {
        SCOPED_TRACE(mode);
        TempDirectory dir;
        const std::vector<Input> inputs(std::begin(kEight), std::end(kEight));
        for (const Input& input : inputs) {
            dir.write(input.name, toneWave(input.rate, input.channels, input.frames));
        }
        fs::create_directory(dir / "out");
        const CommandRun run = zelvio(dir, "convert" + names(inputs) + " -j 2 -d out" + mode);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("8 files: 8 converted, 0 cut, 0 failed\n"), std::string::npos)
            << run.out;
        for (const Input& input : inputs) {
            SCOPED_TRACE(input.name);
            const std::string stem = fs::path(input.name).stem().string();
            std::string line = "\"";  // piece by piece: GCC 12 -O3 warns on "\"" + string
            line += input.name;
            line += "\" -> out/" + stem + ".pdb: saved, ";
            EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
            const CommandRun single =
                zelvio(dir, std::string("convert ") + input.name + " -q -o single.pdb -f" + mode);
            ASSERT_EQ(single.status, 0) << single.err;
            EXPECT_EQ(readFileBytes(dir / "out" / (stem + ".pdb")),
                      readFileBytes(dir / "single.pdb"));
        }
    }
}

TEST(ZelvioBatch, ABadFileFailsAloneAndTheBatchExitsWithOne) {
    TempDirectory dir;
    std::vector<Input> inputs(std::begin(kEight), std::end(kEight));
    for (const Input& input : inputs) {
        dir.write(input.name, toneWave(input.rate, input.channels, input.frames));
    }
    dir.write("d.wav", Bytes(60, 'x'));  // not a WAVE file
    const CommandRun run = zelvio(dir, "convert" + names(inputs) + " -j 2");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("zelvio: \"d.wav\": Cannot open input WAVE file!"), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("8 files: 7 converted, 0 cut, 1 failed\n"), std::string::npos)
        << run.out;
    for (const Input& input : inputs) {
        const fs::path database = (dir / input.name).replace_extension(".pdb");
        EXPECT_EQ(fs::exists(database), std::string(input.name) != "d.wav") << database;
    }
}

// -d names a folder the user wants the databases in: one not there yet is made (nested too);
// a path that is a file cannot be, and nothing is converted.
TEST(ZelvioBatch, TheDirectoryIsMadeWhenItIsNotThereYet) {
    TempDirectory dir;
    dir.write("a.wav", toneWave(8000, 1, 4000));
    dir.write("b.wav", toneWave(11025, 2, 4000));
    dir.write("file", Bytes{'x'});
    const struct {
        const char* arguments;
        int status;
        const char* database;  // expected afterwards, or empty
    } cases[] = {
        {"convert a.wav b.wav -d new/deeper -q", 0, "new/deeper/b.pdb"},
        {"convert a.wav -d single -q", 0, "single/a.pdb"},
        {"convert a.wav b.wav -d file/sub -q", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandRun run = zelvio(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (*c.database != '\0') {
            EXPECT_TRUE(fs::exists(dir / c.database));
        } else {
            EXPECT_NE(run.err.find("cannot make the folder"), std::string::npos) << run.err;
        }
    }
}

TEST(ZelvioBatch, ACutFileMakesTheBatchExitWithThreeAndSplitKeepsItAll) {
    TempDirectory dir;
    // 22 minutes at 1000 Hz: more than the 21:05 an 8-bit database holds.
    dir.write("long.wav", toneWave(1000, 1, 22 * 60 * 1000));
    dir.write("short.wav", toneWave(8000, 1, 8000));
    CommandRun run = zelvio(dir, "convert short.wav long.wav");
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("\"long.wav\" -> long.pdb: saved (cut), "), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("2 files: 1 converted, 1 cut, 0 failed\n"), std::string::npos);

    run = zelvio(dir, "convert long.wav --split -o lecture.pdb --title Lecture");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "lecture-1.pdb: saved, 12,727,864 bytes, 8-bit PCM, 63,282 Frames (21:05), "
              "200 records\n"
              "lecture-2.pdb: saved, 546,900 bytes, 8-bit PCM, 2,718 Frames (0:54), 10 records\n");
    EXPECT_FALSE(fs::exists(dir / "lecture.pdb"));
    for (const char* part : {"lecture-1.pdb", "lecture-2.pdb"}) {
        const Bytes file = readFileBytes(dir / part);
        ASSERT_GT(file.size(), 32u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data())),
                  std::string("Lecture ") + (part[8] == '1' ? "1/2" : "2/2"));
    }
    // The parts are kept unless forced, as any database is.
    run = zelvio(dir, "convert long.wav --split-minutes 10 -o lecture.pdb -q");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\"lecture-1.pdb\" exists already"), std::string::npos) << run.err;
    run = zelvio(dir, "convert long.wav --split-minutes 10 -o lecture.pdb -q -f");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "lecture-3.pdb"));
}

TEST(ZelvioBatch, UsageItRefusesExitsWithTwo) {
    TempDirectory dir;
    dir.write("a.wav", toneWave(8000, 1, 800));
    dir.write("b.wav", toneWave(8000, 1, 800));
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"convert a.wav b.wav -o x.pdb", "-o names one database"},
        {"convert a.wav b.wav --title X", "--title names one database"},
        {"convert a.wav -", "standard input (-) can only be converted alone"},
        {"convert a.wav ./a.wav", "two inputs would write the same database"},
        {"convert a.wav --split -o -", "cannot write to standard output"},
        {"convert a.wav --split-minutes 0", "--split-minutes"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.arguments);
        const CommandRun run = zelvio(dir, row.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "a.pdb"));
}

}  // namespace
