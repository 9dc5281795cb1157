// The WAVE writer: the canonical header byte for byte, samples that read back, and refusals.
#include "wave/wave_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wave_builder.h"
#include "wave/wave_file.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::TempDirectory;

TEST(WaveWriter, WritesTheCanonicalHeaderWithTheSizesFilledIn) {
    TempDirectory dir;
    const auto path = dir.path() / "out.wav";
    WaveWriter writer;
    ASSERT_EQ(writer.open(path, 10000), kWaveOk);
    const std::int16_t samples[] = {1, -2, 0x1234};
    ASSERT_EQ(writer.writeSamples(samples, 2), kWaveOk);
    ASSERT_EQ(writer.writeSamples(samples + 2, 1), kWaveOk);
    ASSERT_EQ(writer.close(), kWaveOk);
    EXPECT_EQ(writer.samplesWritten(), 3u);
    // Built independently by the test helper: "fmt " with 16 bytes, 20000 bytes a second.
    const Bytes expected =
        test_support::canonicalWave({.channels = 1, .sampleRate = 10000, .bitsPerSample = 16},
                                    {0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12});
    EXPECT_EQ(test_support::readFileBytes(path), expected);
}

TEST(WaveWriter, WhatItWritesTheReaderReadsBack) {
    TempDirectory dir;
    const auto path = dir.path() / "out.wav";
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 5000; ++i) {
        samples.push_back(static_cast<std::int16_t>(i * 13 - 32768));
    }
    WaveWriter writer;
    ASSERT_EQ(writer.open(path, 8000), kWaveOk);
    ASSERT_EQ(writer.writeSamples(samples.data(), samples.size()), kWaveOk);
    ASSERT_EQ(writer.close(), kWaveOk);
    WaveFile wave;
    ASSERT_EQ(wave.open(path), kWaveOk);
    EXPECT_EQ(wave.sampleRate(), 8000u);
    ASSERT_EQ(wave.sampleFrameCount(), 5000);
    std::vector<SampleFrame> frames(5000);
    ASSERT_EQ(wave.readSamples(5000, frames.data()), kWaveOk);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(frames[i].left, samples[i]) << i;
    }
}

TEST(WaveWriter, RefusesBadArgumentsAndRemovesAnUnfinishedFile) {
    TempDirectory dir;
    WaveWriter writer;
    EXPECT_EQ(writer.open("", 10000), kWaveUnsupported);
    EXPECT_EQ(writer.open(dir.path() / "a.wav", 0), kWaveUnsupported);
    EXPECT_EQ(writer.open(dir.path() / "no" / "such" / "a.wav", 10000), kWaveBadFile);
    EXPECT_FALSE(writer.errorText().empty());
    const std::int16_t sample = 0;
    EXPECT_EQ(writer.writeSamples(&sample, 1), kWaveUnsupported);
    EXPECT_EQ(writer.close(), kWaveUnsupported);
    EXPECT_EQ(writer.open(dir.path(), 10000), kWaveBadFile);  // a folder
    {
        WaveWriter unfinished;
        ASSERT_EQ(unfinished.open(dir.path() / "b.wav", 10000), kWaveOk);
        EXPECT_EQ(unfinished.open(dir.path() / "c.wav", 10000), kWaveUnsupported);
        EXPECT_EQ(unfinished.writeSamples(nullptr, 1), kWaveUnsupported);
        ASSERT_EQ(unfinished.writeSamples(&sample, 1), kWaveOk);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "b.wav"));  // not before it is whole
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // nothing unfinished is left
}

TEST(WaveWriter, AnExistingFileIsReplacedOnlyByACompleteOne) {
    TempDirectory dir;
    const auto target = dir.write("out.wav", {'o', 'l', 'd'});
    const std::int16_t samples[] = {1, -2, 3};
    {
        WaveWriter abandoned;
        ASSERT_EQ(abandoned.open(target, 10000), kWaveOk);
        ASSERT_EQ(abandoned.writeSamples(samples, 3), kWaveOk);
    }
    EXPECT_EQ(std::filesystem::file_size(target), 3u);  // the old file is still there
    WaveWriter writer;
    ASSERT_EQ(writer.open(target, 10000), kWaveOk);
    ASSERT_EQ(writer.writeSamples(samples, 3), kWaveOk);
    ASSERT_EQ(writer.close(), kWaveOk);
    EXPECT_EQ(std::filesystem::file_size(target), 44u + 6);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(WaveWriter, WritesATargetWithTheLongestNameTheFolderTakes) {
    TempDirectory dir;
    const auto target = dir.path() / (std::string(251, 'n') + ".wav");
    WaveWriter writer;
    ASSERT_EQ(writer.open(target, 10000), kWaveOk) << writer.errorText();
    const std::int16_t samples[] = {1, -2, 3};
    ASSERT_EQ(writer.writeSamples(samples, 3), kWaveOk);
    ASSERT_EQ(writer.close(), kWaveOk) << writer.errorText();
    EXPECT_EQ(std::filesystem::file_size(target), 44u + 6);
}

TEST(WaveWriter, ChoosesRf64OnlyPastWhatPlainSizesStateAndTheReaderHonoursIt) {
    EXPECT_EQ(WaveWriter::layoutFor(WaveWriter::kMaxDataBytes / 2), WaveLayout::Plain);
    EXPECT_EQ(WaveWriter::layoutFor(WaveWriter::kMaxDataBytes / 2 + 1), WaveLayout::Rf64);
    // 70 hours at 10000 Hz, the longest database, needs RF64.
    EXPECT_EQ(WaveWriter::layoutFor(std::uint64_t{12729632} * 200), WaveLayout::Rf64);

    TempDirectory dir;
    const std::vector<std::int16_t> samples = {1, -2, 300, -32768, 32767};
    WaveWriter writer;
    ASSERT_EQ(writer.open(dir / "big.wav", 10000, WaveLayout::Rf64), kWaveOk);
    ASSERT_EQ(writer.writeSamples(samples.data(), samples.size()), kWaveOk);
    ASSERT_EQ(writer.close(), kWaveOk);
    const Bytes bytes = test_support::readFileBytes(dir / "big.wav");
    ASSERT_EQ(bytes.size(), 80u + 10u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64");
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "ds64");
    EXPECT_EQ(bytes[20], 82u);  // RIFF size in ds64: the file less 8 bytes
    EXPECT_EQ(bytes[28], 10u);  // data size
    EXPECT_EQ(bytes[36], 5u);   // sample frames
    EXPECT_EQ(std::string(bytes.begin() + 72, bytes.begin() + 76), "data");

    WaveFile reader;
    ASSERT_EQ(reader.open(dir / "big.wav"), kWaveOk);
    ASSERT_EQ(reader.sampleFrameCount(), 5);
    std::vector<SampleFrame> frames(5);
    ASSERT_EQ(reader.readSamples(5, frames.data()), kWaveOk);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(frames[i].left, samples[i]);
    }
}

TEST(WaveWriter, WithoutReplacingKeepsAFileThatAppearedWhileItWrote) {
    TempDirectory dir;
    WaveWriter writer;
    writer.setReplaceExisting(false);
    ASSERT_EQ(writer.open(dir / "out.wav", 10000), kWaveOk);
    const std::int16_t sample = 5;
    ASSERT_EQ(writer.writeSamples(&sample, 1), kWaveOk);
    (void)dir.write("out.wav", {'o', 'l', 'd'});
    EXPECT_EQ(writer.close(), kWaveBadFile);
    EXPECT_TRUE(writer.targetExisted());
    EXPECT_EQ(test_support::readFileBytes(dir / "out.wav"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

}  // namespace
}  // namespace zelvio
