// zelvio against hostile files and careless use: the input as its own output, links at the
// output, the first real problem named first, a replaced file's mode, runs racing for one output,
// text from files escaped before it reaches a terminal, recordings cut short, RF64 sizes, and
// stopping a long decode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pdb/byte_sink.h"
#include "pdb/palm_database.h"
#include "pdb/stream_format.h"
#include "support/command_runner.h"
#include "support/wave_builder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::readText;
using zelvio::test_support::shellLine;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::WaveBuilder;
using zelvio::test_support::zelvio;

std::vector<std::int16_t> tone(std::size_t samples) {
    std::vector<std::int16_t> pcm(samples);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(static_cast<int>((i * 53) % 4000) - 2000);
    }
    return pcm;
}

Bytes monoWave(std::size_t samples) {
    return zelvio::test_support::canonicalWave({.channels = 1, .sampleRate = 8000},
                                               zelvio::test_support::pcm16Bytes(tone(samples)));
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Hardening, TheInputIsNeverItsOwnOutputThroughAnyNameOrLink) {
    const Bytes wave = monoWave(8000);
    struct Case {
        const char* command;
        const char* input;
    };
    // Each with and without --force.
    const Case cases[] = {
        {"convert in.wav -o in.wav", "in.wav"},   {"convert in.wav -o ./in.wav", "in.wav"},
        {"convert in.wav -o hard.wav", "in.wav"}, {"convert in.wav -o soft.wav", "in.wav"},
        {"convert soft.wav -o in.wav", "in.wav"}, {"decode in.pdb -o in.pdb", "in.pdb"},
        {"decode in.pdb -o hard.pdb", "in.pdb"},
    };
    for (const Case& c : cases) {
        for (const char* force : {"", " -f"}) {
            SCOPED_TRACE(std::string(c.command) + force);
            TempDirectory dir;
            const fs::path wav = dir.write("in.wav", wave);
            ASSERT_EQ(zelvio(dir, "convert in.wav -q").status, 0);
            const Bytes before = readFileBytes(dir / c.input);
            fs::create_hard_link(
                dir / c.input, dir / (std::string(c.input) == "in.wav" ? "hard.wav" : "hard.pdb"));
            fs::create_symlink(dir / c.input, dir / "soft.wav");
            const auto run = zelvio(dir, std::string(c.command) + force);
            EXPECT_EQ(run.status, 1) << run.err;
            EXPECT_TRUE(contains(run.err, "is the input file itself")) << run.err;
            EXPECT_EQ(readFileBytes(dir / c.input), before);
        }
    }
}

TEST(Hardening, OutputsAreJudgedWithoutFollowingLinksAndAfterTheInput) {
    struct Case {
        const char* name;
        const char* arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"dangling link", "convert in.wav -o dangling.pdb", 1,
         "\"dangling.pdb\" exists already (use --force to overwrite it)"},
        {"missing input, existing output", "convert missing.flac -o old.pdb", 1,
         "\"missing.flac\": cannot open file"},
        {"unreadable input, existing output", "convert junk.wav -o old.pdb", 1,
         "\"junk.wav\": not a RIFF WAVE file"},
        {"folder", "convert in.wav -o sub", 1, "\"sub\" is a folder"},
        {"folder, forced", "convert in.wav -o sub -f", 1, "\"sub\" is a folder"},
        {"decode to a dangling link", "decode old.pdb -o dangling.pdb", 1,
         "\"dangling.pdb\" exists already (use --force to overwrite it)"},
        {"decode to a folder, forced", "decode old.pdb -o sub -f", 1, "\"sub\" is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory dir;
        (void)dir.write("in.wav", monoWave(8000));
        (void)dir.write("junk.wav", {'j', 'u', 'n', 'k', 0, 0, 0, 0, 0, 0, 0, 0, 0});
        ASSERT_EQ(zelvio(dir, "convert in.wav -o old.pdb -q").status, 0);
        fs::create_symlink(dir / "nowhere", dir / "dangling.pdb");
        fs::create_directory(dir / "sub");
        const auto run = zelvio(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(contains(run.err, c.message)) << run.err;
        EXPECT_TRUE(fs::is_symlink(dir / "dangling.pdb"));
        EXPECT_FALSE(fs::exists(dir / "nowhere"));
    }
}

TEST(Hardening, ForceKeepsTheModeOfTheFileItReplaces) {
    for (const mode_t mode : {0600u, 0640u}) {
        SCOPED_TRACE(mode);
        TempDirectory dir;
        (void)dir.write("in.wav", monoWave(8000));
        const fs::path output = dir.write("in.pdb", {'o', 'l', 'd'});
        ASSERT_EQ(::chmod(output.c_str(), mode), 0);
        ASSERT_EQ(zelvio(dir, "convert in.wav -f -q").status, 0);
        struct stat status {};
        ASSERT_EQ(::stat(output.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
        EXPECT_GT(status.st_size, 3);
    }
}

TEST(Hardening, OfRunsRacingForOneNewOutputExactlyOneWritesIt) {
    for (const char* command : {"convert in.wav -o out.x -q", "decode in.pdb -o out.x -q"}) {
        SCOPED_TRACE(command);
        TempDirectory dir;
        (void)dir.write("in.wav", monoWave(80000));
        ASSERT_EQ(zelvio(dir, "convert in.wav -q").status, 0);
        const auto run =
            shellLine(dir, std::string("for i in 1 2 3 4 5 6 7 8; do (\"$ZELVIO\" ") + command +
                               " 2>/dev/null; echo $? > status$i) & done; wait; cat status*");
        int succeeded = 0;
        int refused = 0;
        std::istringstream statuses(run.out);
        for (int status = 0; statuses >> status;) {
            succeeded += status == 0;
            refused += status == 1;
        }
        EXPECT_EQ(succeeded, 1) << run.out;
        EXPECT_EQ(refused, 7) << run.out;
        for (const std::string& entry : dir.entries()) {
            EXPECT_FALSE(contains(entry, ".tmp")) << entry;
        }
    }
}

/// A database whose name (the first 32 bytes) holds terminal control sequences.
Bytes withHostileName(Bytes database) {
    const std::string name = "\x1b]0;owned\x07\x1b[2J";
    std::fill(database.begin(), database.begin() + 32, 0);
    std::copy(name.begin(), name.end(), database.begin());
    return database;
}

TEST(Hardening, TextFromFilesReachesTheTerminalEscaped) {
    TempDirectory dir;
    (void)dir.write("in.wav", monoWave(8000));
    ASSERT_EQ(zelvio(dir, "convert in.wav -q").status, 0);
    (void)dir.write("evil.pdb", withHostileName(readFileBytes(dir / "in.pdb")));
    (void)dir.write("bad\x1b[2J.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'X', 'X', 'X', 'X'});
    struct Case {
        const char* arguments;
        bool toStandardOutput;
        const char* shown;
    };
    const Case cases[] = {
        {"info evil.pdb", true, "Name:          \\x1b]0;owned\\x07\\x1b[2J"},
        {"info evil.pdb --json", true, "\"name\": \"\\u001B]0;owned\\u0007\\u001B[2J\""},
        {"info 'bad\x1b[2J.wav'", false, "bad\\x1b[2J.wav"},
        {"convert 'bad\x1b[2J.wav' -o x.pdb", false, "\"bad\\x1b[2J.wav\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto run = zelvio(dir, c.arguments);
        const std::string& text = c.toStandardOutput ? run.out : run.err;
        EXPECT_TRUE(contains(text, c.shown)) << text;
        EXPECT_FALSE(contains(run.out + run.err, "\x1b")) << run.out << run.err;
        EXPECT_FALSE(contains(run.out + run.err, "\x07"));
    }
}

TEST(Hardening, ARecordingCutShortConvertsWhatIsThereAndSaysSo) {
    TempDirectory dir;
    const Bytes samples = zelvio::test_support::pcm16Bytes(tone(8000));
    // The data chunk states 16000 bytes, the file holds 10000 of them.
    const Bytes cut = WaveBuilder()
                          .format({.channels = 1, .sampleRate = 8000})
                          .rawChunk("data", 16000, Bytes(samples.begin(), samples.begin() + 10000))
                          .bytes();
    (void)dir.write("cut.wav", cut);
    (void)dir.write("whole.wav", zelvio::test_support::canonicalWave(
                                     {.channels = 1, .sampleRate = 8000},
                                     Bytes(samples.begin(), samples.begin() + 10000)));
    const auto run = zelvio(dir, "convert cut.wav");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err,
                         "note: the file is cut short: its audio data holds 10000 of the "
                         "16000 bytes its header states"))
        << run.err;
    ASSERT_EQ(zelvio(dir, "convert whole.wav -o whole.pdb --title cut -q").status, 0);
    EXPECT_EQ(readFileBytes(dir / "cut.pdb"), readFileBytes(dir / "whole.pdb"));
}

TEST(Hardening, AnRf64FileEndsItsSamplesWhereItsDs64ChunkSays) {
    TempDirectory dir;
    const Bytes samples = zelvio::test_support::pcm16Bytes(tone(8000));
    Bytes ds64;
    zelvio::test_support::appendLe64(ds64, 0);               // RIFF size (unused here)
    zelvio::test_support::appendLe64(ds64, samples.size());  // data size
    zelvio::test_support::appendLe64(ds64, 8000);            // sample count
    zelvio::test_support::appendLe32(ds64, 0);               // no table
    const Bytes rf64 = WaveBuilder()
                           .riffId("RF64")
                           .chunk("ds64", ds64)
                           .format({.channels = 1, .sampleRate = 8000})
                           .rawChunk("data", 0xFFFFFFFFu, samples)
                           .chunk("LIST", Bytes(400, 0x55))  // after the samples: not audio
                           .bytes();
    (void)dir.write("big.wav", rf64);
    (void)dir.write("plain.wav", zelvio::test_support::canonicalWave(
                                     {.channels = 1, .sampleRate = 8000}, samples));
    ASSERT_EQ(zelvio(dir, "convert big.wav -o big.pdb --title t -q").status, 0);
    ASSERT_EQ(zelvio(dir, "convert plain.wav -o plain.pdb --title t -q").status, 0);
    EXPECT_EQ(readFileBytes(dir / "big.pdb"), readFileBytes(dir / "plain.pdb"));
}

/// Whether the process catches the signal (its handler is installed), from /proc.
bool catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
            std::uint64_t mask = 0;
            std::istringstream(line.substr(7)) >> std::hex >> mask;
            return ((mask >> (signal - 1)) & 1) != 0;
        }
    }
    return false;
}

/// The largest database there is: 199 stream records of one-byte silence chunks, 70 hours,
/// whose decoding would pass a plain WAVE file's 4 GiB.
Bytes longestDatabase() {
    zelvio::PalmDatabase database;
    EXPECT_EQ(database.create("Long", "silence", "", 1), zelvio::kDbOk);
    database.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(zelvio::CodecCode::Adpcm2),
                         200);
    const std::uint8_t silence = 0x01;
    while (database.appendChunk(0, 1, &silence) == zelvio::kDbOk) {
    }
    zelvio::MemoryByteSink image;
    EXPECT_EQ(database.writeImage(image), zelvio::kDbOk);
    return image.bytes();
}

TEST(Hardening, SigintAndSigtermStopADecodeAndRemoveItsUnfinishedFile) {
    const Bytes database = longestDatabase();
    ASSERT_GT(database.size(), 10'000'000u);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        TempDirectory dir;
        const fs::path input = dir.write("long.pdb", database);
        const std::string program = ZELVIO_CLI;
        std::vector<std::string> arguments = {program, "decode", input.string(), "-o",
                                              (dir / "long.wav").string()};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "err.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        pid_t ended = 0;
        while (!catches(pid, signal) && (ended = ::waitpid(pid, &status, WNOHANG)) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(ended, 0) << "the command ended before it could be stopped";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(::kill(pid, signal), 0);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(readText(dir / "err.txt"), "zelvio: decoding stopped; nothing was written\n");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"err.txt", "long.pdb"}));
    }
}

}  // namespace
