// Rebuilds each reference database in tests/data/vectors through the image's own operations,
// from the title, texts, stream format and chunks read out of it, and requires the very same
// bytes. The references were written by an independent implementation of the format.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "pdb/byte_order.h"
#include "pdb/palm_database.h"
#include "support/database_image.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::readFileBytes;

std::string_view text(const std::uint8_t* field, std::size_t capacity) {
    const char* start = reinterpret_cast<const char*>(field);
    return {start, std::string_view(start, capacity).find('\0')};
}

class ReferenceDatabase : public testing::TestWithParam<const char*> {};

TEST_P(ReferenceDatabase, IsRebuiltByteForByteFromItsOwnContents) {
    const Bytes reference =
        readFileBytes(std::filesystem::path(ZELVIO_TEST_DATA) / "vectors" / GetParam());
    ASSERT_GT(reference.size(), 78u + 16 + 136 + 32);
    const std::uint16_t numRecords = loadBig16(&reference[76]);
    auto recordAt = [&](std::uint16_t index) { return loadBig32(&reference[78 + 8 * index]); };
    auto recordEnd = [&](std::uint16_t index) {
        return index + 1 < numRecords ? recordAt(index + 1)
                                      : static_cast<std::uint32_t>(reference.size());
    };

    const std::uint8_t* info = &reference[recordAt(0)];
    const StreamHeader format =
        StreamHeader::fromFileOrder(std::span<const std::uint8_t, 32>(&reference[recordAt(1)], 32));
    PalmDatabase db;
    ASSERT_EQ(db.create(text(reference.data(), 32), text(info + 4, 64), text(info + 68, 64),
                        loadBig16(info + 132)),
              kDbOk);
    db.startStream(format.channels, format.sampleRate, format.frameMs, format.bytesPerSample,
                   format.codec, format.samplesPerFrame);

    // A chunk's length follows from its marker: an audio chunk (marker 0) is one coded Frame
    // long, a silence chunk is its marker alone.
    const std::uint16_t audioLength = audioChunkLength(format.codec);
    ASSERT_NE(audioLength, 0);
    std::uint32_t chunks = 0;
    for (std::uint16_t index = 1; index < numRecords; ++index) {
        for (std::uint32_t at = recordAt(index) + 32; at < recordEnd(index);) {
            const std::uint16_t length = reference[at] == 0 ? audioLength : 1;
            ASSERT_LE(at + length, recordEnd(index));
            ASSERT_EQ(db.appendChunk(0, length, &reference[at]), kDbOk);
            at += length;
            ++chunks;
        }
    }
    EXPECT_GT(chunks, 0u);

    EXPECT_EQ(test_support::imageBytes(db), reference);
}

INSTANTIATE_TEST_SUITE_P(Vectors, ReferenceDatabase,
                         testing::Values("sm_22050_s16.b8.vad.pdb", "sm_22050_s16.b4.vad.pdb",
                                         "sm_22050_s16.b3.vad.pdb", "sm_22050_s16.b2.vad.pdb",
                                         "speech_pauses_10000_m16.b8.vad.pdb",
                                         "speech_pauses_10000_m16.b4.vad.pdb",
                                         "speech_pauses_10000_m16.b3.vad.pdb",
                                         "speech_pauses_10000_m16.b2.vad.pdb",
                                         "u8_sm_8000_s8.b8.vad.pdb", "u8_sm_8000_s8.b4.vad.pdb",
                                         "u8_sm_8000_s8.b3.vad.pdb", "u8_sm_8000_s8.b2.vad.pdb"));

}  // namespace
}  // namespace zelvio
