// Every file operation of a whole conversion and of a whole decode made to fail in turn (the n-th
// read, write, sync or rename, for every n the run has, and a disk that stays full from the n-th
// on): each time the outcome is a failure of the right kind, no partial output and no temporary
// file is left, and a file that stood at the target before is untouched.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "io/fault_injection.h"
#include "job/conversion_job.h"
#include "pdb/database_reader.h"
#include "readback/database_decoder.h"
#include "support/files.h"
#ifdef ZELVIO_HAVE_SNDFILE
#include "support/sndfile_copies.h"
#endif
#include "support/wave_builder.h"
#include "wave/input_formats.h"
#include "wave/wave_writer.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;

const Bytes kOldBytes = {'o', 'l', 'd'};

/// Two seconds of 44.1 kHz stereo: enough input to be read in many blocks.
Bytes inputWave() {
    std::vector<std::int16_t> pcm(2 * 88200);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(static_cast<int>((i * 37) % 6000) - 3000);
    }
    return test_support::canonicalWave({.channels = 2, .sampleRate = 44100},
                                       test_support::pcm16Bytes(pcm));
}

/// What one run under an armed fault gave.
struct FaultRun {
    bool failed = false;
    std::string kind;  ///< what failed, for the trace
    std::uint64_t faults = 0;
};

/// Runs work with the n-th file operation failing (and all after it when sticky).
template <typename Work>
FaultRun underFault(std::uint64_t n, bool sticky, Work&& work) {
    FaultInjection::failAt(n, sticky);
    FaultRun run = work();
    run.faults = FaultInjection::faultsInjected();
    FaultInjection::failAt(0);
    return run;
}

/// The file operations work takes when nothing fails.
template <typename Work>
std::uint64_t operationsOf(Work&& work) {
    FaultInjection::failAt(0);
    const FaultRun run = work();
    EXPECT_FALSE(run.failed) << run.kind;
    return FaultInjection::operationsSeen();
}

struct Sweep {
    bool targetExists;
    bool sticky;
};
constexpr std::array<Sweep, 4> kSweeps = {
    {{false, false}, {true, false}, {false, true}, {true, true}}};

/// Converts the input named inputName in dir with every file operation failing in turn.
void sweepConversion(TempDirectory& dir, const std::string& inputName) {
    const fs::path input = dir / inputName;
    const fs::path target = dir / "out.pdb";
    const auto convert = [&] {
        ConversionSettings settings;
        settings.inputPath = input;
        settings.databasePath = target;
        settings.bitsPerSample = 4;
        settings.voiceActivityDetection = true;
        settings.threads = 1;  // the same operations in the same order on every run
        const ConversionOutcome outcome = ConversionJob(settings).run();
        return FaultRun{outcome.failed(), outcome.message + " " + outcome.detail, 0};
    };
    const std::uint64_t operations = operationsOf(convert);
    const Bytes reference = readFileBytes(target);
    fs::remove(target);
    ASSERT_GT(operations, 10u);

    std::uint64_t covered = 0;
    for (const Sweep& sweep : kSweeps) {
        for (std::uint64_t n = 1; n <= operations; ++n) {
            SCOPED_TRACE(testing::Message() << "operation " << n << " of " << operations
                                            << (sweep.sticky ? ", sticky" : "")
                                            << (sweep.targetExists ? ", target exists" : ""));
            if (sweep.targetExists) {
                (void)dir.write("out.pdb", kOldBytes);
            }
            const FaultRun run = underFault(n, sweep.sticky, convert);
            ASSERT_GE(run.faults, 1u);
            ++covered;
            if (run.failed) {
                if (sweep.targetExists) {
                    EXPECT_EQ(readFileBytes(target), kOldBytes) << run.kind;
                } else {
                    EXPECT_FALSE(fs::exists(target)) << run.kind;
                }
            } else {
                // A fault the run can get past (the sync of the folder after the rename, when the
                // database is whole in place; a failed look at the input's first bytes while its
                // format is detected, which the next reader's look repeats) still gives the whole
                // database.
                EXPECT_TRUE(n == operations || !sweep.sticky) << n;
                EXPECT_EQ(readFileBytes(target), reference) << run.kind;
            }
            const std::vector<std::string> expected =
                sweep.targetExists || !run.failed ? std::vector<std::string>{inputName, "out.pdb"}
                                                  : std::vector<std::string>{inputName};
            EXPECT_EQ(dir.entries(), expected);
            std::error_code ignored;
            fs::remove(target, ignored);
        }
    }
    std::printf("conversion of %s: %llu file operations, %llu failure points covered\n",
                inputName.c_str(), static_cast<unsigned long long>(operations),
                static_cast<unsigned long long>(covered));
}

TEST(FaultInjection, EveryFailingFileOperationOfAConversionLeavesNothingHalfWritten) {
    TempDirectory dir;
    (void)dir.write("in.wav", inputWave());
    sweepConversion(dir, "in.wav");
}

// Inputs in other formats are read by libraries that may live in a module of their own; their
// reads are the program's too, and a failed one must not pass for the end of the file or for a
// short header (which gave a whole database of other sound).
TEST(FaultInjection, EveryFailingFileOperationOfOtherFormatsLeavesNothingHalfWritten) {
    struct Case {
        const char* name;
        bool readable;
    };
    const Case cases[] = {{"in.aiff", inputReaders().libsndfile},
                          {"in.mp3", inputReaders().ffmpeg}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.readable) {
            continue;
        }
        TempDirectory dir;
        const fs::path input = dir / c.name;
        if (input.extension() == ".mp3") {
            (void)dir.write(c.name,
                            readFileBytes(fs::path(ZELVIO_TEST_DATA) / "lossy" / "speech.mp3"));
        } else {
#ifdef ZELVIO_HAVE_SNDFILE
            const fs::path original = dir.write("original.wav", inputWave());
            ASSERT_EQ(test_support::copyWithLibsndfile(original, input,
                                                       SF_FORMAT_AIFF | SF_FORMAT_PCM_16),
                      "");
            fs::remove(original);
#endif
        }
        sweepConversion(dir, c.name);
    }
}

TEST(FaultInjection, EveryFailingFileOperationOfADecodeLeavesNothingHalfWritten) {
    TempDirectory dir;
    const fs::path database = dir / "in.pdb";
    {
        const fs::path input = dir.write("in.wav", inputWave());
        ConversionSettings settings;
        settings.inputPath = input;
        settings.databasePath = database;
        settings.bitsPerSample = 4;
        ASSERT_FALSE(ConversionJob(settings).run().failed());
        fs::remove(input);
    }
    const fs::path target = dir / "out.wav";
    const auto decode = [&] {
        DatabaseReader reader;
        if (reader.open(database) != kReadOk) {
            return FaultRun{true, "reader", 0};
        }
        DatabaseDecoder decoder(reader);
        WaveWriter writer;
        if (writer.open(target, reader.streamFormat().sampleRate) != kWaveOk) {
            return FaultRun{true, std::string(writer.errorText()), 0};
        }
        std::array<std::int16_t, kFrameSamples> frame{};
        while (decoder.nextFrame(frame.data())) {
            if (writer.writeSamples(frame.data(), frame.size()) != kWaveOk) {
                return FaultRun{true, std::string(writer.errorText()), 0};
            }
        }
        const bool closed = writer.close() == kWaveOk;
        return FaultRun{!closed, std::string(writer.errorText()), 0};
    };
    const std::uint64_t operations = operationsOf(decode);
    const Bytes reference = readFileBytes(target);
    fs::remove(target);
    ASSERT_GT(operations, 10u);

    std::uint64_t covered = 0;
    for (const Sweep& sweep : kSweeps) {
        for (std::uint64_t n = 1; n <= operations; ++n) {
            SCOPED_TRACE(testing::Message() << "operation " << n << " of " << operations
                                            << (sweep.sticky ? ", sticky" : "")
                                            << (sweep.targetExists ? ", target exists" : ""));
            if (sweep.targetExists) {
                (void)dir.write("out.wav", kOldBytes);
            }
            const FaultRun run = underFault(n, sweep.sticky, decode);
            ASSERT_GE(run.faults, 1u);
            ++covered;
            if (run.failed) {
                EXPECT_FALSE(run.kind.empty());
                if (sweep.targetExists) {
                    EXPECT_EQ(readFileBytes(target), kOldBytes) << run.kind;
                } else {
                    EXPECT_FALSE(fs::exists(target)) << run.kind;
                }
            } else {
                EXPECT_EQ(n, operations);
                EXPECT_EQ(readFileBytes(target), reference) << run.kind;
            }
            const std::vector<std::string> expected =
                sweep.targetExists || !run.failed ? std::vector<std::string>{"in.pdb", "out.wav"}
                                                  : std::vector<std::string>{"in.pdb"};
            EXPECT_EQ(dir.entries(), expected);
            std::error_code ignored;
            fs::remove(target, ignored);
        }
    }
    std::printf("decode: %llu file operations, %llu failure points covered\n",
                static_cast<unsigned long long>(operations),
                static_cast<unsigned long long>(covered));
}

}  // namespace
}  // namespace zelvio
