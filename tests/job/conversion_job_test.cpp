#include "job/conversion_job.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pdb/byte_sink.h"
#include "pdb/stream_format.h"
#include "resample/resampler.h"
#include "support/database_bytes.h"
#include "support/wave_builder.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::TempDirectory;
using test_support::WaveBuilder;
using test_support::WaveFormat;

const fs::path kVectors = fs::path(ZELVIO_TEST_DATA) / "vectors";
const fs::path kExample = fs::path(ZELVIO_TEST_DATA) / ".." / ".." / "examples" / "chimes.wav";

ConversionOutcome convert(const fs::path& input, const fs::path& output, int bits = 8,
                          bool vad = false, std::string title = "T", std::string description = "") {
    ConversionSettings settings;
    settings.inputPath = input;
    settings.databasePath = output;
    settings.title = std::move(title);
    settings.description = std::move(description);
    settings.bitsPerSample = bits;
    settings.voiceActivityDetection = vad;
    return ConversionJob(settings).run();
}

std::uint16_t codecOf(int bits) {
    return bits == 8 ? 0 : bits == 4 ? 7 : bits == 3 ? 6 : 5;
}

std::vector<std::int16_t> tone(std::size_t count, double cyclesPerSample, double amplitude) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(6.283185307179586 * cyclesPerSample * double(i))));
    }
    return samples;
}

fs::path writeMono16(const TempDirectory& dir, const char* name, std::uint32_t rate,
                     const std::vector<std::int16_t>& samples) {
    return dir.write(
        name, test_support::canonicalWave({.sampleRate = rate}, test_support::pcm16Bytes(samples)));
}

// The reference conversions: each input, at every width with detection on, must give the
// stored databases byte for byte.
TEST(ConversionJob, ReproducesTheReferenceDatabasesByteForByte) {
    TempDirectory dir;
    for (const char* name : {"sm_22050_s16", "speech_pauses_10000_m16", "u8_sm_8000_s8"}) {
        for (int bits : {8, 4, 3, 2}) {
            const std::string stem = std::string(name) + ".b" + std::to_string(bits) + ".vad";
            SCOPED_TRACE(stem);
            const fs::path output = dir.path() / (stem + ".pdb");
            const ConversionOutcome outcome =
                convert(kVectors / (std::string(name) + ".wav"), output, bits, true,
                        std::string("T ") + name,
                        "Corpus file " + std::string(name) + ".wav at " + std::to_string(bits) +
                            " bits with VAD");
            ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
            EXPECT_EQ(outcome.message, kSuccessText);
            EXPECT_EQ(outcome.caption, "Audio Database Saved");
            EXPECT_TRUE(test_support::readFileBytes(output) ==
                        test_support::readFileBytes(kVectors / (stem + ".pdb")));
        }
    }
}

TEST(ConversionJob, OneSecondAt8000HzGivesFiftyWholeFrames) {
    TempDirectory dir;
    const fs::path input = writeMono16(dir, "in.wav", 8000, tone(8000, 0.01, 8000));
    const ConversionOutcome outcome = convert(input, dir.path() / "out.pdb");
    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
    EXPECT_EQ(outcome.framesTotal, 50);  // 10001 samples at 10000 Hz: the last one is dropped
    EXPECT_EQ(outcome.framesCoded, 50);
    const auto file = test_support::readFileBytes(dir.path() / "out.pdb");
    EXPECT_EQ(file.size(), 78u + 2 * 8 + 136 + 32 + 50 * 201);
    EXPECT_EQ(test_support::walkStream(file, 0).durationMs, 1000u);
}

TEST(ConversionJob, AnEmptyInputGivesTheInformationRecordAndOneEmptyStreamRecord) {
    TempDirectory dir;
    const fs::path input = writeMono16(dir, "empty.wav", 22050, {});
    const ConversionOutcome outcome = convert(input, dir.path() / "out.pdb", 4, true);
    ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
    const auto file = test_support::readFileBytes(dir.path() / "out.pdb");
    ASSERT_EQ(file.size(), 262u);
    EXPECT_EQ(test_support::be16(file, 76), 2u);
    EXPECT_EQ(test_support::be32(file, 230 + 24), 0u);  // no chunk bytes
}

TEST(ConversionJob, StereoIsMixedToTheFloorOfTheMean) {
    // Stereo (x + 1, x) has the mean x + 0.5, whose floor is x: the database must equal the one
    // made from mono x. Stereo (100, -101) everywhere is mono -1.
    TempDirectory dir;
    const auto mono = tone(3000, 0.013, 12000);
    Bytes stereo;
    for (std::int16_t s : mono) {
        const std::int16_t pair[] = {static_cast<std::int16_t>(s + 1), s};
        const Bytes bytes = test_support::pcm16Bytes(pair);
        stereo.insert(stereo.end(), bytes.begin(), bytes.end());
    }
    const fs::path monoPath = writeMono16(dir, "mono.wav", 11025, mono);
    const fs::path stereoPath = dir.write(
        "stereo.wav", test_support::canonicalWave({.channels = 2, .sampleRate = 11025}, stereo));
    Bytes oddPairs;
    for (int i = 0; i < 3000; ++i) {
        const std::int16_t pair[] = {100, -101};
        const Bytes bytes = test_support::pcm16Bytes(pair);
        oddPairs.insert(oddPairs.end(), bytes.begin(), bytes.end());
    }
    const fs::path pairsPath = dir.write(
        "pairs.wav", test_support::canonicalWave({.channels = 2, .sampleRate = 11025}, oddPairs));
    const fs::path minusOne =
        writeMono16(dir, "minus1.wav", 11025, std::vector<std::int16_t>(3000, -1));

    for (int bits : {8, 2}) {
        SCOPED_TRACE(bits);
        ASSERT_FALSE(convert(monoPath, dir.path() / "a.pdb", bits).failed());
        ASSERT_FALSE(convert(stereoPath, dir.path() / "b.pdb", bits).failed());
        EXPECT_EQ(test_support::readFileBytes(dir.path() / "a.pdb"),
                  test_support::readFileBytes(dir.path() / "b.pdb"));
        ASSERT_FALSE(convert(pairsPath, dir.path() / "c.pdb", bits).failed());
        ASSERT_FALSE(convert(minusOne, dir.path() / "d.pdb", bits).failed());
        EXPECT_EQ(test_support::readFileBytes(dir.path() / "c.pdb"),
                  test_support::readFileBytes(dir.path() / "d.pdb"));
    }
}

TEST(ConversionJob, AcceptsExactlyTheInputRatesTheResamplerConverts) {
    const double rate = kStreamSampleRate;
    EXPECT_EQ(checkFactor(rate / kMinInputRate), kResampleOk);
    EXPECT_EQ(checkFactor(rate / (kMinInputRate - 1)), kResampleUnsupportedFactor);
    EXPECT_EQ(checkFactor(rate / kMaxInputRate), kResampleOk);
    EXPECT_EQ(checkFactor(rate / (kMaxInputRate + 1)), kResampleUnsupportedFactor);
}

TEST(ConversionJob, QuietFramesBecomeSilenceChunksCarryingTheirLevel) {
    // A constant 20 at 10000 Hz comes out of the filter as 19: mean 19, level 5, byte 0x51.
    // Silence all along gives level 0, byte 0x01. The first seven Frames fall in the hangover.
    TempDirectory dir;
    struct Case {
        std::int16_t value;
        std::uint8_t silenceByte;
    };
    for (const Case c : {Case{20, 0x51}, Case{0, 0x01}}) {
        SCOPED_TRACE(c.value);
        const fs::path input =
            writeMono16(dir, "quiet.wav", 10000, std::vector<std::int16_t>(4000, c.value));
        ASSERT_FALSE(convert(input, dir.path() / "q.pdb", 4, true).failed());
        const auto summary =
            test_support::walkStream(test_support::readFileBytes(dir.path() / "q.pdb"), 7);
        EXPECT_EQ(summary.audioChunks, 7u);
        ASSERT_EQ(summary.silenceChunks, 13u);
        EXPECT_EQ(summary.silenceBytes[0], c.silenceByte);
        EXPECT_EQ(summary.durationMs, 400u);
    }
}

TEST(ConversionJob, TitleAndDescriptionAreConvertedAndCut) {
    TempDirectory dir;
    const fs::path input = writeMono16(dir, "named input.wav", 8000, tone(800, 0.01, 1000));
    struct Case {
        std::string title;
        std::string description;
        std::string storedTitle;
        std::string storedDescription;
    };
    const Case cases[] = {
        {std::string(40, 't'), std::string(100, 'd'), std::string(31, 't'), std::string(63, 'd')},
        {"Caf\xC3\xA9", "\xE2\x82\xAC\x31", "Caf\xE9", "\x80\x31"},
        {"", "", "named input", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedTitle);
        ASSERT_FALSE(
            convert(input, dir.path() / "t.pdb", 8, false, c.title, c.description).failed());
        const auto file = test_support::readFileBytes(dir.path() / "t.pdb");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data())), c.storedTitle);
        const std::size_t record0 = test_support::be32(file, 78);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + record0 + 4)),
                  c.storedDescription);
    }
}

TEST(ConversionJob, EveryModeWithAndWithoutDetectionGivesAWellFormedStream) {
    TempDirectory dir;
    for (int bits : {8, 4, 3, 2}) {
        for (bool vad : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (vad ? " with detection" : ""));
            const ConversionOutcome outcome = convert(kExample, dir.path() / "m.pdb", bits, vad);
            ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
            const auto summary = test_support::walkStream(
                test_support::readFileBytes(dir.path() / "m.pdb"), codecOf(bits));
            EXPECT_EQ(outcome.framesTotal, 200);  // 4 s at 22050 Hz: 40001 samples
            EXPECT_EQ(summary.audioChunks + summary.silenceChunks, 200u);
            EXPECT_EQ(summary.silenceChunks > 0, vad);  // the example has a pause
        }
    }
}

// Files as other tools write them carry the same samples: the databases must be identical.
TEST(ConversionJob, OtherWaveLayoutsOfTheSameSamplesGiveTheSameDatabase) {
    TempDirectory dir;
    const auto samples = tone(5000, 0.021, 9000);
    const Bytes pcm = test_support::pcm16Bytes(samples);
    Bytes pcm24, float32;
    for (std::int16_t s : samples) {
        pcm24.push_back(0x5A);  // low byte: dropped
        test_support::appendLe16(pcm24, static_cast<std::uint16_t>(s));
        float f = static_cast<float>(s) / 32768.0f;
        std::uint32_t bitsOfF;
        std::memcpy(&bitsOfF, &f, 4);
        test_support::appendLe32(float32, bitsOfF);
    }
    const Bytes list = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 3, 0, 0, 0, 'f', 'f', 0};
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"LIST before the data",
         WaveBuilder().format({.sampleRate = 16000}).chunk("LIST", list).data(pcm).bytes()},
        {"chunk after the data", WaveBuilder()
                                     .format({.sampleRate = 16000})
                                     .data(pcm)
                                     .chunk("id3 ", Bytes(101, 7))
                                     .bytes()},
        {"odd chunk with pad byte",
         WaveBuilder().format({.sampleRate = 16000}).chunk("junk", Bytes(3, 1)).data(pcm).bytes()},
        {"unknown data size",
         WaveBuilder().format({.sampleRate = 16000}).rawChunk("data", 0xFFFFFFFF, pcm).bytes()},
        {"24-bit",
         WaveBuilder().format({.sampleRate = 16000, .bitsPerSample = 24}).data(pcm24).bytes()},
        {"float", WaveBuilder()
                      .format({.tag = 3, .sampleRate = 16000, .bitsPerSample = 32})
                      .data(float32)
                      .bytes()},
        {"extensible",
         WaveBuilder()
             .chunk("fmt ", test_support::extensibleFormatBody({.sampleRate = 16000}, 1))
             .data(pcm)
             .bytes()},
    };
    const fs::path reference = writeMono16(dir, "reference.wav", 16000, samples);
    ASSERT_FALSE(convert(reference, dir.path() / "reference.pdb", 4).failed());
    const auto expected = test_support::readFileBytes(dir.path() / "reference.pdb");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ConversionOutcome outcome =
            convert(dir.write("variant.wav", c.file), dir.path() / "variant.pdb", 4);
        ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
        EXPECT_TRUE(test_support::readFileBytes(dir.path() / "variant.pdb") == expected);
    }
}

TEST(ConversionJob, BadInputIsRefusedClearlyAndLeavesNothingBehind) {
    TempDirectory dir;
    const test_support::TemporaryFolderOverride scratch;
    const Bytes pcm = test_support::pcm16Bytes(tone(2000, 0.01, 3000));
    const Bytes goodBytes = test_support::canonicalWave({}, pcm);
    const fs::path good = dir.write("good.wav", goodBytes);
    fs::create_directory(dir.path() / "folder.pdb");
    struct Case {
        const char* name;
        fs::path input;
        fs::path output;
        OutcomeKind kind;
        const char* detail;  // part of the detail text
    };
    const fs::path out = dir.path() / "out.pdb";
    const Case cases[] = {
        {"missing file", dir.path() / "nope.wav", out, OutcomeKind::InputError, "no such file"},
        {"directory", dir.path(), out, OutcomeKind::InputError, "directory"},
        {"empty file", dir.write("empty.wav", {}), out, OutcomeKind::InputError, "empty"},
        {"not RIFF WAVE", dir.write("text.wav", Bytes(64, 'x')), out, OutcomeKind::InputError,
         "not a RIFF WAVE"},
        {"truncated header", dir.write("cut.wav", Bytes(goodBytes.begin(), goodBytes.begin() + 30)),
         out, OutcomeKind::InputError, "ends inside the header"},
        {"no data chunk", dir.write("nodata.wav", WaveBuilder().format({}).bytes()), out,
         OutcomeKind::InputError, "no \"data\" chunk"},
        {"3 channels",
         dir.write("three.wav", test_support::canonicalWave({.channels = 3}, Bytes(60))), out,
         OutcomeKind::InputError, "3 channels"},
        {"zero rate", dir.write("zero.wav", test_support::canonicalWave({.sampleRate = 0}, pcm)),
         out, OutcomeKind::InputError, "0 Hz"},
        {"rate too low",
         dir.write("low.wav", test_support::canonicalWave({.sampleRate = 612}, pcm)), out,
         OutcomeKind::InputError, "612 Hz"},
        {"rate too high",
         dir.write("high.wav", test_support::canonicalWave({.sampleRate = 617576}, pcm)), out,
         OutcomeKind::InputError, "617576 Hz"},
        {"12-bit",
         dir.write("twelve.wav",
                   test_support::canonicalWave({.bitsPerSample = 12, .blockAlignment = 2}, pcm)),
         out, OutcomeKind::InputError, "12 bits"},
        {"u-law",
         dir.write("ulaw.wav", test_support::canonicalWave({.tag = 7, .bitsPerSample = 8}, pcm)),
         out, OutcomeKind::InputError, "u-law"},
        {"output folder missing", good, dir.path() / "missing" / "out.pdb", OutcomeKind::SaveError,
         "does not exist"},
        {"output is a directory", good, dir.path() / "folder.pdb", OutcomeKind::SaveError,
         "folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ConversionOutcome outcome = convert(c.input, c.output);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_TRUE(outcome.failed());
        EXPECT_EQ(outcome.caption, "Error");
        EXPECT_EQ(outcome.icon, OutcomeIcon::Stop);
        EXPECT_EQ(outcome.message, c.kind == OutcomeKind::InputError
                                       ? "Cannot open input WAVE file!"
                                       : "FILE IO error when creating database file!");
        EXPECT_NE(outcome.detail.find(c.detail), std::string::npos) << outcome.detail;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_TRUE(scratch.empty());
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder.pdb"));
}

TEST(ConversionJob, NothingIsLeftInTheTemporaryFolderAfterARun) {
    TempDirectory dir;
    const test_support::TemporaryFolderOverride scratch;
    ASSERT_FALSE(convert(kExample, dir.path() / "x.pdb", 3).failed());
    EXPECT_TRUE(scratch.empty());
}

#ifndef _WIN32
// Windows has no fork(); its scratch files are deleted by the system when the process ends.
TEST(ConversionJob, NothingIsLeftInTheTemporaryFolderWhenTheProcessEndsMidRun) {
    // A run cut short by a kill runs no destructor; nothing may be left behind in the temporary
    // folder or beside the target all the same.
    TempDirectory dir;
    const test_support::TemporaryFolderOverride scratch;
    ConversionSettings settings;
    settings.inputPath = kExample;
    settings.databasePath = dir.path() / "cut.pdb";
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Ends abruptly halfway through the streamed stages.
        static_cast<void>(ConversionJob(settings, [](double fraction) {
                              if (fraction > 0.5) {
                                  ::_exit(0);
                              }
                          }).run());
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the run ended before it was cut short";
    EXPECT_TRUE(scratch.empty());
    EXPECT_TRUE(dir.entries().empty());
}
#endif

TEST(ConversionJob, TwoConversionsSideBySideInOneFolderBothSucceed) {
    TempDirectory dir;
    ConversionOutcome first, second;
    std::thread a([&] { first = convert(kExample, dir.path() / "a.pdb", 4, true); });
    std::thread b([&] { second = convert(kExample, dir.path() / "b.pdb", 4, true); });
    a.join();
    b.join();
    EXPECT_EQ(first.kind, OutcomeKind::Success) << first.detail;
    EXPECT_EQ(second.kind, OutcomeKind::Success) << second.detail;
    EXPECT_EQ(test_support::readFileBytes(dir.path() / "a.pdb"),
              test_support::readFileBytes(dir.path() / "b.pdb"));
}

TEST(ConversionJob, ProgressRisesToOne) {
    TempDirectory dir;
    ConversionSettings settings;
    settings.inputPath = kExample;
    settings.databasePath = dir.path() / "p.pdb";
    std::vector<double> seen;
    ASSERT_FALSE(ConversionJob(settings, [&](double f) { seen.push_back(f); }).run().failed());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
}

// The command line's standard streams: the input read from an open stream and the database given
// to a sink give the bytes the files give; a sink that refuses them is a save error, and the
// database path is then not looked at.
TEST(ConversionJob, ReadsAnOpenStreamAndWritesToASink) {
    TempDirectory dir;
    const fs::path input = writeMono16(dir, "in.wav", 11025, tone(20000, 0.013, 9000));
    ASSERT_EQ(convert(input, dir.path() / "file.pdb", 4, true, "in").kind, OutcomeKind::Success);
    const Bytes expected = test_support::readFileBytes(dir.path() / "file.pdb");

    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const Bytes wave = test_support::readFileBytes(input);
    ASSERT_EQ(std::fwrite(wave.data(), 1, wave.size(), stream), wave.size());
    ConversionSettings settings;
    settings.inputPath = "standard input";  // names it, nothing more
    settings.databasePath = dir.path() / "no such folder" / "ignored.pdb";
    settings.title = "in";
    settings.bitsPerSample = 4;
    settings.voiceActivityDetection = true;
    ConversionJob job(settings);
    job.readInputFrom(stream);
    MemoryByteSink image;
    job.writeDatabaseTo(image);
    EXPECT_EQ(job.run().kind, OutcomeKind::Success);
    EXPECT_EQ(image.bytes(), expected);
    std::fclose(stream);

    class RefusingSink final : public ByteSink {
      public:
        bool write(const std::uint8_t*, std::size_t) override { return false; }
    } refusing;
    settings.inputPath = input;
    ConversionJob fromFile(settings);
    fromFile.writeDatabaseTo(refusing);
    const ConversionOutcome outcome = fromFile.run();
    EXPECT_EQ(outcome.kind, OutcomeKind::SaveError);
    EXPECT_EQ(outcome.message, kSaveErrorText);
    EXPECT_FALSE(fs::exists(dir.path() / "no such folder"));
}

// Reading, then converting, then saving, each reported at least once and never gone back to;
// the saving stage is announced before the file is written. A callback that takes only the
// fraction sees the same fractions.
TEST(ConversionJob, ProgressNamesTheStagesInTheirOrder) {
    TempDirectory dir;
    ConversionSettings settings;
    settings.inputPath = kExample;
    settings.databasePath = dir.path() / "staged.pdb";
    settings.threads = 1;  // with threads, how often progress is reported depends on timing
    std::vector<std::pair<double, ConversionStage>> seen;
    ASSERT_FALSE(
        ConversionJob(settings, [&](double fraction,
                                    ConversionStage stage) { seen.emplace_back(fraction, stage); })
            .run()
            .failed());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));  // by fraction, then by stage
    std::vector<ConversionStage> stages;
    std::vector<double> fractions;
    for (const auto& [fraction, stage] : seen) {
        if (stages.empty() || stages.back() != stage) {
            stages.push_back(stage);
        }
        fractions.push_back(fraction);
    }
    EXPECT_EQ(stages, (std::vector{ConversionStage::Reading, ConversionStage::Converting,
                                   ConversionStage::Saving}));
    EXPECT_EQ(seen.back(), std::pair(1.0, ConversionStage::Saving));
    const auto firstSaving = std::find_if(seen.begin(), seen.end(), [](const auto& report) {
        return report.second == ConversionStage::Saving;
    });
    EXPECT_LT(firstSaving->first, 1.0);

    settings.databasePath = dir.path() / "plain.pdb";
    std::vector<double> plain;
    ASSERT_FALSE(ConversionJob(settings, [&](double fraction) { plain.push_back(fraction); })
                     .run()
                     .failed());
    EXPECT_EQ(plain, fractions);
}

}  // namespace
}  // namespace zelvio
