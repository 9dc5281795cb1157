// 8-bit PCM both ways, and the FrameCoder a run chooses once: the width it codes at, the bytes a
// Frame takes, and that it codes exactly as the coder behind it, with the state carried on.
#include "coding/frame_coder.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "coding/adpcm.h"
#include "coding/pcm8.h"

namespace zelvio {
namespace {

TEST(Pcm8, CodesKeepTheSignedByteRange) {
    struct Case {
        std::int16_t sample;
        std::uint8_t code;
    };
    const Case cases[] = {{-32768, 0x80}, {-129, 0xFF},  {-128, 0x00},  {0, 0x00},    {127, 0x00},
                          {128, 0x01},    {32639, 0x7F}, {32640, 0x7F}, {32767, 0x7F}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        EXPECT_EQ(pcm8Code(c.sample), c.code);
    }
}

TEST(Pcm8, PlaysEveryCodeAsItsSignedByteTimes256AndCodesItBack) {
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const std::int16_t sample = pcm8Sample(static_cast<std::uint8_t>(code));
        EXPECT_EQ(sample, static_cast<std::int8_t>(code) * 256);
        EXPECT_EQ(pcm8Code(sample), code);
    }
}

std::vector<std::int16_t> ramp(int count, int step) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>((i * step) % 30000 - 15000);
    }
    return samples;
}

TEST(FrameCoder, CodesEachWidthAsTheCoderBehindItWithItsStateCarriedOn) {
    struct Case {
        int bits;
        int codedBytes;
    };
    for (const Case c : {Case{8, 200}, Case{4, 100}, Case{3, 75}, Case{2, 50}}) {
        SCOPED_TRACE(c.bits);
        const std::unique_ptr<FrameCoder> coder = makeFrameCoder(c.bits, 200);
        ASSERT_NE(coder, nullptr);
        EXPECT_EQ(coder->bitsPerSample(), c.bits);
        EXPECT_EQ(coder->frameSamples(), 200);
        EXPECT_EQ(coder->codedBytes(), c.codedBytes);
        AdpcmEncoder encoder;
        encoder.reset();
        const std::vector<std::int16_t> samples = ramp(600, 731);
        for (int frame = 0; frame < 3; ++frame) {
            const std::int16_t* at = samples.data() + 200 * frame;
            std::array<std::uint8_t, 200> coded{};
            std::array<std::uint8_t, 200> expected{};
            coder->encodeFrame(at, coded.data());
            if (c.bits == 8) {
                encodePcm8(at, 200, expected.data());
            } else {
                encoder.encodeFrame(at, expected.data(), 200, static_cast<std::int16_t>(c.bits));
            }
            EXPECT_EQ(coded, expected) << "Frame " << frame;
        }
    }
}

TEST(FrameCoder, IsNotMadeForAWidthOrLengthNoDatabaseUses) {
    for (const int bits : {0, 1, 5, 7, 16}) {
        EXPECT_EQ(makeFrameCoder(bits, 200), nullptr) << bits;
    }
    EXPECT_EQ(makeFrameCoder(4, 0), nullptr);
    EXPECT_EQ(makeFrameCoder(4, 32768), nullptr);
    EXPECT_EQ(makeFrameCoder(3, 7)->codedBytes(), 3);  // 21 bits: a partial last byte
}

}  // namespace
}  // namespace zelvio
