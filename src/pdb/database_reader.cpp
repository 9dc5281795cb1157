#include "pdb/database_reader.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "pdb/byte_order.h"

namespace zelvio {
namespace {

constexpr std::uint32_t kFillerBytes = 2;  ///< what some writers put after the record list

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

/// A type or creator in quotes when its four characters are printable, otherwise as a
/// hexadecimal number.
std::string quotedFourChars(std::uint32_t value) {
    const std::string text = fourChars(value);
    const bool printable =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    return printable ? "\"" + text + "\"" : hex(value, 8);
}

/// "record 3 (offset 64094)": how every message about a record begins.
std::string recordAt(std::uint16_t index, std::uint32_t offset) {
    return "record " + std::to_string(index) + " (offset " + std::to_string(offset) + ")";
}

/// Bytes of a NUL-terminated text field up to its terminator; the whole field when it has none.
std::string textOf(std::span<const std::uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return {field.begin(), end};
}

bool hasTerminator(std::span<const std::uint8_t> field) {
    return std::find(field.begin(), field.end(), std::uint8_t{0}) != field.end();
}

}  // namespace

const char* readStatusText(ReadStatus status) {
    switch (status) {
        case kReadOk:
            return "success";
        case kReadCannotOpen:
            return "cannot read the file";
        case kReadBadLayout:
            return "damaged database layout";
        case kReadWrongKind:
            return "not an audio database";
        case kReadBadRecord:
            return "damaged record";
        case kReadBadStream:
            return "broken record chain";
        case kReadBadChunks:
            return "damaged chunks";
        default:
            return "unknown status";
    }
}

bool ChunkWalker::next(Chunk& chunk) {
    if (position_ >= bytes_.size()) {
        return false;
    }
    const std::uint8_t marker = bytes_[position_];
    const std::size_t length = marker == kAudioChunkMarker ? std::size_t{1} + codedBytes_ : 1;
    if (length > bytes_.size() - position_) {
        return false;
    }
    chunk.offset = firstOffset_ + static_cast<std::uint32_t>(position_);
    chunk.marker = marker;
    chunk.coded = bytes_.subspan(position_ + 1, length - 1);
    position_ += length;
    return true;
}

ReadStatus DatabaseReader::open(const std::filesystem::path& path) {
    clear();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return fail(kReadCannotOpen, "cannot read \"" + path.string() + "\": " + error.message());
    }
    if (size > kMaxFileBytes) {
        return fail(kReadCannotOpen, "the file is " + std::to_string(size) +
                                         " bytes long, more than an audio database can be (" +
                                         std::to_string(kMaxFileBytes) + ")");
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()),
                        static_cast<std::streamsize>(bytes.size()))) {
        return fail(kReadCannotOpen, "cannot read \"" + path.string() + "\"");
    }
    return parse(bytes);
}

ReadStatus DatabaseReader::parse(std::span<const std::uint8_t> bytes) {
    clear();
    if (bytes.size() > kMaxFileBytes) {
        return fail(kReadBadLayout, "the file is " + std::to_string(bytes.size()) +
                                        " bytes long, more than an audio database can be");
    }
    bytes_.assign(bytes.begin(), bytes.end());
    if (const ReadStatus status = checkLayout(); status != kReadOk) {
        return status;
    }
    if (const ReadStatus status = checkInfoRecord(); status != kReadOk) {
        return status;
    }
    // Stream records are checked one by one in index order, then as a chain.
    std::vector<StreamRecordInfo> byIndex(recordList_.size());
    for (std::uint16_t index = 1; index < recordList_.size(); ++index) {
        if (const ReadStatus status = checkStreamRecord(index, byIndex[index]); status != kReadOk) {
            return status;
        }
    }
    if (const ReadStatus status = followChain(byIndex); status != kReadOk) {
        return status;
    }
    status_ = kReadOk;
    errorText_.clear();
    return kReadOk;
}

ReadStatus DatabaseReader::fail(ReadStatus status, std::string text) {
    clear();
    status_ = status;
    errorText_ = std::move(text);
    return status;
}

void DatabaseReader::clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    status_ = kReadCannotOpen;
    errorText_ = "nothing was read";
    header_ = {};
    recordList_.clear();
    hasFiller_ = false;
    info_ = {};
    streamRecords_.clear();
}

std::uint32_t DatabaseReader::recordEnd(std::uint16_t index) const {
    // Records lie back to back in index order (checkLayout makes sure), so each one ends where
    // the next begins and the last one at the end of the file.
    return index + 1u < recordList_.size() ? recordList_[index + 1u].offset
                                           : static_cast<std::uint32_t>(bytes_.size());
}

ReadStatus DatabaseReader::checkLayout() {
    const auto fileSize = static_cast<std::uint32_t>(bytes_.size());
    if (fileSize < DatabaseHeader::kBytes) {
        return fail(kReadBadLayout, "the file is " + std::to_string(fileSize) +
                                        " bytes long, shorter than the 78-byte database header");
    }
    header_ = DatabaseHeader::fromFileOrder(std::span<const std::uint8_t, DatabaseHeader::kBytes>(
        bytes_.data(), DatabaseHeader::kBytes));
    if (header_.type != kTypeData || header_.creator != kCreatorK7q4) {
        return fail(kReadWrongKind, "type and creator (offset 60) are " +
                                        quotedFourChars(header_.type) + " and " +
                                        quotedFourChars(header_.creator) +
                                        ", not \"DATA\" and \"K7Q4\": not an audio database");
    }
    const std::uint16_t count = header_.numRecords;
    if (count < 2) {
        return fail(kReadBadLayout,
                    "the header (offset 76) counts " + std::to_string(count) +
                        (count == 1 ? " record" : " records") +
                        "; an audio database has an information record and at least one "
                        "stream record");
    }
    if (count > kMaxDatabaseRecords) {
        return fail(kReadBadLayout, "the header (offset 76) counts " + std::to_string(count) +
                                        " records, more than the 200 an audio database can have");
    }
    const std::uint32_t listEnd = DatabaseHeader::kBytes + RecordListEntry::kBytes * count;
    if (listEnd > fileSize) {
        return fail(kReadBadLayout, "the record list of " + std::to_string(count) +
                                        " entries (offset 78) ends at offset " +
                                        std::to_string(listEnd) + ", past the end of the file (" +
                                        std::to_string(fileSize) + " bytes)");
    }
    recordList_.reserve(count);
    for (std::uint16_t index = 0; index < count; ++index) {
        const std::uint32_t at = DatabaseHeader::kBytes + RecordListEntry::kBytes * index;
        recordList_.push_back(
            RecordListEntry::fromFileOrder(std::span<const std::uint8_t, RecordListEntry::kBytes>(
                bytes_.data() + at, RecordListEntry::kBytes)));
        const std::uint32_t offset = recordList_.back().offset;
        const std::string where = "record " + std::to_string(index) + " (list entry at offset " +
                                  std::to_string(at) + ")";
        if (offset > fileSize) {
            return fail(kReadBadLayout, where + " starts at offset " + std::to_string(offset) +
                                            ", past the end of the file (" +
                                            std::to_string(fileSize) + " bytes)");
        }
        if (index == 0) {
            if (offset == listEnd + kFillerBytes) {
                hasFiller_ = true;
            } else if (offset != listEnd) {
                return fail(kReadBadLayout,
                            where + " starts at offset " + std::to_string(offset) +
                                "; the first record follows the record list at offset " +
                                std::to_string(listEnd) + " (or " +
                                std::to_string(listEnd + kFillerBytes) + " after filler bytes)");
            }
        } else if (offset < recordList_[index - 1u].offset) {
            return fail(kReadBadLayout, where + " starts at offset " + std::to_string(offset) +
                                            ", before record " + std::to_string(index - 1) +
                                            " at offset " +
                                            std::to_string(recordList_[index - 1u].offset) +
                                            ": the record offsets are out of order");
        }
    }
    return kReadOk;
}

ReadStatus DatabaseReader::checkInfoRecord() {
    const std::uint32_t offset = recordList_[0].offset;
    const std::uint32_t size = recordEnd(0) - offset;
    const std::string where = recordAt(0, offset);
    if (size != AudioInfoRecord::kBytes) {
        return fail(kReadBadRecord, where + " is " + std::to_string(size) +
                                        " bytes long; an information record is 136");
    }
    const std::span<const std::uint8_t, AudioInfoRecord::kBytes> block(bytes_.data() + offset,
                                                                       AudioInfoRecord::kBytes);
    info_ = AudioInfoRecord::fromFileOrder(block);
    if (info_.recordTag != AudioInfoRecord::kTag) {
        return fail(kReadBadRecord, where + ": tag " + hex(info_.recordTag, 8) +
                                        ", not the information record's 0x00010000");
    }
    // The texts are read up to their terminators, so the terminators must be there.
    if (!hasTerminator(info_.description)) {
        return fail(kReadBadRecord, where + ": the description at offset " +
                                        std::to_string(offset + 4) +
                                        " has no terminator within its 64 bytes");
    }
    if (!hasTerminator(info_.extraText)) {
        return fail(kReadBadRecord, where + ": the extra text at offset " +
                                        std::to_string(offset + 68) +
                                        " has no terminator within its 64 bytes");
    }
    return kReadOk;
}

ReadStatus DatabaseReader::checkStreamRecord(std::uint16_t index, StreamRecordInfo& record) {
    const std::uint32_t offset = recordList_[index].offset;
    const std::uint32_t room = recordEnd(index) - offset;
    const std::string where = recordAt(index, offset);
    if (room < StreamHeader::kBytes) {
        return fail(kReadBadRecord, where + " is " + std::to_string(room) +
                                        " bytes long, shorter than a 32-byte stream header");
    }
    record.index = index;
    record.offset = offset;
    record.header = StreamHeader::fromFileOrder(std::span<const std::uint8_t, StreamHeader::kBytes>(
        bytes_.data() + offset, StreamHeader::kBytes));
    const StreamHeader& header = record.header;
    const auto fieldAt = [offset](std::uint32_t fieldOffset) {
        return " at offset " + std::to_string(offset + fieldOffset);
    };
    if (header.recordTag != StreamHeader::kTag) {
        return fail(kReadBadRecord, where + ": tag " + hex(header.recordTag, 8) +
                                        ", not the stream record's 0x00020000");
    }
    if (codecBits(header.codec) == 0) {
        return fail(kReadBadRecord, where + ": codec " + std::to_string(header.codec) +
                                        fieldAt(12) + " is not one we know (0, 5, 6 or 7)");
    }
    if (header.channels != 1) {
        return fail(kReadBadRecord, where + ": " + std::to_string(header.channels) + " channels" +
                                        fieldAt(4) + "; the stream must be mono");
    }
    if (header.sampleRate == 0) {
        return fail(kReadBadRecord, where + ": sample rate 0" + fieldAt(6));
    }
    if (header.samplesPerFrame != kFrameSamples) {
        return fail(kReadBadRecord, where + ": " + std::to_string(header.samplesPerFrame) +
                                        " samples per Frame" + fieldAt(14) + "; chunks hold 200");
    }
    if (header.recordBytes < StreamHeader::kBytes) {
        return fail(kReadBadRecord, where + ": recordBytes " + std::to_string(header.recordBytes) +
                                        fieldAt(28) + " is less than its 32-byte header");
    }
    if (header.recordBytes > room) {
        if (index + 1u < recordList_.size()) {
            return fail(kReadBadRecord, where + " overlaps record " + std::to_string(index + 1) +
                                            " at offset " + std::to_string(recordEnd(index)) +
                                            ": recordBytes " + std::to_string(header.recordBytes) +
                                            fieldAt(28) + ", room for " + std::to_string(room));
        }
        return fail(kReadBadRecord, where + ": recordBytes " + std::to_string(header.recordBytes) +
                                        fieldAt(28) + " runs past the end of the file (room for " +
                                        std::to_string(room) + ")");
    }
    if (header.recordBytes < room) {
        return fail(kReadBadRecord, where + ": recordBytes " + std::to_string(header.recordBytes) +
                                        fieldAt(28) + " leaves " +
                                        std::to_string(room - header.recordBytes) +
                                        " bytes of the record unaccounted for");
    }
    if (header.dataBytes != header.recordBytes - StreamHeader::kBytes) {
        return fail(kReadBadChunks, where + ": dataBytes " + std::to_string(header.dataBytes) +
                                        fieldAt(24) + " disagrees with recordBytes " +
                                        std::to_string(header.recordBytes));
    }
    return checkChunks(record);
}

ReadStatus DatabaseReader::checkChunks(StreamRecordInfo& record) {
    const StreamHeader& header = record.header;
    const std::string where = recordAt(record.index, record.offset);
    const std::uint32_t end = record.offset + header.recordBytes;
    const std::uint32_t audioLength = audioChunkLength(header.codec);
    std::uint32_t at = record.offset + StreamHeader::kBytes;
    while (at < end) {
        const std::uint8_t marker = bytes_[at];
        const auto chunk = [&] {
            return "chunk " + std::to_string(record.chunks()) + " at offset " + std::to_string(at);
        };
        if (marker == kAudioChunkMarker) {
            if (audioLength > end - at) {
                return fail(kReadBadChunks, where + ": " + chunk() +
                                                " runs past the end of the record (needs " +
                                                std::to_string(audioLength) + " bytes, " +
                                                std::to_string(end - at) + " left)");
            }
            ++record.audioChunks;
            at += audioLength;
        } else if (isSilenceMarker(marker)) {
            ++record.silenceChunks;
            at += 1;
        } else {
            return fail(kReadBadChunks, where + ": " + chunk() + " starts with " + hex(marker, 2) +
                                            ", which is no chunk marker (0 for audio, 0x01 to "
                                            "0x81 for silence)");
        }
    }
    // Every chunk, audio or silence, stands for one Frame.
    const std::uint64_t frameMs = std::uint64_t{header.samplesPerFrame} * 1000 / header.sampleRate;
    const std::uint64_t expectedMs = frameMs * record.chunks();
    if (header.durationMs != expectedMs) {
        return fail(kReadBadChunks, where + ": durationMs " + std::to_string(header.durationMs) +
                                        " at offset " + std::to_string(record.offset + 20) +
                                        " disagrees with its " + std::to_string(record.chunks()) +
                                        " chunks (" + std::to_string(expectedMs) + " ms)");
    }
    return kReadOk;
}

ReadStatus DatabaseReader::followChain(std::vector<StreamRecordInfo>& byIndex) {
    const auto count = static_cast<std::uint16_t>(recordList_.size());
    std::vector<bool> visited(count, false);
    const StreamHeader& first = byIndex[1].header;
    for (std::uint16_t index = 1;;) {
        visited[index] = true;
        const StreamRecordInfo& record = byIndex[index];
        const std::string where = recordAt(index, record.offset);
        const StreamHeader& header = record.header;
        // Every record of the stream repeats the first one's format.
        const struct {
            const char* name;
            std::uint16_t value;
            std::uint16_t expected;
            std::uint32_t fieldOffset;
        } fields[] = {
            {"sampleRate", header.sampleRate, first.sampleRate, 6},
            {"frameMs", header.frameMs, first.frameMs, 8},
            {"bytesPerSample", header.bytesPerSample, first.bytesPerSample, 10},
            {"codec", header.codec, first.codec, 12},
            {"streamId", header.streamId, first.streamId, 16},
        };
        for (const auto& field : fields) {
            if (field.value != field.expected) {
                return fail(kReadBadRecord,
                            where + ": " + field.name + " " + std::to_string(field.value) +
                                " at offset " + std::to_string(record.offset + field.fieldOffset) +
                                " differs from record 1's " + std::to_string(field.expected));
            }
        }
        streamRecords_.push_back(record);
        const std::uint16_t next = header.nextRecord;
        if (next == 0) {
            break;
        }
        const std::string nextAt = "nextRecord " + std::to_string(next) + " at offset " +
                                   std::to_string(record.offset + 18);
        if (next >= count) {
            return fail(kReadBadStream, where + ": " + nextAt +
                                            " points outside the stream (records 1 to " +
                                            std::to_string(count - 1) + ")");
        }
        if (visited[next]) {
            return fail(kReadBadStream,
                        where + ": " + nextAt + " leads back to a record already in the stream");
        }
        index = next;
    }
    for (std::uint16_t index = 1; index < count; ++index) {
        if (!visited[index]) {
            return fail(kReadBadStream, recordAt(index, byIndex[index].offset) +
                                            " is not reached from record 1 through nextRecord");
        }
    }
    return kReadOk;
}

std::string DatabaseReader::name() const {
    return textOf(header_.name);
}

std::string DatabaseReader::description() const {
    return textOf(info_.description);
}

std::uint64_t DatabaseReader::totalChunks() const {
    std::uint64_t total = 0;
    for (const StreamRecordInfo& record : streamRecords_) {
        total += record.chunks();
    }
    return total;
}

std::uint64_t DatabaseReader::totalSilenceChunks() const {
    std::uint64_t total = 0;
    for (const StreamRecordInfo& record : streamRecords_) {
        total += record.silenceChunks;
    }
    return total;
}

std::uint64_t DatabaseReader::totalDataBytes() const {
    std::uint64_t total = 0;
    for (const StreamRecordInfo& record : streamRecords_) {
        total += record.header.dataBytes;
    }
    return total;
}

std::uint64_t DatabaseReader::totalDurationMs() const {
    std::uint64_t total = 0;
    for (const StreamRecordInfo& record : streamRecords_) {
        total += record.header.durationMs;
    }
    return total;
}

ChunkWalker DatabaseReader::chunks(const StreamRecordInfo& record) const {
    const std::uint32_t first = record.offset + StreamHeader::kBytes;
    return ChunkWalker(
        std::span<const std::uint8_t>(bytes_).subspan(first, record.header.dataBytes), first,
        static_cast<std::uint16_t>(audioChunkLength(record.header.codec) - 1));
}

}  // namespace zelvio
