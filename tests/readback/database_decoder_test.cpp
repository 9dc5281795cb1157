// Decoding a stream: 8-bit bytes, ADPCM with its state carried across records and past silence,
// and silence as zeros or as comfort noise at its level.
#include "readback/database_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "coding/adpcm.h"
#include "pdb/palm_database.h"
#include "support/database_image.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using Frame = std::array<std::int16_t, 200>;

constexpr std::uint8_t kSilenceLevel8 = 0x81;

/// A database of one stream in codec, filled by fill, read back by reader.
template <typename Fill>
void build(DatabaseReader& reader, CodecCode codec, Fill fill) {
    PalmDatabase db;
    ASSERT_EQ(db.create("Decode", "", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(codec), 200);
    fill(db);
    ASSERT_EQ(reader.parse(test_support::imageBytes(db)), kReadOk) << reader.errorText();
}

std::vector<Frame> decodeAll(const DatabaseReader& reader, DecodeOptions options = {}) {
    DatabaseDecoder decoder(reader, options);
    std::vector<Frame> frames;
    Frame frame;
    while (decoder.nextFrame(frame.data())) {
        frames.push_back(frame);
    }
    EXPECT_EQ(decoder.framesDecoded(), decoder.frameCount());
    EXPECT_FALSE(decoder.nextFrame(frame.data()));
    return frames;
}

Frame sineFrame(int index) {
    Frame frame;
    for (int i = 0; i < 200; ++i) {
        // A rough triangle whose height changes from Frame to Frame.
        const int phase = (index * 200 + i) % 64;
        frame[i] =
            static_cast<std::int16_t>((phase < 32 ? phase : 64 - phase) * (300 + 97 * index));
    }
    return frame;
}

TEST(DatabaseDecoder, TurnsEightBitBytesIntoSignedBytesTimes256) {
    DatabaseReader reader;
    build(reader, CodecCode::Pcm8, [](PalmDatabase& db) {
        std::array<std::uint8_t, 201> chunk{};
        const std::uint8_t bytes[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xFF};
        for (int i = 0; i < 200; ++i) {
            chunk[1 + i] = bytes[i % 6];
        }
        ASSERT_EQ(db.appendChunk(0, 201, chunk.data()), kDbOk);
    });
    const std::vector<Frame> frames = decodeAll(reader);
    ASSERT_EQ(frames.size(), 1u);
    const std::int16_t expected[] = {0, 256, 32512, -32768, -32512, -256};
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(frames[0][i], expected[i % 6]) << i;
    }
}

TEST(DatabaseDecoder, CarriesTheAdpcmStateAcrossRecordsAndPastSilenceAtEveryWidth) {
    const struct {
        CodecCode codec;
        std::int16_t bits;
        int framesPerRecord;
    } widths[] = {
        {CodecCode::Adpcm4, 4, 633}, {CodecCode::Adpcm3, 3, 841}, {CodecCode::Adpcm2, 2, 1254}};
    for (const auto& width : widths) {
        SCOPED_TRACE(width.bits);
        // Enough Frames to open a second record; every fifth Frame is loud silence that the
        // encoder never sees and that comfort noise fills without touching the ADPCM state.
        const int frameCount = width.framesPerRecord * 5 / 4 + 40;
        AdpcmEncoder encoder;
        encoder.reset();
        std::vector<Frame> expected;
        DatabaseReader reader;
        build(reader, width.codec, [&](PalmDatabase& db) {
            std::vector<std::uint8_t> chunk(1 + 100);
            const auto coded = static_cast<std::uint16_t>(1 + 200 * width.bits / 8);
            for (int index = 0; index < frameCount; ++index) {
                Frame reconstructed{};
                if (index % 5 == 4) {
                    ASSERT_EQ(db.appendChunk(0, 1, &kSilenceLevel8), kDbOk);
                } else {
                    const Frame input = sineFrame(index);
                    chunk[0] = 0;
                    encoder.encodeFrame(input.data(), chunk.data() + 1, 200, width.bits,
                                        reconstructed.data());
                    ASSERT_EQ(db.appendChunk(0, coded, chunk.data()), kDbOk);
                }
                expected.push_back(reconstructed);
            }
        });
        ASSERT_GE(reader.streamRecords().size(), 2u);
        const std::vector<Frame> frames = decodeAll(reader);
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(frames[i], expected[i]) << "Frame " << i;
        }
        const std::vector<Frame> noisy = decodeAll(reader, {.comfortNoise = true});
        for (std::size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(noisy[i] == expected[i], i % 5 != 4) << "Frame " << i;
        }
        DatabaseDecoder decoder(reader);
        Frame frame;
        while (decoder.nextFrame(frame.data())) {
        }
        EXPECT_EQ(decoder.adpcmState(), encoder.state());
    }
}

TEST(DatabaseDecoder, PlaysSilenceAsZerosOrAsNoiseAtItsLevel) {
    DatabaseReader reader;
    build(reader, CodecCode::Adpcm4, [](PalmDatabase& db) {
        for (int level = 0; level <= 8; ++level) {
            const auto marker = static_cast<std::uint8_t>(level * 16 + 1);
            for (int repeat = 0; repeat < 20; ++repeat) {
                ASSERT_EQ(db.appendChunk(0, 1, &marker), kDbOk);
            }
        }
    });
    for (const Frame& frame : decodeAll(reader)) {
        for (std::int16_t sample : frame) {
            ASSERT_EQ(sample, 0);
        }
    }

    const std::vector<Frame> noisy = decodeAll(reader, {.comfortNoise = true});
    ASSERT_EQ(noisy.size(), 9u * 20);
    for (int level = 0; level <= 8; ++level) {
        SCOPED_TRACE(level);
        const std::int16_t peak = comfortNoisePeak(static_cast<std::uint8_t>(level));
        std::int64_t sum = 0;
        for (int repeat = 0; repeat < 20; ++repeat) {
            for (std::int16_t sample : noisy[level * 20 + repeat]) {
                ASSERT_LE(std::abs(sample), peak);
                sum += std::abs(sample);
            }
        }
        // The mean magnitude over the level's 4000 samples falls in the level's own range.
        const std::int64_t mean = sum / 4000;
        int meanLevel = 0;
        for (std::int64_t m = mean; m > 0; m >>= 1) {
            ++meanLevel;
        }
        EXPECT_EQ(meanLevel, level) << "mean " << mean;
    }
    EXPECT_EQ(decodeAll(reader, {.comfortNoise = true}), noisy);
    EXPECT_NE(decodeAll(reader, {.comfortNoise = true, .noiseSeed = 7}), noisy);
}

}  // namespace
}  // namespace zelvio
