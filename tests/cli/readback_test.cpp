// zelvio info and zelvio decode as a user runs them, and the round trip: a database the job
// wrote decodes to exactly the samples its encoder reconstructed, at every mode.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "coding/adpcm.h"
#include "coding/pcm8.h"
#include "coding/voice_activity_detector.h"
#include "job/conversion_job.h"
#include "resample/resampler.h"
#include "support/command_runner.h"
#include "support/database_bytes.h"
#include "support/wave_builder.h"
#include "wave/wave_file.h"

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::CommandRun;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::readText;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::zelvio;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// 2.4 s at 22050 Hz stereo: bursts of a chord alternating with stretches of faint hiss, so that
// detection finds loud Frames, a hangover and silence at several levels.
Bytes burstsAndPauses() {
    constexpr int kRate = 22050;
    std::vector<std::int16_t> samples;
    std::uint32_t noise = 12345;
    for (int i = 0; i < kRate * 12 / 5; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const bool loud = (i / (kRate * 3 / 10)) % 2 == 0;
        noise = noise * 1664525u + 1013904223u;
        const int hiss = static_cast<int>(noise >> 27) - 16;  // -16 to 15
        const double chord =
            loud ? 9000 * std::sin(2 * M_PI * 440 * t) + 5000 * std::sin(2 * M_PI * 1210 * t) : 0;
        const auto left = static_cast<std::int16_t>(chord + hiss * (1 + (i / 4000) % 8));
        samples.push_back(left);
        samples.push_back(static_cast<std::int16_t>(left / 2));
    }
    return zelvio::test_support::canonicalWave({.channels = 2, .sampleRate = kRate},
                                               zelvio::test_support::pcm16Bytes(samples));
}

// The samples of a mono 16-bit WAVE file.
std::vector<std::int16_t> waveSamples(const fs::path& path, std::uint32_t& rate) {
    zelvio::WaveFile wave;
    EXPECT_EQ(wave.open(path), zelvio::kWaveOk) << wave.errorText();
    rate = wave.sampleRate();
    EXPECT_EQ(wave.channels(), 1);
    EXPECT_EQ(wave.bitsPerSample(), 16);
    std::vector<zelvio::SampleFrame> frames(static_cast<std::size_t>(wave.sampleFrameCount()));
    if (!frames.empty()) {
        EXPECT_EQ(wave.readSamples(static_cast<std::int64_t>(frames.size()), frames.data()),
                  zelvio::kWaveOk);
    }
    std::vector<std::int16_t> samples;
    for (const zelvio::SampleFrame& frame : frames) {
        samples.push_back(frame.left);
    }
    return samples;
}

// What the handheld should play: the input taken through the job's own stages (mix, resample,
// detect, code) with the encoder's reconstruction written out, 0 for a silence chunk.
struct Reconstruction {
    std::vector<std::int16_t> samples;
    std::int64_t silenceChunks = 0;
};

Reconstruction reconstruct(const fs::path& input, int bits, bool detection) {
    Reconstruction result;
    zelvio::WaveFile wave;
    EXPECT_EQ(wave.open(input), zelvio::kWaveOk);
    std::vector<zelvio::SampleFrame> frames(static_cast<std::size_t>(wave.sampleFrameCount()));
    EXPECT_EQ(wave.readSamples(static_cast<std::int64_t>(frames.size()), frames.data()),
              zelvio::kWaveOk);
    std::vector<std::int16_t> mono;
    for (const zelvio::SampleFrame& frame : frames) {
        mono.push_back(static_cast<std::int16_t>((frame.left + frame.right) >> 1));
    }
    const double factor = 10000.0 / wave.sampleRate();
    const auto outputCount =
        static_cast<std::int64_t>(static_cast<double>(mono.size()) * factor) + 1;
    zelvio::MemoryMonoSource source(mono);
    zelvio::MemoryMonoSink sink;
    EXPECT_EQ(zelvio::resampleFile(factor, source, sink, static_cast<std::int64_t>(mono.size()),
                                   outputCount)
                  .status,
              zelvio::kResampleOk);

    zelvio::AdpcmEncoder encoder;
    encoder.reset();
    zelvio::VoiceActivityDetector detector;
    detector.configure(1024, 256, 1400);
    std::array<std::uint8_t, 100> coded{};
    std::array<std::int16_t, 200> decoded{};
    for (std::size_t start = 0; start + 200 <= sink.samples().size(); start += 200) {
        const std::int16_t* frame = sink.samples().data() + start;
        std::uint8_t level = 0;
        if (detection && detector.classifyFrame(frame, level, 200) != 0) {
            decoded.fill(0);
            ++result.silenceChunks;
        } else if (bits == 8) {
            for (int i = 0; i < 200; ++i) {
                decoded[i] = zelvio::pcm8Sample(zelvio::pcm8Code(frame[i]));
            }
        } else {
            encoder.encodeFrame(frame, coded.data(), 200, static_cast<std::int16_t>(bits),
                                decoded.data());
        }
        result.samples.insert(result.samples.end(), decoded.begin(), decoded.end());
    }
    return result;
}

// The number after "key": in text, starting the search at from.
std::int64_t jsonNumber(const std::string& text, const std::string& key, std::size_t from = 0) {
    const std::size_t at = text.find("\"" + key + "\": ", from);
    EXPECT_NE(at, std::string::npos) << key;
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + key.size() + 4);
}

TEST(ZelvioReadback, DecodingWhatTheJobWroteGivesTheEncodersReconstructionAtEveryMode) {
    TempDirectory dir;
    const fs::path input = dir.write("in.wav", burstsAndPauses());
    for (int bits : {8, 4, 3, 2}) {
        for (bool detection : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + " bits" + (detection ? " with detection" : ""));
            zelvio::ConversionSettings settings;
            settings.inputPath = input;
            settings.databasePath = dir.path() / "out.pdb";
            settings.bitsPerSample = bits;
            settings.voiceActivityDetection = detection;
            const zelvio::ConversionOutcome outcome = zelvio::ConversionJob(settings).run();
            ASSERT_EQ(outcome.kind, zelvio::OutcomeKind::Success) << outcome.detail;

            const CommandRun decode = zelvio(dir, "decode out.pdb -o out.wav -f -q");
            ASSERT_EQ(decode.status, 0) << decode.err;
            EXPECT_EQ(decode.out + decode.err, "");
            std::uint32_t rate = 0;
            const std::vector<std::int16_t> played = waveSamples(dir.path() / "out.wav", rate);
            EXPECT_EQ(rate, 10000u);
            const Reconstruction expected = reconstruct(input, bits, detection);
            ASSERT_EQ(played.size(), expected.samples.size());
            ASSERT_EQ(static_cast<std::int64_t>(played.size()), outcome.framesCoded * 200);
            for (std::size_t i = 0; i < played.size(); ++i) {
                ASSERT_EQ(played[i], expected.samples[i]) << "sample " << i;
            }
            if (detection) {
                EXPECT_GT(expected.silenceChunks, 0);
            }

            const CommandRun info = zelvio(dir, "info --json out.pdb");
            ASSERT_EQ(info.status, 0) << info.err;
            const std::size_t total = info.out.find("\"total\"");
            EXPECT_EQ(jsonNumber(info.out, "recordCount"), outcome.recordCount);
            EXPECT_EQ(jsonNumber(info.out, "chunks", total), outcome.framesCoded);
            EXPECT_EQ(jsonNumber(info.out, "durationMs", total), outcome.framesCoded * 20);
            EXPECT_EQ(jsonNumber(info.out, "silenceChunks", total), expected.silenceChunks);
            EXPECT_EQ(jsonNumber(info.out, "codec"), bits == 8   ? 0
                                                     : bits == 4 ? 7
                                                     : bits == 3 ? 6
                                                                 : 5);
        }
    }
}

TEST(ZelvioReadback, InfoShowsTheHeaderTheFormatAndEachRecord) {
    TempDirectory dir;
    const fs::path vectors = fs::path(ZELVIO_TEST_DATA) / "vectors";
    const CommandRun run =
        zelvio(dir, "info '" + (vectors / "speech_pauses_10000_m16.b3.vad.pdb").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* line : {
             "Name:          T speech_pauses_10000_m16\n",
             "Type/creator:  DATA/K7Q4\n",
             "Created:       2001-12-07 00:00:00\n",
             "Backed up:     2001-12-07 00:00:00\n",
             "Records:       2 (1 information record, 1 stream record)\n",
             "Description:   Corpus file speech_pauses_10000_m16.wav at 3 bits with VAD\n",
             "Stream:        3-bit ADPCM (codec 6), 10000 Hz, mono, 200 samples per Frame (20 "
             "ms)\n",
             "     1        230   54464     957      244    0:19.140\n",
             "Total:         957 chunks (244 silence), 0:19.140, 54432 bytes of chunks; 7.00:1",
         }) {
        EXPECT_TRUE(contains(run.out, line)) << line << "\n--- in ---\n" << run.out;
    }
}

TEST(ZelvioReadback, InfoJsonEscapesTextsAndListsEveryRecord) {
    TempDirectory dir;
    dir.write("in.wav", burstsAndPauses());
    ASSERT_EQ(
        zelvio(dir, "convert in.wav -q --title 'Say \"hi\"' --description 'back\\slash'").status,
        0);
    const CommandRun run = zelvio(dir, "info in.pdb --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "\"name\": \"Say \\\"hi\\\"\",")) << run.out;
    EXPECT_TRUE(contains(run.out, "\"description\": \"back\\\\slash\",")) << run.out;
    EXPECT_TRUE(contains(run.out, "\"codecName\": \"8-bit PCM\"")) << run.out;
    EXPECT_TRUE(contains(run.out, "\"records\": [\n    {\"index\": 1, \"offset\": 230,"))
        << run.out;
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
}

TEST(ZelvioReadback, InfoJsonKeepsUtf8FileNamesAndReplacesBytesThatAreNot) {
    TempDirectory dir;
    dir.write("in.wav", burstsAndPauses());
    ASSERT_EQ(zelvio(dir, "convert in.wav -q").status, 0);
    struct Case {
        const char* name;      // the file's name, as bytes
        const char* expected;  // how the JSON "file" member must read
    };
    for (const Case& c : {
             Case{"caf\xC3\xA9.pdb", "\"file\": \"caf\xC3\xA9.pdb\","},  // UTF-8 kept
             Case{"caf\xE9.pdb", "\"file\": \"caf\\uFFFD.pdb\","},       // Latin-1 byte
             Case{"x\xE2\x82.pdb", "\"file\": \"x\\uFFFD.pdb\","},  // cut sequence: one character
             Case{"x\xC0\xAF.pdb", "\"file\": \"x\\uFFFD\\uFFFD.pdb\","},  // overlong '/'
             Case{"x\xED\xA0\x80.pdb", "\"file\": \"x\\uFFFD\\uFFFD\\uFFFD.pdb\","},  // surrogate
         }) {
        fs::copy_file(dir.path() / "in.pdb", dir.path() / c.name,
                      fs::copy_options::overwrite_existing);
        const CommandRun run = zelvio(dir, std::string("info --json '") + c.name + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, c.expected)) << c.expected << "\n--- in ---\n" << run.out;
    }
}

TEST(ZelvioReadback, DecodeWritesBesideTheInputAndKeepsAnExistingFileUnlessForced) {
    TempDirectory dir;
    dir.write("memo.wav", burstsAndPauses());
    ASSERT_EQ(zelvio(dir, "convert memo.wav -q --bits 4 --vad").status, 0);
    fs::remove(dir.path() / "memo.wav");
    CommandRun run = zelvio(dir, "decode memo.pdb");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "memo.wav: 120 Frames (0:02) of 4-bit ADPCM, 10000 Hz mono"))
        << run.out;
    EXPECT_EQ(readFileBytes(dir.path() / "memo.wav").size(), 44u + 120 * 400);

    dir.write("memo.wav", Bytes{'o', 'l', 'd'});
    run = zelvio(dir, "decode memo.pdb");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "exists already")) << run.err;
    EXPECT_EQ(readText(dir.path() / "memo.wav"), "old");
    run = zelvio(dir, "decode memo.pdb --force --comfort-noise");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "comfort noise")) << run.out;
    EXPECT_EQ(readFileBytes(dir.path() / "memo.wav").size(), 44u + 120 * 400);
}

// A folder takes names of up to 255 bytes; convert and decode both write beside their target,
// so each needs room for its temporary name next to a long one.
TEST(ZelvioReadback, ConvertAndDecodeWriteTargetsWithLongNames) {
    TempDirectory dir;
    dir.write("in.wav", burstsAndPauses());
    for (const std::size_t length : {240u, 255u}) {
        SCOPED_TRACE(length);
        const std::string database = std::string(length - 4, 'd') + ".pdb";
        const std::string wave = std::string(length - 4, 'w') + ".wav";
        CommandRun run = zelvio(dir, "convert in.wav -q -f -o " + database);
        ASSERT_EQ(run.status, 0) << run.err;
        run = zelvio(dir, "decode " + database + " -q -f -o " + wave);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readFileBytes(dir.path() / wave).size(), 44u + 120 * 400);
        fs::remove(dir.path() / database);
        fs::remove(dir.path() / wave);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(ZelvioReadback, ADamagedDatabaseExitsWithOneAndSaysWhere) {
    TempDirectory dir;
    dir.write("in.wav", burstsAndPauses());
    ASSERT_EQ(zelvio(dir, "convert in.wav -q --bits 2").status, 0);
    Bytes file = readFileBytes(dir.path() / "in.pdb");
    file[230 + 12 + 1] = 9;  // codec 9
    dir.write("bad.pdb", file);
    for (const char* command : {"info bad.pdb", "info --json bad.pdb", "decode bad.pdb"}) {
        SCOPED_TRACE(command);
        const CommandRun run = zelvio(dir, command);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(
            run.err,
            "zelvio: bad.pdb: record 1 (offset 230): codec 9 at offset 242 is not one we know "
            "(0, 5, 6 or 7)\n");
    }
    EXPECT_FALSE(fs::exists(dir.path() / "bad.wav"));
    const CommandRun missing = zelvio(dir, "decode nothing.pdb");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "nothing.pdb")) << missing.err;
}

TEST(ZelvioReadback, UsageErrorsExitWithTwo) {
    TempDirectory dir;
    for (const char* arguments :
         {"info", "decode", "decode a.pdb --bits 4", "info a.pdb b.pdb", "decode a.pdb -o"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(zelvio(dir, arguments).status, 2);
    }
    const CommandRun help = zelvio(dir, "decode --help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--output", "--comfort-noise", "--force", "--quiet"}) {
        EXPECT_TRUE(contains(help.out, option)) << option;
    }
}

}  // namespace
