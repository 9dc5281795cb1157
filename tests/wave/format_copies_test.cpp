// Every reader delivers the samples WaveFile delivers from the same content: copies of WAVE files
// in FLAC, AIFF/AIFC, W64, CAF (PCM and ALAC), AU, RF64 and big-endian WAVE, made by libsndfile
// and opened through openAudioSource, sample frame for sample frame. Also: the libsndfile source
// on Ogg and MP3 (which a build with FFmpeg gives to FFmpeg), and a FLAC stream that does not
// state its length.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/sndfile_copies.h"
#include "wave/audio_source.h"
#include "wave/input_file.h"
#include "wave/sndfile_source.h"
#include "wave/wave_file.h"

namespace zelvio {

void PrintTo(const SampleFrame& frame, std::ostream* out) {
    *out << "{" << frame.left << ", " << frame.right << "}";
}

namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::copyWithLibsndfile;
using test_support::SoundFormat;
using test_support::soundWave;
using test_support::TempDirectory;

/// Every sample frame a source delivers, in requests of an odd size; the right slot of a mono
/// source stays 0. Fails the test when the source does not end cleanly.
std::vector<SampleFrame> readAll(AudioSource& source) {
    std::vector<SampleFrame> all;
    std::vector<SampleFrame> block(1021, SampleFrame{0, 0});
    for (;;) {
        const AudioStatus status =
            source.readSamples(static_cast<std::int64_t>(block.size()), block.data());
        const std::int64_t got = source.framesDelivered() - static_cast<std::int64_t>(all.size());
        all.insert(all.end(), block.begin(), block.begin() + got);
        if (status != kAudioOk) {
            EXPECT_TRUE(source.endReached()) << source.errorText();
            EXPECT_EQ(source.errorText(), kEndOfSamplesText);
            break;
        }
    }
    return all;
}

std::vector<SampleFrame> waveFrames(const fs::path& path) {
    WaveFile wave;
    EXPECT_EQ(wave.open(path), kAudioOk) << wave.errorText();
    return readAll(wave);
}

TEST(FormatCopies, DeliverExactlyTheSamplesOfTheirWaveOriginal) {
    struct Case {
        SoundFormat sound;
        int format;  ///< libsndfile container | encoding of the copy
        const char* extension;
        const char* description;
    };
    const SoundFormat mono16{.bits = 16}, stereo16{.bits = 16, .channels = 2};
    const SoundFormat mono24{.bits = 24}, stereo24{.bits = 24, .channels = 2};
    const SoundFormat mono8{.bits = 8}, stereo8{.bits = 8, .channels = 2};
    const SoundFormat stereo32{.bits = 32, .channels = 2};
    const SoundFormat float32{.bits = 32, .floating = true, .channels = 2};
    const SoundFormat float64{.bits = 64, .floating = true};
    const Case cases[] = {
        {mono16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac", "FLAC, 16-bit PCM"},
        {stereo16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac", "FLAC, 16-bit PCM"},
        {mono24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "flac", "FLAC, 24-bit PCM"},
        {stereo24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "flac", "FLAC, 24-bit PCM"},
        {stereo8, SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, "flac", "FLAC, 8-bit PCM"},
        {stereo16, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "aiff", "AIFF, 16-bit PCM"},
        {mono24, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "aiff", "AIFF, 24-bit PCM"},
        {stereo32, SF_FORMAT_AIFF | SF_FORMAT_PCM_32, "aiff", "AIFF, 32-bit PCM"},
        {mono8, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, "aiff", "AIFF, 8-bit PCM"},
        {float32, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "aifc", "AIFF, 32-bit float"},
        {float64, SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, "aifc", "AIFF, 64-bit float"},
        {mono16, SF_FORMAT_W64 | SF_FORMAT_PCM_16, "w64", "W64, 16-bit PCM"},
        {stereo24, SF_FORMAT_W64 | SF_FORMAT_PCM_24, "w64", "W64, 24-bit PCM"},
        {stereo8, SF_FORMAT_W64 | SF_FORMAT_PCM_U8, "w64", "W64, 8-bit PCM"},
        {stereo32, SF_FORMAT_W64 | SF_FORMAT_PCM_32, "w64", "W64, 32-bit PCM"},
        {float32, SF_FORMAT_W64 | SF_FORMAT_FLOAT, "w64", "W64, 32-bit float"},
        {float64, SF_FORMAT_W64 | SF_FORMAT_DOUBLE, "w64", "W64, 64-bit float"},
        {stereo16, SF_FORMAT_CAF | SF_FORMAT_PCM_16, "caf", "CAF, 16-bit PCM"},
        {mono16, SF_FORMAT_CAF | SF_FORMAT_ALAC_16, "caf", "CAF, ALAC 16-bit"},
        {stereo24, SF_FORMAT_CAF | SF_FORMAT_ALAC_24, "caf", "CAF, ALAC 24-bit"},
        {mono16, SF_FORMAT_AU | SF_FORMAT_PCM_16, "au", "AU, 16-bit PCM"},
        {stereo16, SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, "wav", "WAVE, 16-bit PCM"},
        // RF64 is WAVE to our own reader.
        {stereo24, SF_FORMAT_RF64 | SF_FORMAT_PCM_24, "rf64", "WAVE, 24-bit PCM (extensible)"},
    };
    TempDirectory dir;
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.description) + ", " + std::to_string(c.sound.channels) +
                     " channel(s), from " + std::to_string(c.sound.bits) + "-bit WAVE");
        const std::string number = std::to_string(index++);
        const fs::path original = dir.write("original" + number + ".wav", soundWave(c.sound));
        const fs::path copy = dir / ("copy" + number + "." + c.extension);
        ASSERT_EQ(copyWithLibsndfile(original, copy, c.format), "");

        const std::vector<SampleFrame> expected = waveFrames(original);
        ASSERT_EQ(expected.size(), 8820u);
        const OpenedAudio opened = openAudioSource(copy);
        ASSERT_EQ(opened.status, kAudioOk) << opened.errorText;
        AudioSource& source = *opened.source;
        EXPECT_EQ(source.formatDescription(), c.description);
        EXPECT_EQ(source.sampleRate(), 22050u);
        EXPECT_EQ(source.channels(), c.sound.channels);
        EXPECT_EQ(source.sampleFrameCount(), static_cast<std::int64_t>(expected.size()));
        const std::vector<SampleFrame> got = readAll(source);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].left, expected[i].left) << "frame " << i;
            if (c.sound.channels == 2) {
                ASSERT_EQ(got[i].right, expected[i].right) << "frame " << i;
            }
        }
    }
}

// A FLAC stream written where the writer could not go back (a pipe) leaves its total at 0: the
// source says it does not know its length, and LengthRule::Counted counts it.
TEST(FormatCopies, AFlacWithoutItsTotalIsCountedToTheSameSamples) {
    TempDirectory dir;
    const fs::path original = dir.write("in.wav", soundWave({.bits = 16, .channels = 2}));
    const fs::path flac = dir / "in.flac";
    ASSERT_EQ(copyWithLibsndfile(original, flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16), "");
    Bytes bytes = test_support::readFileBytes(flac);
    // "fLaC", the block header, then STREAMINFO: the total is the low 36 bits of bytes 18 to 25.
    ASSERT_GT(bytes.size(), 42u);
    bytes[21] &= 0xF0;
    std::fill(bytes.begin() + 22, bytes.begin() + 26, 0);
    const fs::path open = dir.write("open.flac", bytes);

    const OpenedAudio asStated = openAudioSource(open);
    ASSERT_EQ(asStated.status, kAudioOk) << asStated.errorText;
    EXPECT_EQ(asStated.source->sampleFrameCount(), kUnknownFrameCount);
    const std::vector<SampleFrame> expected = waveFrames(original);
    EXPECT_EQ(readAll(*asStated.source), expected);

    const OpenedAudio counted = openAudioSource(open, LengthRule::Counted);
    ASSERT_EQ(counted.status, kAudioOk) << counted.errorText;
    EXPECT_EQ(counted.source->sampleFrameCount(), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(readAll(*counted.source), expected);
}

// Mixing down is defined for mono and stereo: libsndfile's and FFmpeg's inputs with more channels
// are refused with their count.
TEST(FormatCopies, MoreThanTwoChannelsAreRefusedWithTheirCount) {
    TempDirectory dir;
    struct Case {
        std::uint16_t channels;
        int format;
        const char* extension;
    };
    const Case cases[] = {
        {6, SF_FORMAT_W64 | SF_FORMAT_PCM_16, "w64"},
        {3, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac"},
        {4, SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg"},  // to FFmpeg, when the build has it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        const fs::path original =
            dir.write("surround.wav",
                      test_support::canonicalWave({.channels = c.channels, .sampleRate = 22050},
                                                  Bytes(std::size_t{4000} * c.channels, 0x10)));
        const fs::path copy = dir / (std::string("surround.") + c.extension);
        ASSERT_EQ(copyWithLibsndfile(original, copy, c.format), "");
        const OpenedAudio input = openAudioSource(copy);
        EXPECT_EQ(input.status, kAudioBadFile);
        EXPECT_TRUE(input.formatRecognised);
        EXPECT_EQ(input.errorText,
                  std::to_string(c.channels) + " channels (only mono and stereo are supported)");
    }
}

// Where the build has no FFmpeg, libsndfile reads Ogg and MP3: their lengths are not taken from
// libsndfile, and they decode to the same length as through openAudioSource.
TEST(SndfileSource, ReadsOggAndMp3WithoutClaimingTheirLength) {
    const fs::path lossy = fs::path(ZELVIO_TEST_DATA) / "lossy";
    for (const char* name : {"speech.ogg", "speech.opus", "speech.mp3"}) {
        SCOPED_TRACE(name);
        auto file = std::make_shared<InputFile>();
        ASSERT_EQ(file->open(lossy / name), kAudioOk);
        SndfileSource source;
        ASSERT_EQ(source.open(file), kAudioOk) << source.errorText();
        EXPECT_TRUE(source.isDerivedLengthStream());
        EXPECT_EQ(source.sampleFrameCount(), kUnknownFrameCount);
        EXPECT_EQ(source.channels(), 2);
        const std::vector<SampleFrame> frames = readAll(source);
        const OpenedAudio counted = openAudioSource(lossy / name, LengthRule::Counted);
        ASSERT_EQ(counted.status, kAudioOk) << counted.errorText;
        // Both decoders trim the encoder's delay; MP3 decoders may differ by a frame's padding.
        EXPECT_NEAR(static_cast<double>(frames.size()),
                    static_cast<double>(counted.source->sampleFrameCount()), 1152);
    }
}

}  // namespace
}  // namespace zelvio
