#include "wave/wave_file.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/wave_builder.h"

namespace zelvio {

void PrintTo(const SampleFrame& frame, std::ostream* out) {
    *out << "{" << frame.left << ", " << frame.right << "}";
}

namespace {

using test_support::appendLe32;
using test_support::appendLe64;
using test_support::Bytes;
using test_support::canonicalWave;
using test_support::extensibleFormatBody;
using test_support::formatBody;
using test_support::pcm16Bytes;
using test_support::TempDirectory;
using test_support::WaveBuilder;
using test_support::WaveFormat;

constexpr SampleFrame kUntouched{12345, -12345};

class WaveFileTest : public ::testing::Test {
  protected:
    // Every image gets its own file, so a reader that is still open never sees it rewritten.
    std::filesystem::path write(const Bytes& image) {
        return dir_.write("input" + std::to_string(files_++) + ".wav", image);
    }
    WaveStatus openImage(const Bytes& image) { return wave_.open(write(image)); }

    // Everything the reader still holds, in requests of blockFrames.
    std::vector<SampleFrame> readAll(std::int64_t blockFrames = 200) {
        std::vector<SampleFrame> all;
        std::vector<SampleFrame> block(static_cast<std::size_t>(blockFrames), kUntouched);
        while (wave_.framesRemaining() > 0) {
            const std::int64_t expected = std::min(blockFrames, wave_.framesRemaining());
            const WaveStatus status = wave_.readSamples(blockFrames, block.data());
            EXPECT_EQ(status, expected == blockFrames ? kWaveOk : kWaveBadFile);
            all.insert(all.end(), block.begin(), block.begin() + expected);
        }
        return all;
    }

    std::vector<std::int16_t> readLeft() {
        std::vector<std::int16_t> left;
        for (const SampleFrame& frame : readAll()) {
            left.push_back(frame.left);
        }
        return left;
    }

    TempDirectory dir_;
    WaveFile wave_;
    int files_ = 0;
};

TEST(FourCC, PacksUpToFourCharactersFirstInTheLowestByteAndPadsWithSpaces) {
    struct Case {
        std::string_view text;
        std::uint32_t code;
    };
    const Case cases[] = {{"RIFF", 0x46464952}, {"data", 0x61746164},  {"fmt", 0x20746D66},
                          {"fmt ", 0x20746D66}, {"WAVEX", 0x45564157}, {"a", 0x20202061},
                          {"", 0x20202020}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(fourCC(c.text), c.code);
    }
}

TEST_F(WaveFileTest, CountsWholeSampleFramesOfEveryDeliveredFormat) {
    struct Case {
        std::uint16_t tag, channels, bits;
        std::size_t sampleBytes;
        std::int64_t frames;
    };
    const Case cases[] = {{1, 2, 16, 4000, 1000}, {1, 1, 16, 4000, 2000}, {1, 2, 8, 4000, 2000},
                          {1, 1, 8, 4000, 4000},  {1, 1, 16, 4001, 2000}, {1, 2, 24, 4002, 667},
                          {1, 1, 24, 4000, 1333}, {1, 2, 32, 4000, 500},  {3, 1, 32, 4000, 1000},
                          {3, 2, 64, 4000, 250}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tag " << c.tag << ", " << c.channels << " x " << c.bits
                                        << " bits, " << c.sampleBytes << " bytes");
        const WaveFormat format{
            .tag = c.tag, .channels = c.channels, .sampleRate = 22050, .bitsPerSample = c.bits};
        ASSERT_EQ(openImage(canonicalWave(format, Bytes(c.sampleBytes))), kWaveOk)
            << wave_.errorText();
        EXPECT_TRUE(wave_.isOpen());
        EXPECT_EQ(wave_.sampleFrameCount(), c.frames);
        EXPECT_EQ(wave_.sampleRate(), 22050u);
        EXPECT_EQ(wave_.channels(), c.channels);
        EXPECT_EQ(wave_.bitsPerSample(), c.bits);
        EXPECT_EQ(wave_.formatTag(), c.tag);
        EXPECT_EQ(wave_.sampleFormat(), c.tag);
        EXPECT_TRUE(wave_.errorText().empty());
    }
}

// Mono entries keep their right slot as it was.
std::vector<SampleFrame> mono(const std::vector<std::int16_t>& left) {
    std::vector<SampleFrame> frames;
    for (const std::int16_t sample : left) {
        frames.push_back({sample, kUntouched.right});
    }
    return frames;
}

// One request of `request` entries: the whole frames the data holds are filled in, the entries
// past them are left alone, and a request reaching past the data returns 3.
TEST_F(WaveFileTest, FillsOnlyWholeFramesOfTheDataAndLeavesTheRestAlone) {
    const std::int16_t four[] = {10, -20, 30, -40};
    std::vector<std::int16_t> interleaved;
    std::vector<SampleFrame> stereo;
    for (std::int16_t i = 0; i < 150; ++i) {
        interleaved.insert(interleaved.end(), {i, static_cast<std::int16_t>(-i - 1)});
        stereo.push_back({i, static_cast<std::int16_t>(-i - 1)});
    }
    struct Case {
        const char* name;
        Bytes image;
        std::int64_t request;
        std::vector<SampleFrame> expected;
    };
    const Case cases[] = {
        {"a header-only file", canonicalWave({}, {}), 1, {}},
        {"a partial last frame", canonicalWave({}, Bytes(4001, 0x01)), 2001,
         mono(std::vector<std::int16_t>(2000, 0x0101))},
        {"a chunk after the data",
         WaveBuilder().format({}).data(pcm16Bytes(four)).chunk("LIST", Bytes(100, 0x7F)).bytes(), 5,
         mono({10, -20, 30, -40})},
        {"an odd data size, its pad byte and a chunk after it",
         WaveBuilder()
             .format({.bitsPerSample = 8})
             .data({0x81, 0x82, 0x83})
             .chunk("id3 ", Bytes(9, 0x80))
             .bytes(),
         4, mono({256, 512, 768})},
        {"a short stereo file", canonicalWave({.channels = 2}, pcm16Bytes(interleaved)), 200,
         stereo},
        {"mono 16-bit, exactly", canonicalWave({}, pcm16Bytes(four)), 4, mono({10, -20, 30, -40})},
        {"centred and scaled 8-bit mono",
         canonicalWave({.bitsPerSample = 8}, {0x00, 0x80, 0xFF, 0x7F}), 4,
         mono({-32768, 0, 32512, -256})},
        {"centred and scaled 8-bit stereo",
         canonicalWave({.channels = 2, .bitsPerSample = 8}, {0x10, 0xF0}),
         1,
         {{-28672, 28672}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(openImage(c.image), kWaveOk);
        EXPECT_EQ(wave_.sampleFrameCount(), std::ssize(c.expected));
        std::vector<SampleFrame> entries(static_cast<std::size_t>(c.request) + 1, kUntouched);
        const bool past = std::ssize(c.expected) < c.request;
        EXPECT_EQ(wave_.readSamples(c.request, entries.data()), past ? kWaveBadFile : kWaveOk);
        if (past) {
            EXPECT_EQ(wave_.errorText(), "end of the sample data");
        }
        std::vector<SampleFrame> expected = c.expected;
        expected.resize(entries.size(), kUntouched);
        EXPECT_TRUE(entries == expected);
    }
}

TEST_F(WaveFileTest, WideIntegerSamplesKeepTheirTopSixteenBits) {
    struct Case {
        std::uint16_t bits;
        Bytes sample;  // little-endian, as stored
        std::int16_t expected;
    };
    // -1 >> 8 stays -1: a floor, not a truncation.
    const Case cases[] = {
        {24, {0x56, 0x34, 0x12}, 0x1234},      {24, {0xFF, 0xFF, 0x7F}, 32767},
        {24, {0x00, 0x00, 0x80}, -32768},      {24, {0xFF, 0xFF, 0xFF}, -1},
        {24, {0x00, 0xFF, 0xFF}, -1},          {24, {0xFF, 0x00, 0x00}, 0},
        {24, {0x00, 0x01, 0xFF}, -255},        {32, {0x78, 0x56, 0x34, 0x12}, 0x1234},
        {32, {0xFF, 0xFF, 0xFF, 0xFF}, -1},    {32, {0x00, 0x00, 0x00, 0x80}, -32768},
        {32, {0xFF, 0xFF, 0xFF, 0x7F}, 32767}, {32, {0xFF, 0xFF, 0x00, 0x00}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, expected " << c.expected);
        ASSERT_EQ(openImage(canonicalWave({.bitsPerSample = c.bits}, c.sample)), kWaveOk);
        EXPECT_EQ(readLeft(), std::vector<std::int16_t>{c.expected});
    }
}

Bytes float32Bytes(float x) {
    Bytes out;
    appendLe32(out, std::bit_cast<std::uint32_t>(x));
    return out;
}

Bytes float64Bytes(double x) {
    Bytes out;
    appendLe64(out, std::bit_cast<std::uint64_t>(x));
    return out;
}

TEST_F(WaveFileTest, FloatSamplesAreScaledRoundedToEvenAndClamped) {
    constexpr double kStep = 1.0 / 32768.0;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double x;
        std::int16_t expected;
    };
    // Ties go to the even neighbour.
    const Case cases[] = {{0.0, 0},
                          {0.5, 16384},
                          {-0.5, -16384},
                          {1.0, 32767},
                          {-1.0, -32768},
                          {2.0, 32767},
                          {-3.0, -32768},
                          {0.5 * kStep, 0},
                          {1.5 * kStep, 2},
                          {2.5 * kStep, 2},
                          {-0.5 * kStep, 0},
                          {-1.5 * kStep, -2},
                          {-2.5 * kStep, -2},
                          {0.6 * kStep, 1},
                          {-0.6 * kStep, -1},
                          {32766.5 * kStep, 32766},
                          {32767.5 * kStep, 32767},
                          {-32767.5 * kStep, -32768},
                          {-32768.5 * kStep, -32768},
                          {1e-40, 0},
                          {kInf, 32767},
                          {-kInf, -32768},
                          {kNaN, 0},
                          {-kNaN, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x = " << c.x << " (x * 32768 = " << c.x * 32768 << ")");
        ASSERT_EQ(openImage(canonicalWave({.tag = 3, .bitsPerSample = 32},
                                          float32Bytes(static_cast<float>(c.x)))),
                  kWaveOk);
        EXPECT_EQ(readLeft(), std::vector<std::int16_t>{c.expected}) << "32-bit";
        ASSERT_EQ(openImage(canonicalWave({.tag = 3, .bitsPerSample = 64}, float64Bytes(c.x))),
                  kWaveOk);
        EXPECT_EQ(readLeft(), std::vector<std::int16_t>{c.expected}) << "64-bit";
    }
    // Doubles round with their full precision: this one lies just above a tie.
    const double x = (1000.5 + std::ldexp(1.0, -30)) * kStep;
    ASSERT_EQ(openImage(canonicalWave({.tag = 3, .bitsPerSample = 64}, float64Bytes(x))), kWaveOk);
    EXPECT_EQ(readLeft(), std::vector<std::int16_t>{1001});
}

// Layouts written by common tools and recorders, each holding the samples 100, -200, 300, -400.
TEST_F(WaveFileTest, ReadsTheLayoutsOtherToolsWrite) {
    const std::int16_t samples[] = {100, -200, 300, -400};
    const Bytes data = pcm16Bytes(samples);
    const WaveFormat mono{};
    struct Case {
        const char* name;
        Bytes image;
    };
    Bytes wideSamples;  // the same values as 24-bit samples with a zero low byte
    for (std::size_t i = 0; i < data.size(); i += 2) {
        wideSamples.insert(wideSamples.end(), {0x00, data[i], data[i + 1]});
    }
    Bytes floatSamples;
    for (std::int16_t s : samples) {
        appendLe32(floatSamples, std::bit_cast<std::uint32_t>(static_cast<float>(s) / 32768.0f));
    }
    Bytes longFormat = formatBody(mono);
    longFormat.insert(longFormat.end(), {0x00, 0x00});  // the 18-byte form with cbSize 0
    const Case cases[] = {
        {"JUNK in place of RIFF", WaveBuilder().riffId("JUNK").format(mono).data(data).bytes()},
        {"RF64 in place of RIFF", WaveBuilder().riffId("RF64").format(mono).data(data).bytes()},
        {"riff in place of RIFF", WaveBuilder().riffId("riff").format(mono).data(data).bytes()},
        {"extra format bytes", WaveBuilder().chunk("fmt ", longFormat).data(data).bytes()},
        {"a LIST chunk before the data",
         WaveBuilder().format(mono).chunk("LIST", Bytes(26, 'x')).data(data).bytes()},
        {"a fact chunk between format and data",
         WaveBuilder().format(mono).chunk("fact", {4, 0, 0, 0}).data(data).bytes()},
        {"an odd-sized chunk followed by its pad byte",
         WaveBuilder().chunk("junk", {1, 2, 3}).format(mono).data(data).bytes()},
        {"a chunk ahead of the format chunk",
         WaveBuilder().chunk("bext", Bytes(602)).format(mono).data(data).bytes()},
        {"a second format chunk, which is ignored",
         WaveBuilder().format(mono).format({.channels = 2}).data(data).bytes()},
        {"an extensible header with 24-bit PCM",
         WaveBuilder()
             .chunk("fmt ", extensibleFormatBody({.bitsPerSample = 24}, 1))
             .data(wideSamples)
             .bytes()},
        {"an extensible header with float samples",
         WaveBuilder()
             .chunk("fmt ", extensibleFormatBody({.bitsPerSample = 32}, 3))
             .data(floatSamples)
             .bytes()},
        {"32-bit float with a fact chunk", WaveBuilder()
                                               .format({.tag = 3, .bitsPerSample = 32})
                                               .chunk("fact", {4, 0, 0, 0})
                                               .data(floatSamples)
                                               .bytes()},
        {"a data size of 0xFFFFFFFF",
         WaveBuilder().format(mono).rawChunk("data", ~0u, data).bytes()},
        {"a data size of 0", WaveBuilder().format(mono).rawChunk("data", 0, data).bytes()},
        {"a data size past the end of the file",
         WaveBuilder().format(mono).rawChunk("data", 1000, data).bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(openImage(c.image), kWaveOk) << wave_.errorText();
        EXPECT_EQ(wave_.sampleFrameCount(), 4);
        EXPECT_EQ(readLeft(), (std::vector<std::int16_t>{100, -200, 300, -400}));
    }
}

TEST_F(WaveFileTest, ReportsFilesItCannotOpen) {
    EXPECT_EQ(wave_.open(""), kWaveUnsupported);
    EXPECT_EQ(wave_.errorText(), "no input file was named");

    EXPECT_EQ(wave_.open(dir_.path() / "missing.wav"), kWaveBadFile);
    EXPECT_EQ(wave_.errorText(), "cannot open file: no such file or directory");

    EXPECT_EQ(wave_.open(dir_.path()), kWaveBadFile);
    EXPECT_EQ(wave_.errorText(), "cannot open file: it is a directory");
    EXPECT_FALSE(wave_.isOpen());
}

TEST_F(WaveFileTest, RefusesBadOrUnsupportedHeadersWithAClearReason) {
    const Bytes samples(8);
    const WaveFormat mono{};
    Bytes canonical = canonicalWave(mono, samples);
    Bytes shortFormat = formatBody(mono);
    shortFormat.resize(14);
    Bytes shortExtensible = formatBody({.tag = 0xFFFE});
    shortExtensible.insert(shortExtensible.end(), {0, 0});
    struct Case {
        const char* name;
        Bytes image;
        WaveStatus status;
        std::string_view text;
    };
    const Case cases[] = {
        {"an empty file", {}, kWaveBadFile, "the file is empty"},
        {"a text file", {'h', 'e', 'l', 'l', 'o', '\n'}, kWaveBadFile, "not a RIFF WAVE file"},
        {"another RIFF form", WaveBuilder().formType("AVI ").format(mono).data(samples).bytes(),
         kWaveBadFile, "not a RIFF WAVE file"},
        {"a file cut inside the RIFF header", Bytes(canonical.begin(), canonical.begin() + 10),
         kWaveBadFile, "file ends inside the header"},
        {"a file cut inside the format chunk", Bytes(canonical.begin(), canonical.begin() + 30),
         kWaveBadFile, "file ends inside the header"},
        {"a file of 40 bytes, cut inside the data chunk header",
         Bytes(canonical.begin(), canonical.begin() + 40), kWaveBadFile,
         "file ends inside the header"},
        {"a chunk running past the end",
         WaveBuilder().format(mono).rawChunk("LIST", 50, {}).bytes(), kWaveBadFile,
         "file ends inside the header"},
        {"no data chunk", WaveBuilder().format(mono).chunk("LIST", Bytes(4)).bytes(), kWaveBadFile,
         "no \"data\" chunk"},
        {"no chunks at all", WaveBuilder().bytes(), kWaveBadFile, "no \"data\" chunk"},
        {"data before the format", WaveBuilder().data(samples).format(mono).bytes(), kWaveBadFile,
         "the \"data\" chunk comes before the \"fmt \" chunk"},
        {"a 14-byte format chunk", WaveBuilder().chunk("fmt ", shortFormat).data(samples).bytes(),
         kWaveBadFile, "the \"fmt \" chunk is too short (14 bytes)"},
        {"3 channels", canonicalWave({.channels = 3}, samples), kWaveBadFile,
         "3 channels (only mono and stereo are supported)"},
        {"0 channels", canonicalWave({.channels = 0}, samples), kWaveBadFile,
         "0 channels (only mono and stereo are supported)"},
        {"12-bit samples in 16-bit containers",
         canonicalWave({.bitsPerSample = 12, .byteRate = 16000, .blockAlignment = 2}, samples),
         kWaveUnsupported, "unsupported sample width: 12 bits"},
        {"0-bit samples", canonicalWave({.bitsPerSample = 0}, samples), kWaveUnsupported,
         "unsupported sample width: 0 bits"},
        {"20-bit samples", canonicalWave({.bitsPerSample = 20}, samples), kWaveUnsupported,
         "unsupported sample width: 20 bits"},
        {"64-bit integers", canonicalWave({.bitsPerSample = 64}, samples), kWaveUnsupported,
         "unsupported sample width: 64 bits"},
        {"16-bit floats", canonicalWave({.tag = 3, .bitsPerSample = 16}, samples), kWaveUnsupported,
         "unsupported sample width: 16 bits (floating point)"},
        {"u-law", canonicalWave({.tag = 7, .bitsPerSample = 8}, samples), kWaveUnsupported,
         "unsupported encoding (format tag 7, u-law)"},
        {"Microsoft ADPCM", canonicalWave({.tag = 2, .bitsPerSample = 4}, samples),
         kWaveUnsupported, "unsupported encoding (format tag 2, Microsoft ADPCM)"},
        {"an unknown tag", canonicalWave({.tag = 0x1234}, samples), kWaveUnsupported,
         "unsupported encoding (format tag 4660)"},
        {"extensible u-law",
         WaveBuilder()
             .chunk("fmt ", extensibleFormatBody({.bitsPerSample = 8}, 7))
             .data(samples)
             .bytes(),
         kWaveUnsupported, "unsupported encoding (extensible format, sub-format 7, u-law)"},
        {"extensible with a foreign GUID",
         WaveBuilder()
             .chunk("fmt ", extensibleFormatBody({}, 1, /*standardGuid=*/false))
             .data(samples)
             .bytes(),
         kWaveUnsupported, "unsupported encoding (extensible format with an unknown sub-format)"},
        {"extensible without its extension",
         WaveBuilder().chunk("fmt ", shortExtensible).data(samples).bytes(), kWaveBadFile,
         "the extensible \"fmt \" chunk is too short (18 bytes)"},
        {"a byte rate off by one", canonicalWave({.byteRate = 16001}, samples), kWaveBadFile,
         "inconsistent header: byte rate 16001, expected 16000"},
        {"a wrong block alignment", canonicalWave({.blockAlignment = 4}, samples), kWaveBadFile,
         "inconsistent header: block alignment 4, expected 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openImage(c.image), c.status);
        EXPECT_EQ(wave_.errorText(), c.text);
        EXPECT_FALSE(wave_.isOpen());
        EXPECT_EQ(wave_.sampleFrameCount(), 0);
        SampleFrame entry = kUntouched;
        EXPECT_EQ(wave_.readSamples(1, &entry), kWaveUnsupported);
        EXPECT_EQ(entry, kUntouched);
    }
}

TEST_F(WaveFileTest, AcceptsAByteRateThatWrapsLikeThe32BitProduct) {
    // 2^29 Hz stereo 16-bit: rate * 32 is 2^34, which is 0 modulo 2^32.
    ASSERT_EQ(
        openImage(canonicalWave({.channels = 2, .sampleRate = 1u << 29, .byteRate = 0}, Bytes(8))),
        kWaveOk);
    EXPECT_EQ(wave_.sampleRate(), 1u << 29);
}

TEST_F(WaveFileTest, RefusesBadRequests) {
    SampleFrame entry = kUntouched;
    EXPECT_EQ(wave_.readSamples(1, &entry), kWaveUnsupported);
    EXPECT_EQ(wave_.errorText(), "no file is open");

    ASSERT_EQ(openImage(canonicalWave({}, Bytes(8))), kWaveOk);
    EXPECT_EQ(wave_.readSamples(0, &entry), kWaveUnsupported);
    EXPECT_EQ(wave_.readSamples(-5, &entry), kWaveUnsupported);
    EXPECT_EQ(wave_.readSamples(1, nullptr), kWaveUnsupported);
    EXPECT_EQ(entry, kUntouched);
    EXPECT_EQ(wave_.framesRemaining(), 4);  // nothing was consumed
}

TEST_F(WaveFileTest, ASecondOpenReplacesTheFirstFileAndCloseIsRepeatable) {
    const std::int16_t first[] = {1, 2, 3};
    const std::int16_t second[] = {-9};
    ASSERT_EQ(openImage(canonicalWave({}, pcm16Bytes(first))), kWaveOk);
    SampleFrame entry = kUntouched;
    ASSERT_EQ(wave_.readSamples(1, &entry), kWaveOk);
    ASSERT_EQ(openImage(canonicalWave({.sampleRate = 11025}, pcm16Bytes(second))), kWaveOk);
    EXPECT_EQ(wave_.sampleRate(), 11025u);
    EXPECT_EQ(readLeft(), std::vector<std::int16_t>{-9});

    EXPECT_EQ(wave_.close(), kWaveOk);
    EXPECT_FALSE(wave_.isOpen());
    EXPECT_EQ(wave_.close(), kWaveOk);
    EXPECT_EQ(wave_.readSamples(1, &entry), kWaveUnsupported);
}

TEST_F(WaveFileTest, DeliversTheSameFramesWhateverTheRequestSize) {
    constexpr int kFrames = 50000;  // several times the reader's block buffer
    std::vector<std::int16_t> samples;
    std::vector<SampleFrame> expected;
    for (int i = 0; i < kFrames; ++i) {
        const auto left = static_cast<std::int16_t>(i * 7);
        const auto right = static_cast<std::int16_t>(-i * 13);
        samples.insert(samples.end(), {left, right});
        expected.push_back({left, right});
    }
    const auto path =
        write(canonicalWave({.channels = 2, .sampleRate = 44100}, pcm16Bytes(samples)));
    for (std::int64_t block : {1, 7, 200, 4096, 16384, 50000, 70000}) {
        SCOPED_TRACE(block);
        ASSERT_EQ(wave_.open(path), kWaveOk);
        const std::vector<SampleFrame> all = readAll(block);
        ASSERT_EQ(all.size(), expected.size());
        EXPECT_TRUE(all == expected);
    }
}

TEST_F(WaveFileTest, ReadsTheShippedStereoVector) {
    ASSERT_EQ(wave_.open(std::filesystem::path(ZELVIO_TEST_DATA) / "vectors" / "sm_22050_s16.wav"),
              kWaveOk);
    EXPECT_EQ(wave_.sampleRate(), 22050u);
    EXPECT_EQ(wave_.channels(), 2);
    EXPECT_EQ(wave_.bitsPerSample(), 16);
    EXPECT_EQ(wave_.sampleFrameCount(), (352844 - 44) / 4);
    SampleFrame first = kUntouched;
    ASSERT_EQ(wave_.readSamples(1, &first), kWaveOk);
    EXPECT_EQ(first, (SampleFrame{0x040A, 0x0A1A}));  // bytes 0a 04 1a 0a at offset 44
}

// Every prefix of a file, and every header byte replaced by a few values, must be refused or read
// without touching memory outside the file's bytes and the caller's entries (the sanitizer build
// watches that), and never report more frames than the file holds.
TEST_F(WaveFileTest, SurvivesCutAndCorruptedFiles) {
    const std::int16_t samples[] = {1, -2, 3, -4, 5, -6, 7};
    const Bytes image = WaveBuilder()
                            .chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
                            .chunk("fmt ", extensibleFormatBody({.channels = 1}, 1))
                            .data(pcm16Bytes(samples))
                            .chunk("cue ", Bytes(6))
                            .bytes();
    auto tryImage = [&](const Bytes& candidate) {
        const WaveStatus status = openImage(candidate);
        ASSERT_TRUE(status == kWaveOk || status == kWaveBadFile || status == kWaveUnsupported);
        if (status != kWaveOk) {
            ASSERT_FALSE(wave_.errorText().empty());
            return;
        }
        ASSERT_GE(wave_.sampleFrameCount(), 0);
        ASSERT_LE(wave_.sampleFrameCount() * (wave_.channels() * wave_.bitsPerSample() / 8),
                  static_cast<std::int64_t>(candidate.size()));
        std::array<SampleFrame, 3> block{};
        std::int64_t delivered = 0;
        while (wave_.readSamples(3, block.data()) == kWaveOk) {
            delivered += 3;
        }
        ASSERT_LE(delivered, wave_.sampleFrameCount());
    };
    for (std::size_t length = 0; length <= image.size(); ++length) {
        SCOPED_TRACE(testing::Message() << "cut at " << length);
        tryImage(Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length)));
    }
    for (std::size_t at = 0; at < 80; ++at) {
        for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            SCOPED_TRACE(testing::Message() << "byte " << at << " = " << int{value});
            Bytes corrupted = image;
            corrupted[at] = value;
            tryImage(corrupted);
        }
    }
}

}  // namespace
}  // namespace zelvio
