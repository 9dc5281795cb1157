#include "pdb/file_blocks.h"

#include <gtest/gtest.h>

#include "pdb/byte_order.h"

namespace zelvio {
namespace {

// The helpers build bytes with shifts, so these hold on any host.
constexpr std::uint8_t kSample[4] = {0x12, 0x34, 0x56, 0x78};
static_assert(loadBig16(kSample) == 0x1234);
static_assert(loadBig32(kSample) == 0x12345678);
static_assert([] {
    std::uint8_t bytes[6] = {};
    storeBig16(bytes, 0xABCD);
    storeBig32(bytes + 2, 0xB835B700);
    return bytes[0] == 0xAB && bytes[1] == 0xCD && bytes[2] == 0xB8 && bytes[3] == 0x35 &&
           bytes[4] == 0xB7 && bytes[5] == 0x00;
}());

TEST(FileBlocks, DatabaseHeaderPutsEveryNumberBigEndianAtItsOffset) {
    DatabaseHeader header;
    header.name = {'N', 'a', 'm', 'e'};
    header.attributes = 0x0102;
    header.version = 0x0304;
    header.creationDate = 0x05060708;
    header.modificationDate = 0x090A0B0C;
    header.lastBackupDate = 0x0D0E0F10;
    header.modificationNumber = 0x11121314;
    header.appInfoID = 0x15161718;
    header.sortInfoID = 0x191A1B1C;
    header.type = kTypeData;
    header.creator = kCreatorK7q4;
    header.uniqueIDSeed = 0x21222324;
    header.nextRecordListID = 0x25262728;
    header.numRecords = 0x292A;

    const auto bytes = header.toFileOrder();
    const std::uint8_t expectedTail[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                         0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14,
                                         0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 'D',  'A',
                                         'T',  'A',  'K',  '7',  'Q',  '4',  0x21, 0x22, 0x23, 0x24,
                                         0x25, 0x26, 0x27, 0x28, 0x29, 0x2A};
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 5),
              (std::vector<std::uint8_t>{'N', 'a', 'm', 'e', 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 32, bytes.end()),
              std::vector<std::uint8_t>(std::begin(expectedTail), std::end(expectedTail)));
    EXPECT_EQ(DatabaseHeader::fromFileOrder(bytes), header);
}

TEST(FileBlocks, StreamHeaderPutsEveryNumberBigEndianAtItsOffset) {
    StreamHeader header;
    header.channels = 0x0102;
    header.sampleRate = 0x0304;
    header.frameMs = 0x0506;
    header.bytesPerSample = 0x0708;
    header.codec = 0x090A;
    header.samplesPerFrame = 0x0B0C;
    header.streamId = 0x0D0E;
    header.nextRecord = 0x0F10;
    header.durationMs = 0x11121314;
    header.dataBytes = 0x15161718;
    header.recordBytes = 0x191A1B1C;

    const auto bytes = header.toFileOrder();
    const std::array<std::uint8_t, 32> expected = {0x00, 0x02, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04,
                                                   0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
                                                   0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14,
                                                   0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(StreamHeader::fromFileOrder(bytes), header);
}

}  // namespace
}  // namespace zelvio
