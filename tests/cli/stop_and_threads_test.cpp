// zelvio convert and the machine: --threads, and stopping a running conversion with SIGINT or
// SIGTERM as Ctrl-C and kill do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/command_runner.h"
#include "support/wave_builder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::readText;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::zelvio;

Bytes toneWave(std::uint32_t rate, std::size_t frames) {
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>((i * 53) % 4000) - 2000;
    }
    return zelvio::test_support::canonicalWave({.channels = 2, .sampleRate = rate},
                                               zelvio::test_support::pcm16Bytes(pcm));
}

TEST(ZelvioCommand, AnyNumberOfThreadsWritesTheSameDatabase) {
    TempDirectory dir;
    dir.write("in.wav", toneWave(44100, 44100 * 20 + 7));
    EXPECT_NE(zelvio(dir, "convert --help").out.find("--threads"), std::string::npos);
    ASSERT_EQ(zelvio(dir, "convert in.wav -o one.pdb --bits 4 --vad --threads 1").status, 0);
    const Bytes one = readFileBytes(dir / "one.pdb");
    ASSERT_GT(one.size(), 262u);
    for (const char* threads : {"0", "2", "5", "1000"}) {
        SCOPED_TRACE(threads);
        const auto run = zelvio(dir, std::string("convert in.wav -o n.pdb --bits 4 --vad -f ") +
                                         "--threads " + threads);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(readFileBytes(dir / "n.pdb") == one);
    }
    for (const char* bad : {"-1", "two"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(zelvio(dir, std::string("convert in.wav -o bad.pdb --threads ") + bad).status, 2);
    }
    EXPECT_FALSE(fs::exists(dir / "bad.pdb"));
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

// A signal while a long input converts stops the command cleanly: exit 128 + the signal, the
// message, and neither the database nor a temporary file beside it.
TEST(ZelvioCommand, SigintAndSigtermStopAConversionAndLeaveNothing) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        TempDirectory dir;
        // Two and a half hours of 48 kHz stereo, as a sparse file: reads as silence, costs no disk.
        constexpr std::uint32_t kDataBytes = 48000u * 4 * 9000;
        Bytes header =
            zelvio::test_support::canonicalWave({.channels = 2, .sampleRate = 48000}, {});
        header.resize(header.size() - 4);
        zelvio::test_support::appendLe32(header, kDataBytes);
        const fs::path input = dir.write("long.wav", header);
        fs::resize_file(input, header.size() + kDataBytes);

        const std::string program = ZELVIO_CLI;
        const std::string output = (dir / "long.pdb").string();
        std::vector<std::string> arguments = {program,  "convert", input.string(), "-o", output,
                                              "--bits", "4",       "--vad"};
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

        // Once the command catches the signal, let it work a little, then send it.
        int status = 0;
        pid_t ended = 0;
        while (!catches(pid, signal) && (ended = ::waitpid(pid, &status, WNOHANG)) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(ended, 0) << "the command ended before it could be stopped";
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ASSERT_EQ(::kill(pid, signal), 0);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);

        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(readText(dir / "err.txt"), "zelvio: Conversion cancelled\n");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"err.txt", "long.wav"}));
    }
}

// Ctrl-C in a batch stops every running conversion: the databases already saved stay, the
// others are neither written nor left as temporary files.
TEST(ZelvioCommand, SigintStopsEveryConversionOfABatchAndKeepsTheFinishedOnes) {
    TempDirectory dir;
    dir.write("short.wav", toneWave(8000, 8000));
    for (const char* name : {"long1.wav", "long2.wav"}) {
        constexpr std::uint32_t kDataBytes = 48000u * 4 * 9000;  // sparse, as above
        Bytes header =
            zelvio::test_support::canonicalWave({.channels = 2, .sampleRate = 48000}, {});
        header.resize(header.size() - 4);
        zelvio::test_support::appendLe32(header, kDataBytes);
        fs::resize_file(dir.write(name, header), header.size() + kDataBytes);
    }
    ASSERT_EQ(zelvio(dir, "convert short.wav -o single.pdb -q --bits 4").status, 0);

    const std::string program = ZELVIO_CLI;
    std::vector<std::string> arguments = {program,     "convert",   "long1.wav", "short.wav",
                                          "long2.wav", "--bits",    "4",         "-j",
                                          "2",         "--threads", "2"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir / "out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Once the short file is saved (the long ones run for minutes), stop the batch.
    int status = 0;
    pid_t ended = 0;
    while ((!catches(pid, SIGINT) || !fs::exists(dir / "short.pdb")) &&
           (ended = ::waitpid(pid, &status, WNOHANG)) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(ended, 0) << "the command ended before it could be stopped";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(readText(dir / "err.txt"),
              "zelvio: Conversion cancelled: 1 of 3 files were converted\n");
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"err.txt", "long1.wav", "long2.wav", "out.txt", "short.pdb",
                                        "short.wav", "single.pdb", "stderr.txt", "stdout.txt"}));
    EXPECT_EQ(readFileBytes(dir / "short.pdb"), readFileBytes(dir / "single.pdb"));
}

}  // namespace
