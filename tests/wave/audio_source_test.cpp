// The input seam: openAudioSource opens what the job reads, says what it opened, and passes a
// refusal on with the reader's own reason.
#include "wave/audio_source.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

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

}  // namespace
}  // namespace zelvio
