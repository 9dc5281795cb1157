// The input seam: openAudioSource opens what the job reads, chosen by content, says what it
// opened, reads a stream like a file, counts what does not state its length, and passes a
// refusal on with the reader's own reason.
#include "wave/audio_source.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/status_texts.h"
#include "support/wave_builder.h"
#include "wave/input_formats.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::canonicalWave;
using test_support::extensibleFormatBody;
using test_support::TempDirectory;
using test_support::WaveBuilder;

TEST(OpenAudioSource, OpensWaveFilesAndDescribesTheirFormat) {
    TempDirectory dir;
    struct Case {
        Bytes file;
        std::uint32_t rate;
        std::uint16_t channels;
        std::int64_t frames;
        const char* description;
    };
    const Case cases[] = {
        {canonicalWave({.channels = 2, .sampleRate = 22050}, Bytes(40)), 22050, 2, 10,
         "WAVE, 16-bit PCM"},
        {canonicalWave({.sampleRate = 8000, .bitsPerSample = 8}, Bytes(3)), 8000, 1, 3,
         "WAVE, 8-bit PCM"},
        {canonicalWave({.tag = 3, .sampleRate = 48000, .bitsPerSample = 64}, Bytes(16)), 48000, 1,
         2, "WAVE, 64-bit float"},
        {WaveBuilder()
             .chunk("fmt ", extensibleFormatBody({.sampleRate = 16000, .bitsPerSample = 24}, 1))
             .data(Bytes(6))
             .bytes(),
         16000, 1, 2, "WAVE, 24-bit PCM (extensible)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const OpenedAudio input = openAudioSource(dir.write("in.wav", c.file));
        ASSERT_EQ(input.status, kAudioOk) << input.errorText;
        ASSERT_NE(input.source, nullptr);
        EXPECT_EQ(input.errorText, "");
        EXPECT_EQ(input.source->sampleRate(), c.rate);
        EXPECT_EQ(input.source->channels(), c.channels);
        EXPECT_EQ(input.source->sampleFrameCount(), c.frames);
        EXPECT_EQ(input.source->formatDescription(), c.description);
        std::array<SampleFrame, 16> frames{};
        EXPECT_EQ(input.source->readSamples(c.frames, frames.data()), kAudioOk);
        EXPECT_EQ(input.source->readSamples(1, frames.data()), kAudioBadFile);
        EXPECT_EQ(input.source->errorText(), "end of the sample data");
    }
}

TEST(OpenAudioSource, PassesTheReadersRefusalOn) {
    TempDirectory dir;
    // Content no reader knows: our WAVE reader's own words when it is the only reader.
    const InputReaders readers = inputReaders();
    const char* unknownContent = readers.libsndfile || readers.ffmpeg
                                     ? "not a RIFF WAVE file nor another audio format this "
                                       "build reads"
                                     : "not a RIFF WAVE file";
    struct Case {
        std::filesystem::path path;
        AudioStatus status;
        const char* errorText;
    };
    const Case cases[] = {
        {"", kAudioUnsupported, "no input file was named"},
        {dir.path() / "missing.wav", kAudioBadFile, "cannot open file: no such file or directory"},
        {dir.write("text.wav", Bytes(64, 'x')), kAudioBadFile, unknownContent},
        {dir.write("ulaw.wav", canonicalWave({.tag = 7, .bitsPerSample = 8}, Bytes(4))),
         kAudioUnsupported, "unsupported encoding (format tag 7, u-law)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errorText);
        const OpenedAudio input = openAudioSource(c.path);
        EXPECT_EQ(input.status, c.status);
        EXPECT_EQ(input.source, nullptr);
        EXPECT_EQ(input.errorText, c.errorText);
    }
    test_support::expectDistinctStatusTexts(audioStatusText,
                                            {kAudioOk, kAudioBadFile, kAudioUnsupported});
}

const std::filesystem::path kLossy = std::filesystem::path(ZELVIO_TEST_DATA) / "lossy";

/// Every sample frame the source still has.
std::vector<SampleFrame> readAll(AudioSource& source) {
    std::vector<SampleFrame> all;
    std::vector<SampleFrame> block(4096, SampleFrame{0, 0});
    const std::int64_t before = source.framesDelivered();
    for (;;) {
        const AudioStatus status =
            source.readSamples(static_cast<std::int64_t>(block.size()), block.data());
        const auto got = static_cast<std::size_t>(source.framesDelivered() - before) - all.size();
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
        if (status != kAudioOk) {
            EXPECT_TRUE(source.endReached()) << source.errorText();
            return all;
        }
    }
}

/// A stereo 16-bit WAVE file of count frames at 8000 Hz whose data size is unset (0xFFFFFFFF), as
/// a writer to a pipe leaves it.
Bytes unsetSizeWave(std::size_t count) {
    std::vector<std::int16_t> samples(2 * count);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(i * 977);
    }
    return WaveBuilder()
        .format({.channels = 2})
        .rawChunk("data", 0xFFFFFFFFu, test_support::pcm16Bytes(samples))
        .bytes();
}

TEST(OpenAudioSource, ChoosesTheReaderByContentNotByName) {
    if (!inputReaders().ffmpeg) {
        GTEST_SKIP() << "the lossy files are read through FFmpeg";
    }
    TempDirectory dir;
    struct Case {
        std::filesystem::path content;
        const char* misleadingName;
        const char* description;
    };
    const Case cases[] = {
        {kLossy / "speech.m4a", "memo.flac", "M4A/MP4, AAC"},
        {kLossy / "speech.mp3", "memo.ogg", "MP3"},
        {kLossy / "speech.ogg", "memo.mp3", "Ogg Vorbis"},
        {kLossy / "speech.opus", "memo.wav", "Ogg Opus"},
        {kLossy / "speech.wma", "memo.m4a", "ASF/WMA, WMA 2"},
        {dir.write("wave", unsetSizeWave(10)), "memo.mp3", "WAVE, 16-bit PCM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.misleadingName);
        const auto path = dir.write(c.misleadingName, test_support::readFileBytes(c.content));
        const OpenedAudio input = openAudioSource(path);
        ASSERT_EQ(input.status, kAudioOk) << input.errorText;
        EXPECT_EQ(input.source->formatDescription(), c.description);
        EXPECT_EQ(input.source->notice(), "");
    }
}

// Standard input arrives as a scratch file: an open stream reads like the file it holds, a WAVE
// file whose size is unset included; a stream that cannot seek is refused.
TEST(OpenAudioSource, ReadsAnOpenStreamLikeTheFileItHolds) {
    TempDirectory dir;
    std::vector<std::filesystem::path> files = {dir.write("unset.wav", unsetSizeWave(5000))};
    if (inputReaders().ffmpeg) {
        files.push_back(kLossy / "speech.m4a");
    }
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const OpenedAudio fromFile = openAudioSource(path, LengthRule::Counted);
        ASSERT_EQ(fromFile.status, kAudioOk) << fromFile.errorText;
        const std::vector<SampleFrame> expected = readAll(*fromFile.source);

        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        const Bytes bytes = test_support::readFileBytes(path);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), stream), bytes.size());
        const OpenedAudio fromStream = openAudioSource(stream, LengthRule::Counted);
        ASSERT_EQ(fromStream.status, kAudioOk) << fromStream.errorText;
        EXPECT_EQ(fromStream.source->sampleFrameCount(), fromFile.source->sampleFrameCount());
        EXPECT_EQ(fromStream.source->formatDescription(), fromFile.source->formatDescription());
        EXPECT_EQ(readAll(*fromStream.source), expected);
        std::fclose(stream);
    }
    int ends[2];
    ASSERT_EQ(test_support::makePipe(ends), 0);
    std::FILE* pipe = ::fdopen(ends[0], "rb");
    const OpenedAudio unseekable = openAudioSource(pipe);
    EXPECT_EQ(unseekable.status, kAudioBadFile);
    EXPECT_EQ(unseekable.errorText, "cannot read the input: it cannot seek");
    std::fclose(pipe);
    ::close(ends[1]);
}

// A source that cannot state its length says so; LengthRule::Counted reads it once and then
// states exactly what it delivers.
TEST(OpenAudioSource, CountsAnInputThatDoesNotStateItsLength) {
    if (!inputReaders().ffmpeg) {
        GTEST_SKIP() << "the lossy files are read through FFmpeg";
    }
    for (const char* name : {"speech.mp3", "speech.ogg", "speech.opus", "speech.m4a", "speech.wma",
                             "two_tracks.mka"}) {
        SCOPED_TRACE(name);
        const OpenedAudio asStated = openAudioSource(kLossy / name);
        ASSERT_EQ(asStated.status, kAudioOk) << asStated.errorText;
        EXPECT_EQ(asStated.source->sampleFrameCount(), kUnknownFrameCount);
        const auto decoded = static_cast<std::int64_t>(readAll(*asStated.source).size());

        const OpenedAudio counted = openAudioSource(kLossy / name, LengthRule::Counted);
        ASSERT_EQ(counted.status, kAudioOk) << counted.errorText;
        EXPECT_EQ(counted.source->sampleFrameCount(), decoded);
        EXPECT_EQ(static_cast<std::int64_t>(readAll(*counted.source).size()), decoded);
        EXPECT_GT(decoded, counted.source->sampleRate() / 3);
    }
}

// Of several audio tracks the default one is read, and the source says so.
TEST(OpenAudioSource, TakesTheDefaultOfSeveralAudioTracksAndSaysSo) {
    if (!inputReaders().ffmpeg) {
        GTEST_SKIP() << "Matroska is read through FFmpeg";
    }
    const OpenedAudio input = openAudioSource(kLossy / "two_tracks.mka");
    ASSERT_EQ(input.status, kAudioOk) << input.errorText;
    EXPECT_EQ(input.source->formatDescription(), "Matroska/WebM, Opus (audio track 2 of 2)");
    EXPECT_EQ(input.source->notice(),
              "the file has 2 audio tracks; track 2, the default one, is converted");
    // Track 1 is digital silence, track 2 the speech.
    int loud = 0;
    for (const SampleFrame& frame : readAll(*input.source)) {
        loud += std::abs(frame.left) > 1000 ? 1 : 0;
    }
    EXPECT_GT(loud, 1000);
}

TEST(OpenAudioSource, RefusesMoreThanTwoChannelsSayingHowMany) {
    TempDirectory dir;
    const OpenedAudio input =
        openAudioSource(dir.write("surround.wav", canonicalWave({.channels = 6}, Bytes(120))));
    EXPECT_EQ(input.status, kAudioBadFile);
    EXPECT_EQ(input.errorText, "6 channels (only mono and stereo are supported)");
}

}  // namespace
}  // namespace zelvio
