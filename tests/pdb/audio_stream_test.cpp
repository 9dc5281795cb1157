#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "pdb/palm_database.h"

namespace zelvio {
namespace {

constexpr std::uint8_t kSilence = 0x01;  // level 0

StreamHeader streamHeader(PalmDatabase& db, std::uint16_t index) {
    const RecordBuffer* record = db.getRecord(index).record;
    EXPECT_NE(record, nullptr);
    return StreamHeader::fromFileOrder(std::span<const std::uint8_t, 32>(record->data(), 32));
}

std::uint32_t recordSize(PalmDatabase& db, std::uint16_t index) {
    return db.getRecord(index).record->size();
}

/// A database as the job makes it, with a stream of the given format.
void startJobDatabase(PalmDatabase& db, CodecCode codec, std::uint16_t sampleRate = 10000,
                      std::uint16_t samplesPerFrame = 200) {
    ASSERT_EQ(db.create("T", "D", "", 1), kDbOk);
    db.startStream(1, sampleRate, 20, 2, static_cast<std::uint16_t>(codec), samplesPerFrame);
}

TEST(AudioStream, EachChunkAddsItsBytesAndOneFrameEvenWhenEmpty) {
    std::vector<std::uint8_t> audio(201, 0x80);
    audio[0] = 0;
    for (std::uint16_t length : {201, 0}) {
        SCOPED_TRACE(length);
        PalmDatabase db;
        startJobDatabase(db, CodecCode::Pcm8);
        ASSERT_EQ(db.appendChunk(0, length, length == 0 ? nullptr : audio.data()), kDbOk);
        const StreamHeader header = streamHeader(db, 1);
        EXPECT_EQ(std::tie(header.durationMs, header.dataBytes, header.recordBytes),
                  std::tuple(20u, length, 32u + length));
        ASSERT_EQ(recordSize(db, 1), 32u + length);
        EXPECT_TRUE(
            std::equal(audio.begin(), audio.begin() + length, db.getRecord(1).record->data() + 32));
    }
}

TEST(AudioStream, FullRecordHoldsTheListedNumberOfChunksForEachCodec) {
    struct Case {
        CodecCode codec;
        std::uint16_t chunkLength;
        std::uint32_t chunksPerRecord;
        std::uint32_t fullRecordBytes;
        std::uint32_t fullRecordMs;
    };
    const Case cases[] = {{CodecCode::Pcm8, 201, 318, 63950, 6360},
                          {CodecCode::Adpcm4, 101, 633, 63965, 12660},
                          {CodecCode::Adpcm3, 76, 841, 63948, 16820},
                          {CodecCode::Adpcm2, 51, 1254, 63986, 25080}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        PalmDatabase db;
        startJobDatabase(db, c.codec);
        std::vector<std::uint8_t> chunk(c.chunkLength, 0x3C);
        chunk[0] = 0;
        for (std::uint32_t i = 0; i < c.chunksPerRecord; ++i) {
            ASSERT_EQ(db.appendChunk(0, c.chunkLength, chunk.data()), kDbOk);
        }
        ASSERT_EQ(db.numRecords(), 2);
        ASSERT_EQ(db.appendChunk(0, c.chunkLength, chunk.data()), kDbOk);  // opens record 2
        ASSERT_EQ(db.numRecords(), 3);

        const StreamHeader first = streamHeader(db, 1);
        EXPECT_EQ(recordSize(db, 1), c.fullRecordBytes);
        EXPECT_EQ(std::tie(first.nextRecord, first.durationMs, first.dataBytes, first.recordBytes),
                  std::tuple(2, c.fullRecordMs, c.fullRecordBytes - 32, c.fullRecordBytes));
        // Apart from the link and the counters the new record repeats the format and stream id.
        StreamHeader second = first;
        second.nextRecord = 0;
        second.durationMs = 20;
        second.dataBytes = c.chunkLength;
        second.recordBytes = 32u + c.chunkLength;
        EXPECT_EQ(streamHeader(db, 2), second);
        EXPECT_EQ(recordSize(db, 2), 32u + c.chunkLength);
    }
}

TEST(AudioStream, SilenceChunksFillARecordToExactly64000Bytes) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Adpcm4);
    for (int i = 0; i < 63968; ++i) {
        ASSERT_EQ(db.appendChunk(0, 1, &kSilence), kDbOk);
    }
    EXPECT_EQ(recordSize(db, 1), 64000u);
    EXPECT_EQ(streamHeader(db, 1).durationMs, 63968u * 20);
    EXPECT_EQ(db.numRecords(), 2);

    ASSERT_EQ(db.appendChunk(0, 1, &kSilence), kDbOk);
    EXPECT_EQ(db.numRecords(), 3);
    EXPECT_EQ(streamHeader(db, 1).nextRecord, 2);
    EXPECT_EQ(recordSize(db, 2), 33u);
}

TEST(AudioStream, EachChunkAddsOneFramesTruncatedDurationAtTheStreamsRate) {
    // Sample rate and milliseconds per chunk: 200000 / 3000 = 66.67.
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {{10000, 20}, {8000, 25}, {3000, 66}};
    for (const auto& [sampleRate, msPerChunk] : cases) {
        SCOPED_TRACE(sampleRate);
        PalmDatabase db;
        startJobDatabase(db, CodecCode::Adpcm2, sampleRate);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(db.appendChunk(0, 1, &kSilence), kDbOk);
        }
        EXPECT_EQ(streamHeader(db, 1).durationMs, 3 * msPerChunk);
    }
}

TEST(AudioStream, ChunkLongerThan63968BytesGoesAloneIntoANewRecord) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Pcm8);
    const std::vector<std::uint8_t> exact(63968, 0x11);
    const std::vector<std::uint8_t> longer(63969, 0x22);

    ASSERT_EQ(db.appendChunk(0, 63968, exact.data()), kDbOk);  // fits an empty record exactly
    EXPECT_EQ(db.numRecords(), 2);
    ASSERT_EQ(db.appendChunk(0, 63969, longer.data()), kDbOk);
    ASSERT_EQ(db.appendChunk(0, 63969, longer.data()), kDbOk);

    EXPECT_EQ(db.numRecords(), 4);
    EXPECT_EQ(recordSize(db, 2), 64001u);
    EXPECT_EQ(recordSize(db, 3), 64001u);
    EXPECT_EQ(streamHeader(db, 2).nextRecord, 3);
    EXPECT_EQ(streamHeader(db, 3).dataBytes, 63969u);

    PalmDatabase fresh;  // even an empty current record is left behind for it
    startJobDatabase(fresh, CodecCode::Pcm8);
    ASSERT_EQ(fresh.appendChunk(0, 63969, longer.data()), kDbOk);
    EXPECT_EQ(recordSize(fresh, 1), 32u);
    EXPECT_EQ(streamHeader(fresh, 1).nextRecord, 2);
    EXPECT_EQ(recordSize(fresh, 2), 64001u);
}

TEST(AudioStream, StreamThatNeedsRecord200StopsAndKeepsItsBeginning) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Pcm8);
    const std::vector<std::uint8_t> fill(63968, 0x33);
    for (int i = 0; i < 198; ++i) {  // records 1 to 198, each exactly full
        ASSERT_EQ(db.appendChunk(0, 63968, fill.data()), kDbOk);
    }
    ASSERT_EQ(db.appendChunk(0, 40000, fill.data()), kDbOk);  // record 199
    ASSERT_EQ(db.numRecords(), 200);
    EXPECT_FALSE(db.isFull());

    EXPECT_EQ(db.appendChunk(0, 30000, fill.data()), kDbIndexOutOfRange);
    EXPECT_TRUE(db.isFull());
    // A chunk that would still fit is refused too: the stored chunks stay the stream's start.
    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbIndexOutOfRange);
    EXPECT_EQ(db.numRecords(), 200);
    EXPECT_EQ(recordSize(db, 199), 40032u);
    EXPECT_EQ(streamHeader(db, 199).nextRecord, 0);
    EXPECT_EQ(streamHeader(db, 198).nextRecord, 199);
    EXPECT_EQ(db.cursor(0).chunksStored, 199u);
}

TEST(AudioStream, RecordThatCannotBeEnlargedIsReportedAndLeftAsItWas) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Pcm8);
    db.setMemoryLimit(db.heapBytes());
    const StreamHeader before = streamHeader(db, 1);

    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbMemoryFull);
    db.setMemoryLimit(UINT64_MAX);
    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbMemoryFull);  // the stream stays stopped
    EXPECT_EQ(recordSize(db, 1), 32u);
    EXPECT_EQ(streamHeader(db, 1), before);
    EXPECT_FALSE(db.isFull());
}

TEST(AudioStream, ContinuationRecordThatCannotBeMadeLeavesTheLastRecordUnlinked) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Pcm8);
    const std::vector<std::uint8_t> fill(63968, 0x44);
    ASSERT_EQ(db.appendChunk(0, 63968, fill.data()), kDbOk);
    db.setMemoryLimit(db.heapBytes());

    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbRecordNotFound);
    EXPECT_EQ(db.numRecords(), 2);
    EXPECT_EQ(streamHeader(db, 1).nextRecord, 0);
    EXPECT_EQ(db.cursor(0).currentRecord, 1);
}

TEST(AudioStream, ImageWithoutMemoryForAnyRecordReportsItAndSavesOnlyItsHeader) {
    PalmDatabase db;
    db.setMemoryLimit(0);
    EXPECT_EQ(db.create("T", "D", "", 1), kDbRecordNotFound);
    db.startStream(1, 10000, 20, 2, 0, 200);
    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbRecordNotFound);
    EXPECT_EQ(db.numRecords(), 0);
    EXPECT_EQ(db.fileSize(), 78u);
}

TEST(AudioStream, MisusedCallsAreRefusedWithoutTouchingRecords) {
    PalmDatabase db;
    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbRecordNotFound);  // no stream yet
    startJobDatabase(db, CodecCode::Pcm8);
    EXPECT_EQ(db.appendChunk(6, 1, &kSilence), kDbIndexOutOfRange);
    EXPECT_EQ(db.appendChunk(0, 5, nullptr), kDbNullPointer);
    EXPECT_EQ(recordSize(db, 1), 32u);
    EXPECT_EQ(db.appendChunk(0, 1, &kSilence), kDbOk);  // a null chunk does not stop the stream
}

TEST(AudioStream, ImageHoldsTheDataPlusAtMostOneRecordsSpareCapacity) {
    PalmDatabase db;
    startJobDatabase(db, CodecCode::Adpcm4);
    std::vector<std::uint8_t> chunk(101, 0x5A);
    chunk[0] = 0;
    for (int i = 0; i < 633 * 3 + 100; ++i) {  // three full records and part of a fourth
        ASSERT_EQ(db.appendChunk(0, 101, chunk.data()), kDbOk);
        if (i % 50 == 0) {
            ASSERT_EQ(db.appendChunk(0, 1, &kSilence), kDbOk);
        }
    }
    const std::uint16_t current = db.cursor(0).currentRecord;
    ASSERT_EQ(current, 4);
    std::uint64_t data = 0;
    for (std::uint16_t i = 0; i < db.numRecords(); ++i) {
        const RecordBuffer& record = *db.slot(i).record;
        data += record.size();
        if (i != current) {
            EXPECT_EQ(record.capacity(), record.size()) << "record " << i;
        }
    }
    EXPECT_LE(db.slot(current).record->capacity(), 2 * recordSize(db, current));
    EXPECT_LE(db.heapBytes(), data + PalmDatabase::kMaxStreamRecordBytes);
}

}  // namespace
}  // namespace zelvio
