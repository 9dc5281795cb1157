// zelvio with audio files beyond WAVE, standard input and standard output, as users run it:
// pipes give the bytes files give, bad input is refused with the file and the reason and leaves
// nothing behind, info tells what an audio file would give, help lists what the build reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/command_runner.h"
#include "support/files.h"
#include "support/wave_builder.h"
#include "wave/input_formats.h"

namespace {

namespace fs = std::filesystem;
using zelvio::test_support::Bytes;
using zelvio::test_support::CommandRun;
using zelvio::test_support::readFileBytes;
using zelvio::test_support::shellLine;
using zelvio::test_support::TempDirectory;
using zelvio::test_support::TemporaryFolderOverride;
using zelvio::test_support::WaveBuilder;
using zelvio::test_support::zelvio;

const fs::path kLossy = fs::path(ZELVIO_TEST_DATA) / "lossy";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool hasFfmpeg() {
    return zelvio::inputReaders().ffmpeg;
}

// 1.5 s of a stereo chord at 22050 Hz; with unsetSize the data chunk's size is 0xFFFFFFFF, as a
// writer to a pipe leaves it.
Bytes stereoWave(bool unsetSize) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 33075; ++i) {
        const double t = i / 22050.0;
        samples.push_back(static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 330 * t)));
        samples.push_back(static_cast<std::int16_t>(7000 * std::sin(2 * M_PI * 495 * t)));
    }
    const Bytes data = zelvio::test_support::pcm16Bytes(samples);
    WaveBuilder wave;
    wave.format({.channels = 2, .sampleRate = 22050});
    return (unsetSize ? wave.rawChunk("data", 0xFFFFFFFFu, data) : wave.data(data)).bytes();
}

TEST(ZelvioStreams, StandardInputGivesTheBytesTheFileGives) {
    TempDirectory dir;
    TemporaryFolderOverride tmp;  // after dir, which would otherwise be made in it
    for (bool unsetSize : {false, true}) {
        SCOPED_TRACE(unsetSize ? "unset data size" : "known data size");
        dir.write("in.wav", stereoWave(unsetSize));
        for (const char* mode : {"--bits 8", "--bits 4 --vad", "--bits 2"}) {
            SCOPED_TRACE(mode);
            ASSERT_EQ(zelvio(dir, std::string("convert in.wav -o file.pdb -f -q ") + mode).status,
                      0);
            CommandRun run = shellLine(dir, std::string("cat in.wav | \"$ZELVIO\" convert - -o "
                                                        "piped.pdb -f -q --title in ") +
                                                mode);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(readFileBytes(dir / "piped.pdb"), readFileBytes(dir / "file.pdb"));
            // Both ends streams: the database on standard output, whole.
            run =
                shellLine(dir, std::string("cat in.wav | \"$ZELVIO\" convert - -o - --title in ") +
                                   mode + " > out.pdb");
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(contains(run.err, "standard output: saved")) << run.err;
            EXPECT_EQ(readFileBytes(dir / "out.pdb"), readFileBytes(dir / "file.pdb"));
        }
        EXPECT_TRUE(tmp.empty());
    }
    if (hasFfmpeg()) {  // a format that needs counting, through a pipe
        dir.write("in.m4a", readFileBytes(kLossy / "speech.m4a"));
        ASSERT_EQ(zelvio(dir, "convert in.m4a -o file.pdb -f -q --bits 4").status, 0);
        const CommandRun run = shellLine(
            dir, "cat in.m4a | \"$ZELVIO\" convert - -o - -q --bits 4 --title in > out.pdb");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readFileBytes(dir / "out.pdb"), readFileBytes(dir / "file.pdb"));
    }
    EXPECT_TRUE(tmp.empty());
}

TEST(ZelvioStreams, DecodeToStandardOutputGivesTheWaveFile) {
    TempDirectory dir;
    TemporaryFolderOverride tmp;  // after dir, which would otherwise be made in it
    dir.write("in.wav", stereoWave(false));
    ASSERT_EQ(zelvio(dir, "convert in.wav -o x.pdb --bits 3 -q").status, 0);
    ASSERT_EQ(zelvio(dir, "decode x.pdb -o x.wav -q").status, 0);
    const CommandRun run = shellLine(dir, "\"$ZELVIO\" decode x.pdb -o - | cmp - x.wav");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "standard output: 75 Frames")) << run.err;
    EXPECT_TRUE(tmp.empty());
}

// What a stream cannot do is a usage error (2): binary to a terminal, audio from a terminal, and
// standard input with no output named.
TEST(ZelvioStreams, TerminalsAndAMissingOutputAreUsageErrors) {
    TempDirectory dir;
    dir.write("in.wav", stereoWave(false));
    CommandRun run = shellLine(dir, "\"$ZELVIO\" convert - < in.wav");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "-o")) << run.err;
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no script(1) to give the command a terminal";
    }
    ASSERT_EQ(zelvio(dir, "convert in.wav -q").status, 0);
    struct Case {
        const char* command;
        const char* hint;
    };
    const Case cases[] = {
        {"convert in.wav -o -", "will not write a database to a terminal"},
        {"decode in.pdb -o -", "will not write a WAVE file to a terminal"},
        {"convert - -o out.pdb", "standard input is a terminal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        // script gives the command a terminal for both standard input and output.
        run = shellLine(dir, std::string("script -qec '\"$ZELVIO\" ") + c.command +
                                 "; echo status=$?' /dev/null < /dev/null");
        EXPECT_TRUE(contains(run.out, c.hint)) << run.out;
        EXPECT_TRUE(contains(run.out, "status=2")) << run.out;
    }
    EXPECT_FALSE(fs::exists(dir / "out.pdb"));
}

TEST(ZelvioFormats, BadInputIsRefusedWithTheFileAndTheReasonAndLeavesNothing) {
    TempDirectory dir;
    TemporaryFolderOverride tmp;  // after dir, which would otherwise be made in it
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;  ///< part of the message after the file's name
        bool needsFfmpeg;
    };
    const Bytes mp3 = readFileBytes(kLossy / "speech.mp3");
    const Bytes ogg = readFileBytes(kLossy / "speech.ogg");
    const Bytes m4a = readFileBytes(kLossy / "speech.m4a");
    const Bytes flac = readFileBytes(fs::path(ZELVIO_TEST_DATA) / ".." / "fuzz" / "corpus" /
                                     "audio" / "tone24.flac");
    Bytes zeroed = mp3;
    std::fill(zeroed.begin() + 6000, zeroed.begin() + 6400, 0);
    Bytes garbled = ogg;
    std::fill(garbled.begin() + 9000, garbled.begin() + 9021, 'g');
    const Case cases[] = {
        {"cut.mp3", Bytes(mp3.begin(), mp3.begin() + 8000), "cut short", true},
        {"damaged.mp3", zeroed, "damaged", true},
        {"damaged.ogg", garbled, "cut short or damaged", true},
        {"cut.ogg", Bytes(ogg.begin(), ogg.begin() + 4000), "cut short", true},
        {"cut.m4a", Bytes(m4a.begin(), m4a.begin() + 9000), "moov atom not found", true},
        {"cut.flac", Bytes(flac.begin(), flac.begin() + 9000), "cannot be decoded", false},
        {"empty.flac", Bytes(), "the file is empty", false},
        {"noise.wav", Bytes(3000, 0x5A), "not a RIFF WAVE file", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsFfmpeg && !hasFfmpeg()) {
            continue;
        }
        if (std::string(c.name) == "cut.flac" && !zelvio::inputReaders().libsndfile) {
            continue;
        }
        dir.write(c.name, c.bytes);
        const CommandRun run = zelvio(dir, std::string("convert ") + c.name + " -o out.pdb");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.err, std::string("\"") + c.name + "\"")) << run.err;
        EXPECT_TRUE(contains(run.err, c.reason)) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(dir / "out.pdb"));
        EXPECT_TRUE(tmp.empty());
    }
    // A folder, and nothing on standard input.
    fs::create_directory(dir / "folder.mp3");
    CommandRun run = zelvio(dir, "convert folder.mp3 -o out.pdb");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "\"folder.mp3\": cannot open file: it is a directory"))
        << run.err;
    run = shellLine(dir, "\"$ZELVIO\" convert - -o out.pdb < /dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "\"standard input\": the file is empty")) << run.err;
    if (::geteuid() != 0) {  // root reads every file
        dir.write("locked.wav", stereoWave(false));
        fs::permissions(dir / "locked.wav", fs::perms::none);
        run = zelvio(dir, "convert locked.wav -o out.pdb");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.err, "\"locked.wav\": cannot open file")) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out.pdb"));
    EXPECT_TRUE(tmp.empty());
}

// The readers of other formats live in a module loaded only for an input that is not WAVE: a
// WAVE file converts without it, and another format is refused, saying why, with nothing written.
TEST(ZelvioFormats, WithoutTheReaderModuleWaveStillConvertsAndOthersAreRefused) {
#ifndef ZELVIO_FORMAT_MODULE_BUILT
    GTEST_SKIP() << "this build links the readers into the program";
#else
    TempDirectory dir;
    TemporaryFolderOverride tmp;  // after dir, which would otherwise be made in it
    dir.write("in.wav", stereoWave(false));
    dir.write("in.mp3", readFileBytes(kLossy / "speech.mp3"));
    dir.write("not-a-module.so", Bytes(100, 'x'));
    ASSERT_EQ(zelvio(dir, "convert in.wav -o reference.pdb -q --bits 4").status, 0);
    struct Case {
        const char* module;
        const char* reason;
    };
    const Case cases[] = {
        {"/nonexistent/zelvio-formats.so", "No such file or directory"},
        {"./not-a-module.so", "not-a-module.so"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        const std::string module = std::string("ZELVIO_FORMAT_MODULE='") + c.module + "' ";
        CommandRun run =
            shellLine(dir, module + "\"$ZELVIO\" convert in.wav -o out.pdb -q --bits 4 -f");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readFileBytes(dir / "out.pdb"), readFileBytes(dir / "reference.pdb"));
        fs::remove(dir / "out.pdb");
        for (const char* command : {"convert in.mp3 -o out.pdb", "info in.mp3"}) {
            run = shellLine(dir, module + "\"$ZELVIO\" " + command);
            EXPECT_EQ(run.status, 1) << command;
            EXPECT_TRUE(contains(run.err, "in.mp3")) << run.err;
            EXPECT_TRUE(
                contains(run.err, "the readers of formats other than WAVE cannot be loaded"))
                << run.err;
            EXPECT_TRUE(contains(run.err, c.reason)) << run.err;
            EXPECT_FALSE(fs::exists(dir / "out.pdb"));
        }
        EXPECT_TRUE(tmp.empty());
    }
#endif
}

TEST(ZelvioFormats, ConvertNamesWhichOfSeveralTracksItTook) {
    if (!hasFfmpeg()) {
        GTEST_SKIP() << "Matroska is read through FFmpeg";
    }
    TempDirectory dir;
    dir.write("two.mka", readFileBytes(kLossy / "two_tracks.mka"));
    CommandRun run = zelvio(dir, "convert two.mka");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "zelvio: note: the file has 2 audio tracks; track 2, the default one, is "
              "converted\n");
    run = zelvio(dir, "convert two.mka -f -q");
    EXPECT_EQ(run.out + run.err, "");
}

TEST(ZelvioInfo, AnAudioFileShowsWhatAConversionWouldGive) {
    TempDirectory dir;
    dir.write("in.wav", stereoWave(false));
    CommandRun run = zelvio(dir, "info in.wav");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* line : {"Format:        WAVE, 16-bit PCM\n", "Sample rate:   22050 Hz\n",
                             "Channels:      2 (stereo, mixed to mono when converted)\n",
                             "Length:        0:01.500 (33075 sample frames)\n",
                             "Converted:     75 Frames of 20 ms at 10000 Hz mono (0:01.500)\n",
                             "8-bit PCM            1              21:05.640\n",
                             "4-bit ADPCM          1              41:59.340\n",
                             "3-bit ADPCM          1              55:47.180\n",
                             "2-bit ADPCM          1              83:10.920\n"}) {
        EXPECT_TRUE(contains(run.out, line)) << line << "\n--- in ---\n" << run.out;
    }
    run = zelvio(dir, "info --json in.wav");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* part :
         {"\"kind\": \"audio\"", "\"sampleFrames\": 33075", "\"frames\": 75",
          "{\"bits\": 8, \"codecName\": \"8-bit PCM\", \"framesPerDatabase\": 63282, "
          "\"msPerDatabase\": 1265640, \"databases\": 1}",
          "{\"bits\": 2, \"codecName\": \"2-bit ADPCM\", \"framesPerDatabase\": 249546, "
          "\"msPerDatabase\": 4990920, \"databases\": 1}"}) {
        EXPECT_TRUE(contains(run.out, part)) << part << "\n--- in ---\n" << run.out;
    }

    // 45 minutes at 1000 Hz: 135000 Frames fill 3, 2, 1 and 1 databases.
    std::vector<std::int16_t> hum(45 * 60 * 1000);
    for (std::size_t i = 0; i < hum.size(); ++i) {
        hum[i] = static_cast<std::int16_t>((i * 37) % 2000) - 1000;
    }
    dir.write("long.wav", zelvio::test_support::canonicalWave(
                              {.sampleRate = 1000}, zelvio::test_support::pcm16Bytes(hum)));
    run = zelvio(dir, "info long.wav --json");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* part : {"\"frames\": 135000", "\"databases\": 3}", "\"databases\": 2}"}) {
        EXPECT_TRUE(contains(run.out, part)) << part << "\n--- in ---\n" << run.out;
    }

    if (hasFfmpeg()) {  // counted, and a damaged one refused with the reason
        dir.write("in.m4a", readFileBytes(kLossy / "speech.m4a"));
        run = zelvio(dir, "info in.m4a");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, "Format:        M4A/MP4, AAC\n")) << run.out;
        const Bytes m4a = readFileBytes(kLossy / "speech.m4a");
        dir.write("cut.m4a", Bytes(m4a.begin(), m4a.begin() + 9000));
        run = zelvio(dir, "info cut.m4a");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "zelvio: cut.m4a: FFmpeg cannot read it: moov atom not found\n");
    }
    // Neither a database nor audio: the database reader's reason.
    dir.write("notes.txt", Bytes(200, 'n'));
    run = zelvio(dir, "info notes.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "not an audio database")) << run.err;
}

TEST(ZelvioFormats, HelpListsTheFormatsThisBuildReads) {
    TempDirectory dir;
    const CommandRun run = zelvio(dir, "convert --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.out, zelvio::readableFormatNames())) << run.out;
    EXPECT_TRUE(contains(run.out, zelvio::readableFilePatterns())) << run.out;
    EXPECT_TRUE(contains(run.out, "standard input")) << run.out;
    EXPECT_TRUE(contains(run.out, "standard output")) << run.out;
}

}  // namespace
