// Raw sample files: little-endian 16-bit samples in, the same samples out, and a failed read
// reported as one.
#include "job/raw_sample_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace zelvio {
namespace {

class RawFileTest : public ::testing::Test {
  protected:
    test_support::TempDirectory dir_;
    std::filesystem::path path_ = dir_ / "samples.raw";
};

TEST_F(RawFileTest, WritesAndReadsLittleEndianSamples) {
    const std::vector<std::int16_t> samples = {0x1234, -2, -32768, 32767, 0};
    std::FILE* out = std::fopen(path_.string().c_str(), "wb");
    ASSERT_NE(out, nullptr);
    RawFileSink sink(out);
    EXPECT_TRUE(sink.write(samples.data(), samples.size()));
    std::fputc(0x55, out);  // a stray odd byte at the end
    std::fclose(out);

    std::FILE* in = std::fopen(path_.string().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::vector<unsigned char> head(4);
    ASSERT_EQ(std::fread(head.data(), 1, 4, in), 4u);
    EXPECT_EQ(head, (std::vector<unsigned char>{0x34, 0x12, 0xFE, 0xFF}));
    std::rewind(in);
    RawFileSource source(in);
    std::vector<std::int16_t> back(10, 7);
    EXPECT_EQ(source.read(back.data(), back.size()), 5);
    back.resize(5);
    EXPECT_EQ(back, samples);
    EXPECT_EQ(source.read(back.data(), 1), 0);
    std::fclose(in);
}

TEST_F(RawFileTest, ReportsAReadFailure) {
    std::FILE* file = std::fopen(path_.string().c_str(), "wb");  // not open for reading
    ASSERT_NE(file, nullptr);
    RawFileSource source(file);
    std::int16_t sample = 0;
    EXPECT_EQ(source.read(&sample, 1), -1);
    std::fclose(file);
}

}  // namespace
}  // namespace zelvio
