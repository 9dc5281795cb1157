// Reading databases back: what a good file gives, and a matrix of damaged files, each refused
// with the right status and a message naming the record and the byte offset.
#include "pdb/database_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "pdb/byte_order.h"
#include "pdb/palm_database.h"
#include "support/database_bytes.h"
#include "support/database_image.h"
#include "support/status_texts.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::TempDirectory;

/// The bytes of the file db writes.
Bytes saved(PalmDatabase& db) {
    return test_support::imageBytes(db);
}

/// Record 1 full of 318 8-bit audio chunks, record 2 with a 319th and three silence chunks
/// (levels 0, 2 and 8). Record 1 starts at 238, record 2 at 238 + 63950 = 64188.
Bytes twoStreamRecords() {
    PalmDatabase db;
    EXPECT_EQ(db.create("Two records", "A test", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Pcm8), 200);
    std::vector<std::uint8_t> audio(201);
    for (int chunk = 0; chunk < 319; ++chunk) {
        for (std::size_t i = 1; i < audio.size(); ++i) {
            audio[i] = static_cast<std::uint8_t>(chunk + i);
        }
        EXPECT_EQ(db.appendChunk(0, 201, audio.data()), kDbOk);
    }
    for (std::uint8_t marker : {0x01, 0x21, 0x81}) {
        EXPECT_EQ(db.appendChunk(0, 1, &marker), kDbOk);
    }
    return saved(db);
}

constexpr std::uint32_t kRecord1 = 238;
constexpr std::uint32_t kRecord2 = 64188;

void put16(Bytes& file, std::size_t at, std::uint16_t value) {
    storeBig16(file.data() + at, value);
}
void put32(Bytes& file, std::size_t at, std::uint32_t value) {
    storeBig32(file.data() + at, value);
}
std::uint32_t get32(const Bytes& file, std::size_t at) {
    return loadBig32(file.data() + at);
}

TEST(DatabaseReader, ReadsBackWhatTheImageWrote) {
    const Bytes file = twoStreamRecords();
    DatabaseReader reader;
    ASSERT_EQ(reader.parse(file), kReadOk) << reader.errorText();
    EXPECT_EQ(reader.errorText(), "");
    EXPECT_EQ(reader.name(), "Two records");
    EXPECT_EQ(reader.description(), "A test");
    EXPECT_EQ(reader.header().creationDate, kDatabaseDate);
    EXPECT_FALSE(reader.hasFiller());
    ASSERT_EQ(reader.streamRecords().size(), 2u);
    const StreamRecordInfo& first = reader.streamRecords()[0];
    const StreamRecordInfo& second = reader.streamRecords()[1];
    EXPECT_EQ(std::tie(first.offset, first.audioChunks, first.silenceChunks),
              std::tuple(kRecord1, 318u, 0u));
    EXPECT_EQ(std::tie(second.offset, second.audioChunks, second.silenceChunks),
              std::tuple(kRecord2, 1u, 3u));
    EXPECT_EQ(reader.totalChunks(), 322u);
    EXPECT_EQ(reader.totalSilenceChunks(), 3u);
    EXPECT_EQ(reader.totalDurationMs(), 322u * 20);
    EXPECT_EQ(reader.totalDataBytes(), 319u * 201 + 3);
    EXPECT_EQ(reader.fileSize(), file.size());

    // The walker gives the chunks in order with their file offsets.
    ChunkWalker walker = reader.chunks(second);
    Chunk chunk;
    ASSERT_TRUE(walker.next(chunk));
    EXPECT_EQ(chunk.offset, kRecord2 + 32);
    EXPECT_FALSE(chunk.silent());
    ASSERT_EQ(chunk.coded.size(), 200u);
    EXPECT_EQ(chunk.coded[0], static_cast<std::uint8_t>(318 + 1));
    for (std::uint8_t level : {0, 2, 8}) {
        ASSERT_TRUE(walker.next(chunk));
        EXPECT_TRUE(chunk.silent());
        EXPECT_EQ(chunk.silenceLevel(), level);
        EXPECT_TRUE(chunk.coded.empty());
    }
    EXPECT_EQ(chunk.offset, kRecord2 + 32 + 201 + 2);
    EXPECT_FALSE(walker.next(chunk));
}

TEST(DatabaseReader, AgreesWithAnIndependentWalkOfEveryReferenceDatabase) {
    const std::filesystem::path folder = std::filesystem::path(ZELVIO_TEST_DATA) / "vectors";
    int databases = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".pdb") {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        ++databases;
        DatabaseReader reader;
        ASSERT_EQ(reader.open(entry.path()), kReadOk) << reader.errorText();
        const Bytes file = test_support::readFileBytes(entry.path());
        const test_support::StreamSummary walk =
            test_support::walkStream(file, reader.streamFormat().codec);
        EXPECT_EQ(reader.totalChunks(), walk.audioChunks + walk.silenceChunks);
        EXPECT_EQ(reader.totalSilenceChunks(), walk.silenceChunks);
        EXPECT_EQ(reader.totalDurationMs(), walk.durationMs);
        EXPECT_EQ(reader.streamRecords().size() + 1, walk.records);
    }
    EXPECT_EQ(databases, 12);
}

TEST(DatabaseReader, AcceptsTwoFillerBytesAfterTheRecordList) {
    const Bytes plain = twoStreamRecords();
    Bytes padded(plain.begin(), plain.begin() + 102);
    padded.push_back(0);
    padded.push_back(0);
    padded.insert(padded.end(), plain.begin() + 102, plain.end());
    for (std::size_t entry = 0; entry < 3; ++entry) {
        put32(padded, 78 + 8 * entry, get32(plain, 78 + 8 * entry) + 2);
    }
    DatabaseReader reader;
    ASSERT_EQ(reader.parse(padded), kReadOk) << reader.errorText();
    EXPECT_TRUE(reader.hasFiller());
    EXPECT_EQ(reader.totalChunks(), 322u);
    EXPECT_EQ(reader.streamRecords()[1].offset, kRecord2 + 2);
}

TEST(DatabaseReader, FollowsTheChainRatherThanTheIndexOrder) {
    // Three stream records whose chain runs 1 -> 3 -> 2.
    PalmDatabase db;
    ASSERT_EQ(db.create("Chain", "", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, 0, 200);
    const std::uint8_t silence = 0x01;
    for (int i = 0; i < 63968 * 2 + 5; ++i) {
        ASSERT_EQ(db.appendChunk(0, 1, &silence), kDbOk);
    }
    Bytes file = saved(db);
    ASSERT_EQ(loadBig16(file.data() + 76), 4u);
    const std::uint32_t offsets[] = {get32(file, 86), get32(file, 94), get32(file, 102)};
    put16(file, offsets[0] + 18, 3);
    put16(file, offsets[2] + 18, 2);
    put16(file, offsets[1] + 18, 0);
    DatabaseReader reader;
    ASSERT_EQ(reader.parse(file), kReadOk) << reader.errorText();
    ASSERT_EQ(reader.streamRecords().size(), 3u);
    EXPECT_EQ(reader.streamRecords()[0].index, 1);
    EXPECT_EQ(reader.streamRecords()[1].index, 3);
    EXPECT_EQ(reader.streamRecords()[2].index, 2);
    EXPECT_EQ(reader.totalSilenceChunks(), 63968u * 2 + 5);
}

struct DamagedFile {
    const char* what;
    std::function<void(Bytes&)> damage;
    ReadStatus status;
    const char* message;  ///< a part of the error text, naming the record and offset
};

TEST(DatabaseReader, RefusesEveryKindOfDamageWithAMessageNamingRecordAndOffset) {
    const DamagedFile cases[] = {
        {"shorter than its header", [](Bytes& f) { f.resize(77); }, kReadBadLayout,
         "the file is 77 bytes long, shorter than the 78-byte database header"},
        {"empty", [](Bytes& f) { f.clear(); }, kReadBadLayout, "the file is 0 bytes long"},
        {"wrong type", [](Bytes& f) { f[60] = 'T'; }, kReadWrongKind,
         "type and creator (offset 60) are \"TATA\" and \"K7Q4\""},
        {"wrong creator", [](Bytes& f) { put32(f, 64, 0x01020304); }, kReadWrongKind,
         "\"DATA\" and 0x01020304"},
        {"no records", [](Bytes& f) { put16(f, 76, 0); }, kReadBadLayout,
         "the header (offset 76) counts 0 records"},
        {"no stream record", [](Bytes& f) { put16(f, 76, 1); }, kReadBadLayout,
         "counts 1 record; an audio database has an information record and at least one"},
        {"more records than slots", [](Bytes& f) { put16(f, 76, 201); }, kReadBadLayout,
         "counts 201 records, more than the 200"},
        {"record count beyond the file", [](Bytes& f) { f.resize(95); }, kReadBadLayout,
         "the record list of 3 entries (offset 78) ends at offset 102, past the end of the file "
         "(95 bytes)"},
        {"record 0 away from the list", [](Bytes& f) { put32(f, 78, 105); }, kReadBadLayout,
         "record 0 (list entry at offset 78) starts at offset 105; the first record follows the "
         "record list at offset 102"},
        {"offsets out of order",
         [](Bytes& f) {
             put32(f, 86, kRecord2);
             put32(f, 94, kRecord1);
         },
         kReadBadLayout,
         "record 2 (list entry at offset 94) starts at offset 238, before record 1 at offset "
         "64188: the record offsets are out of order"},
        {"offset past the end", [](Bytes& f) { put32(f, 94, 0x7FFFFFFF); }, kReadBadLayout,
         "record 2 (list entry at offset 94) starts at offset 2147483647, past the end of the "
         "file"},
        {"information record too short", [](Bytes& f) { put32(f, 86, 202); }, kReadBadRecord,
         "record 0 (offset 102) is 100 bytes long; an information record is 136"},
        {"information record tag", [](Bytes& f) { put32(f, 102, 0x00020000); }, kReadBadRecord,
         "record 0 (offset 102): tag 0x00020000, not the information record's 0x00010000"},
        {"description without terminator",
         [](Bytes& f) { std::fill(f.begin() + 106, f.begin() + 170, 'x'); }, kReadBadRecord,
         "record 0 (offset 102): the description at offset 106 has no terminator"},
        {"extra text without terminator",
         [](Bytes& f) { std::fill(f.begin() + 170, f.begin() + 234, 'x'); }, kReadBadRecord,
         "record 0 (offset 102): the extra text at offset 170 has no terminator"},
        {"stream record shorter than its header", [](Bytes& f) { put32(f, 94, kRecord1 + 20); },
         kReadBadRecord, "record 1 (offset 238) is 20 bytes long, shorter than a 32-byte stream"},
        {"stream record tag", [](Bytes& f) { put32(f, kRecord2, 0x00010000); }, kReadBadRecord,
         "record 2 (offset 64188): tag 0x00010000, not the stream record's 0x00020000"},
        {"unknown codec", [](Bytes& f) { put16(f, kRecord1 + 12, 4); }, kReadBadRecord,
         "record 1 (offset 238): codec 4 at offset 250 is not one we know"},
        {"stereo stream", [](Bytes& f) { put16(f, kRecord1 + 4, 2); }, kReadBadRecord,
         "record 1 (offset 238): 2 channels at offset 242"},
        {"no sample rate", [](Bytes& f) { put16(f, kRecord2 + 6, 0); }, kReadBadRecord,
         "record 2 (offset 64188): sample rate 0 at offset 64194"},
        {"other Frame size", [](Bytes& f) { put16(f, kRecord1 + 14, 160); }, kReadBadRecord,
         "record 1 (offset 238): 160 samples per Frame at offset 252"},
        {"overlapping records", [](Bytes& f) { put32(f, kRecord1 + 28, 63951); }, kReadBadRecord,
         "record 1 (offset 238) overlaps record 2 at offset 64188: recordBytes 63951 at offset "
         "266, room for 63950"},
        {"bytes left over in a record", [](Bytes& f) { put32(f, kRecord1 + 28, 63949); },
         kReadBadRecord, "record 1 (offset 238): recordBytes 63949 at offset 266 leaves 1 bytes"},
        {"recordBytes below the header", [](Bytes& f) { put32(f, kRecord1 + 28, 31); },
         kReadBadRecord, "recordBytes 31 at offset 266 is less than its 32-byte header"},
        {"last record cut short", [](Bytes& f) { f.pop_back(); }, kReadBadRecord,
         "record 2 (offset 64188): recordBytes 236 at offset 64216 runs past the end of the file "
         "(room for 235)"},
        {"dataBytes miscounted", [](Bytes& f) { put32(f, kRecord2 + 24, 205); }, kReadBadChunks,
         "record 2 (offset 64188): dataBytes 205 at offset 64212 disagrees with recordBytes 236"},
        {"durationMs miscounted", [](Bytes& f) { put32(f, kRecord2 + 20, 60); }, kReadBadChunks,
         "record 2 (offset 64188): durationMs 60 at offset 64208 disagrees with its 4 chunks "
         "(80 ms)"},
        {"audio chunk overrunning its record", [](Bytes& f) { f.back() = 0; }, kReadBadChunks,
         "record 2 (offset 64188): chunk 3 at offset 64423 runs past the end of the record "
         "(needs 201 bytes, 1 left)"},
        {"even marker", [](Bytes& f) { f[kRecord2 + 32 + 201] = 0x02; }, kReadBadChunks,
         "record 2 (offset 64188): chunk 1 at offset 64421 starts with 0x02, which is no chunk "
         "marker"},
        {"silence level 9", [](Bytes& f) { f.back() = 0x91; }, kReadBadChunks,
         "chunk 3 at offset 64423 starts with 0x91"},
        {"chain pointing outside", [](Bytes& f) { put16(f, kRecord1 + 18, 3); }, kReadBadStream,
         "record 1 (offset 238): nextRecord 3 at offset 256 points outside the stream (records 1 "
         "to 2)"},
        {"chain looping", [](Bytes& f) { put16(f, kRecord2 + 18, 1); }, kReadBadStream,
         "record 2 (offset 64188): nextRecord 1 at offset 64206 leads back to a record already"},
        {"chain looping on itself", [](Bytes& f) { put16(f, kRecord1 + 18, 1); }, kReadBadStream,
         "record 1 (offset 238): nextRecord 1 at offset 256 leads back"},
        {"chain ending early", [](Bytes& f) { put16(f, kRecord1 + 18, 0); }, kReadBadStream,
         "record 2 (offset 64188) is not reached from record 1 through nextRecord"},
        {"record of another stream", [](Bytes& f) { put16(f, kRecord2 + 16, 1); }, kReadBadRecord,
         "record 2 (offset 64188): streamId 1 at offset 64204 differs from "
         "record 1's 0"},
    };
    const Bytes good = twoStreamRecords();
    ASSERT_EQ(good.size(), kRecord2 + 32 + 201 + 3);
    for (const DamagedFile& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = good;
        c.damage(file);
        DatabaseReader reader;
        EXPECT_EQ(reader.parse(file), c.status) << reader.errorText();
        EXPECT_EQ(reader.status(), c.status);
        EXPECT_NE(reader.errorText().find(c.message), std::string_view::npos) << reader.errorText();
        EXPECT_TRUE(reader.streamRecords().empty());
        EXPECT_EQ(reader.fileSize(), 0u);
    }
}

TEST(DatabaseReader, RefusesEveryTruncationOfASmallDatabase) {
    PalmDatabase db;
    ASSERT_EQ(db.create("Small", "", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Adpcm3), 200);
    std::vector<std::uint8_t> audio(76, 0x5A);
    audio[0] = 0;
    const std::uint8_t silence = 0x41;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(db.appendChunk(0, 76, audio.data()), kDbOk);
        ASSERT_EQ(db.appendChunk(0, 1, &silence), kDbOk);
    }
    const Bytes whole = saved(db);
    DatabaseReader reader;
    ASSERT_EQ(reader.parse(whole), kReadOk) << reader.errorText();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_NE(reader.parse(std::span(whole.data(), length)), kReadOk);
        EXPECT_FALSE(reader.errorText().empty());
    }
}

TEST(DatabaseReader, ReportsAFileThatCannotBeRead) {
    TempDirectory folder;
    DatabaseReader reader;
    EXPECT_EQ(reader.open(folder / "missing.pdb"), kReadCannotOpen);
    EXPECT_NE(reader.errorText().find("missing.pdb"), std::string_view::npos);
    EXPECT_EQ(reader.open(folder.path()), kReadCannotOpen);
}

TEST(ReadStatusText, NamesEveryStatus) {
    test_support::expectDistinctStatusTexts(
        readStatusText, {kReadOk, kReadCannotOpen, kReadBadLayout, kReadWrongKind, kReadBadRecord,
                         kReadBadStream, kReadBadChunks});
}

}  // namespace
}  // namespace zelvio
