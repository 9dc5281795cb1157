#include "pdb/palm_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

#include "support/database_image.h"
#include "support/status_texts.h"

namespace zelvio {
namespace {

using test_support::Bytes;

/// bytes with values placed at offset.
void put(Bytes& bytes, std::size_t offset, std::initializer_list<std::uint8_t> values) {
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes saved(PalmDatabase& db) {
    return test_support::imageBytes(db);
}

TEST(PalmDatabase, CreatedDatabaseWithAnEmptyStreamIsThe262ByteFileByteForByte) {
    PalmDatabase db;
    ASSERT_EQ(db.create("Title", "abc", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Pcm8), 200);

    Bytes expected(262, 0);
    put(expected, 0, {'T', 'i', 't', 'l', 'e'});
    put(expected, 34, {0x00, 0x10});  // version 16
    put(expected, 36,
        {0xB8, 0x35, 0xB7, 0x00, 0xB8, 0x35,  // the three dates
         0xB7, 0x00, 0xB8, 0x35, 0xB7, 0x00});
    put(expected, 60, {'D', 'A', 'T', 'A', 'K', '7', 'Q', '4'});
    put(expected, 76, {0x00, 0x02});                          // numRecords
    put(expected, 78, {0x00, 0x00, 0x00, 0x5E, 0, 0, 0, 0});  // record 0 at 94
    put(expected, 86, {0x00, 0x00, 0x00, 0xE6, 0, 0, 0, 0});  // record 1 at 230
    put(expected, 94, {0x00, 0x01, 0x00, 0x00, 'a', 'b', 'c'});
    put(expected, 94 + 132, {0x00, 0x01});  // infoNumber
    put(expected, 230, {0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x27, 0x10, 0x00, 0x14, 0x00,
                        0x02, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20});
    EXPECT_EQ(saved(db), expected);
    EXPECT_EQ(db.fileSize(), 262u);
    EXPECT_EQ(db.slot(0).offset, 94u);
    EXPECT_EQ(db.slot(1).offset, 230u);
}

TEST(PalmDatabase, ImageWithoutRecordsSavesAs78ByteHeaderWithAtMost31NameBytes) {
    PalmDatabase db;
    db.initHeader(std::string(40, 'x'));
    const Bytes file = saved(db);
    ASSERT_EQ(file.size(), 78u);
    EXPECT_EQ(std::count(file.begin(), file.begin() + 32, 'x'), 31);
    EXPECT_EQ(file[31], 0);             // the name's terminator
    EXPECT_EQ(file[76] + file[77], 0);  // no records
}

TEST(PalmDatabase, TextsEndAtTheirFirstNulAndEverythingAfterItIsZero) {
    // A text is stored up to its terminator; bytes of the text past an embedded NUL would
    // stand after the terminator, where every field holds zeros.
    using namespace std::string_view_literals;
    PalmDatabase db;
    ASSERT_EQ(db.create("ti\0tle"sv, "de\0scription"sv, "ex\0tra"sv, 1), kDbOk);
    const Bytes file = saved(db);
    struct Field {
        const char* what;
        std::size_t offset;
        std::size_t length;
        const char* kept;
    };
    const Field fields[] = {
        {"name", 0, 32, "ti"},
        {"description", 78 + 8 + 4, 64, "de"},
        {"extraText", 78 + 8 + 68, 64, "ex"},
    };
    for (const Field& field : fields) {
        SCOPED_TRACE(field.what);
        Bytes expected(field.length, 0);
        put(expected, 0,
            {static_cast<std::uint8_t>(field.kept[0]), static_cast<std::uint8_t>(field.kept[1])});
        const auto begin = file.begin() + static_cast<std::ptrdiff_t>(field.offset);
        EXPECT_EQ(Bytes(begin, begin + static_cast<std::ptrdiff_t>(field.length)), expected);
    }
}

TEST(PalmDatabase, TitleIsFoundOnlyInTheHeaderName) {
    PalmDatabase db;
    ASSERT_EQ(db.create("UniqueTitle", "desc", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, 7, 200);
    const Bytes file = saved(db);
    const std::string title = "UniqueTitle";
    const auto first = std::search(file.begin(), file.end(), title.begin(), title.end());
    EXPECT_EQ(first, file.begin());
    EXPECT_EQ(std::search(first + 1, file.end(), title.begin(), title.end()), file.end());
}

TEST(PalmDatabase, RecordOperationsReportTheDataManagerStatuses) {
    PalmDatabase db;
    ASSERT_NE(db.newRecord(0, 10).record, nullptr);

    struct Case {
        const char* what;
        DbStatus status;
        DbStatus expected;
    };
    const Case cases[] = {
        {"release of a filled slot", db.releaseRecord(0), kDbOk},
        {"release of an empty slot", db.releaseRecord(199), kDbRecordNotFound},
        {"release of index 200", db.releaseRecord(200), kDbIndexOutOfRange},
        {"get of an empty slot", db.getRecord(5).status, kDbRecordNotFound},
        {"get of index 200", db.getRecord(200).status, kDbIndexOutOfRange},
        {"resize of an empty slot", db.resizeRecord(5, 3).status, kDbRecordNotFound},
        {"new record at index 200", db.newRecord(200, 1).status, kDbIndexOutOfRange},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.status, c.expected);
    }
    EXPECT_EQ(db.newRecord(200, 1).record, nullptr);
    EXPECT_EQ(db.numRecords(), 1);
}

TEST(PalmDatabase, NewRecordOnAFilledSlotGivesBackTheRecordWithItsOldSize) {
    PalmDatabase db;
    RecordBuffer* first = db.newRecord(0, 10).record;
    first->data()[0] = 0x5A;
    const RecordResult again = db.newRecord(0, 50);
    EXPECT_EQ(again.record, first);
    EXPECT_EQ(again.record->size(), 10u);
    EXPECT_EQ(again.record->data()[0], 0x5A);
    EXPECT_EQ(db.numRecords(), 1);
}

TEST(PalmDatabase, CopyBytesWithANullSideCopiesNothing) {
    std::uint8_t destination[3] = {1, 2, 3};
    const std::uint8_t source[3] = {9, 9, 9};
    EXPECT_EQ(PalmDatabase::copyBytes(destination, nullptr, 3), kDbNullPointer);
    EXPECT_EQ(PalmDatabase::copyBytes(nullptr, source, 3), kDbNullPointer);
    EXPECT_EQ(destination[0] + destination[1] + destination[2], 6);
    EXPECT_EQ(PalmDatabase::copyBytes(destination, source, 0), kDbOk);
    EXPECT_EQ(destination[0], 1);
    EXPECT_EQ(PalmDatabase::copyBytes(destination, source, 3), kDbOk);
    EXPECT_EQ(destination[2], 9);
}

TEST(PalmDatabase, WriteRecordRefusesBytesPastTheRecordsEnd) {
    PalmDatabase db;
    RecordBuffer& record = *db.newRecord(0, 4).record;
    const std::uint8_t source[4] = {1, 2, 3, 4};
    EXPECT_EQ(PalmDatabase::writeRecord(record, 2, source, 3), kDbIndexOutOfRange);
    EXPECT_EQ(PalmDatabase::writeRecord(record, 2, source, 2), kDbOk);
    EXPECT_EQ(record.data()[0] + record.data()[1], 0);
    EXPECT_EQ(record.data()[3], 2);
}

TEST(DbStatusText, NamesEveryStatus) {
    test_support::expectDistinctStatusTexts(
        dbStatusText, {kDbOk, kDbCannotCreate, kDbMemoryFull, kDbNullPointer, kDbIndexOutOfRange,
                       kDbRecordNotFound});
}

}  // namespace
}  // namespace zelvio
