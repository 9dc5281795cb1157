#include "pdb/palm_database.h"

#include <algorithm>
#include <cstring>

#include "pdb/byte_order.h"

namespace zelvio {
namespace {

/// Copies text up to its first NUL, at most capacity - 1 bytes, into a zero-filled field, so it
/// stays terminated and every byte after the terminator is 0.
template <std::size_t N>
void copyText(std::array<std::uint8_t, N>& field, std::string_view text) {
    field.fill(0);
    const std::size_t count = std::min(text.substr(0, text.find('\0')).size(), N - 1);
    std::memcpy(field.data(), text.data(), count);
}

std::span<const std::uint8_t, StreamHeader::kBytes> headerBytes(const RecordBuffer& record) {
    return std::span<const std::uint8_t, StreamHeader::kBytes>(record.data(), StreamHeader::kBytes);
}

}  // namespace

// --- The record database -------------------------------------------------------------------

void PalmDatabase::initHeader(std::string_view name) {
    const std::uint16_t numRecords = header_.numRecords;
    header_ = DatabaseHeader{};
    copyText(header_.name, name);
    header_.version = 16;
    header_.creationDate = kDatabaseDate;
    header_.modificationDate = kDatabaseDate;
    header_.lastBackupDate = kDatabaseDate;
    header_.type = kTypeData;
    header_.creator = kCreatorK7q4;
    header_.numRecords = numRecords;  // always the count of filled slots
}

RecordResult PalmDatabase::newRecord(std::uint16_t index, std::uint32_t size) {
    if (index >= kMaxRecords) {
        return {kDbIndexOutOfRange, nullptr};
    }
    RecordSlot& slot = slots_[index];
    if (slot.record) {
        return {kDbOk, &*slot.record};
    }
    RecordBuffer buffer(&budget_);
    if (buffer.resize(size) != kDbOk) {
        return {kDbMemoryFull, nullptr};
    }
    slot.offset = 0;
    slot.attributes = 0;
    slot.uniqueID = {};
    slot.record.emplace(std::move(buffer));
    ++header_.numRecords;
    return {kDbOk, &*slot.record};
}

RecordResult PalmDatabase::getRecord(std::uint16_t index) {
    const DbStatus status = releaseRecord(index);
    if (status != kDbOk) {
        return {status, nullptr};
    }
    return {kDbOk, &*slots_[index].record};
}

RecordResult PalmDatabase::resizeRecord(std::uint16_t index, std::uint32_t size) {
    RecordResult result = getRecord(index);
    if (result.record != nullptr) {
        result.status = result.record->resize(size);
    }
    return result;
}

DbStatus PalmDatabase::writeRecord(RecordBuffer& record, std::uint32_t position,
                                   const std::uint8_t* source, std::uint32_t length) {
    if (position > record.size() || length > record.size() - position) {
        return kDbIndexOutOfRange;
    }
    if (length == 0) {
        return kDbOk;
    }
    return copyBytes(record.data() + position, source, length);
}

DbStatus PalmDatabase::copyBytes(std::uint8_t* destination, const std::uint8_t* source,
                                 std::uint32_t length) {
    if (destination == nullptr || source == nullptr) {
        return kDbNullPointer;
    }
    // memmove copies as an ascending loop would when the areas do not overlap, and stays
    // defined when they do.
    std::memmove(destination, source, length);
    return kDbOk;
}

DbStatus PalmDatabase::releaseRecord(std::uint16_t index) const {
    if (index >= kMaxRecords) {
        return kDbIndexOutOfRange;
    }
    return slots_[index].record ? kDbOk : kDbRecordNotFound;
}

std::uint64_t PalmDatabase::fileSize() const {
    std::uint64_t size =
        DatabaseHeader::kBytes + std::uint64_t{RecordListEntry::kBytes} * header_.numRecords;
    for (const RecordSlot& slot : slots_) {
        if (slot.record) {
            size += slot.record->size();
        }
    }
    return size;
}

DbStatus PalmDatabase::writeImage(ByteSink& sink) {
    // Record offsets are 32-bit: a file that cannot be described is not written at all.
    if (fileSize() > UINT32_MAX) {
        return kDbCannotCreate;
    }
    // The record list is followed directly by the records, each starting where the one before
    // it ends; the slots are visited in index order and only filled ones count.
    std::uint32_t position =
        static_cast<std::uint32_t>(DatabaseHeader::kBytes + RecordListEntry::kBytes * numRecords());
    for (RecordSlot& slot : slots_) {
        if (slot.record) {
            slot.offset = position;
            position += slot.record->size();
        }
    }

    const auto headerBytes = header_.toFileOrder();
    bool written = sink.write(headerBytes.data(), headerBytes.size());
    for (const RecordSlot& slot : slots_) {
        if (slot.record) {
            const RecordListEntry entry{slot.offset, slot.attributes, slot.uniqueID};
            const auto entryBytes = entry.toFileOrder();
            written = written && sink.write(entryBytes.data(), entryBytes.size());
        }
    }
    for (const RecordSlot& slot : slots_) {
        if (slot.record) {
            written = written && sink.write(slot.record->data(), slot.record->size());
        }
    }
    return written ? kDbOk : kDbCannotCreate;
}

// --- The audio records ---------------------------------------------------------------------

DbStatus PalmDatabase::create(std::string_view title, std::string_view description,
                              std::string_view extraText, std::uint16_t infoNumber) {
    AudioInfoRecord info;
    copyText(info.description, description);
    copyText(info.extraText, extraText);
    info.infoNumber = infoNumber;
    const auto infoBytes = info.toFileOrder();

    initHeader(title);
    const RecordResult made = newRecord(0, AudioInfoRecord::kBytes);
    if (made.record == nullptr) {
        return releaseRecord(0);
    }
    // A record 0 that already existed is brought to the information record's length.
    if (made.record->resize(AudioInfoRecord::kBytes) != kDbOk) {
        return kDbMemoryFull;
    }
    (void)writeRecord(*made.record, 0, infoBytes.data(), AudioInfoRecord::kBytes);
    return releaseRecord(0);
}

DbStatus PalmDatabase::newStreamRecord(std::uint16_t index, std::uint16_t streamId,
                                       std::uint16_t channels, std::uint16_t sampleRate,
                                       std::uint16_t frameMs, std::uint16_t bytesPerSample,
                                       std::uint16_t codec, std::uint16_t samplesPerFrame) {
    StreamHeader header;
    header.channels = channels;
    header.sampleRate = sampleRate;
    header.frameMs = frameMs;
    header.bytesPerSample = bytesPerSample;
    header.codec = codec;
    header.samplesPerFrame = samplesPerFrame;
    header.streamId = streamId;
    header.recordBytes = StreamHeader::kBytes;
    const auto bytes = header.toFileOrder();

    const RecordResult made = newRecord(index, StreamHeader::kBytes);
    if (made.record == nullptr) {
        return releaseRecord(index);
    }
    // A stream record starts with no chunks, also in a slot that was filled before.
    if (made.record->resize(StreamHeader::kBytes) != kDbOk) {
        return kDbMemoryFull;
    }
    (void)writeRecord(*made.record, 0, bytes.data(), StreamHeader::kBytes);
    return releaseRecord(index);
}

void PalmDatabase::startStream(std::uint16_t channels, std::uint16_t sampleRate,
                               std::uint16_t frameMs, std::uint16_t bytesPerSample,
                               std::uint16_t codec, std::uint16_t samplesPerFrame) {
    // A record that cannot be made leaves the slot empty; appendChunk then reports it.
    (void)newStreamRecord(1, 0, channels, sampleRate, frameMs, bytesPerSample, codec,
                          samplesPerFrame);
    cursors_.fill(StreamCursor{1, 0, 0, kDbOk});
}

DbStatus PalmDatabase::stopStream(StreamCursor& cursor, DbStatus status) {
    cursor.stoppedBy = status;
    if (status == kDbIndexOutOfRange) {
        full_ = true;
    }
    return status;
}

DbStatus PalmDatabase::appendChunk(std::uint16_t stream, std::uint16_t length,
                                   const std::uint8_t* bytes) {
    if (stream >= kStreamCount) {
        return kDbIndexOutOfRange;
    }
    StreamCursor& cursor = cursors_[stream];
    if (cursor.stoppedBy != kDbOk) {
        return cursor.stoppedBy;
    }
    if (cursor.currentRecord == 0) {
        return kDbRecordNotFound;  // no stream started
    }
    if (bytes == nullptr && length > 0) {
        return kDbNullPointer;
    }

    std::uint16_t current = cursor.currentRecord;
    RecordBuffer* record = getRecord(current).record;
    if (record == nullptr || record->size() < StreamHeader::kBytes) {
        return stopStream(cursor, kDbRecordNotFound);
    }

    // A chunk is never split: when it would take the record past 64000 bytes it goes to a new
    // record, even when the current one holds no chunk yet. A record may reach 64000 exactly.
    if (std::uint32_t{length} + cursor.bytesUsed + StreamHeader::kBytes > kMaxStreamRecordBytes) {
        StreamHeader closing = StreamHeader::fromFileOrder(headerBytes(*record));
        const std::uint16_t next = static_cast<std::uint16_t>(current + 1);
        const DbStatus opened = newStreamRecord(
            next, closing.streamId, closing.channels, closing.sampleRate, closing.frameMs,
            closing.bytesPerSample, closing.codec, closing.samplesPerFrame);
        if (opened != kDbOk) {
            // Record 200 does not exist, or memory ran out: the closing record stays the
            // stream's last (nextRecord 0) and this chunk and all later ones are dropped.
            return stopStream(cursor, opened);
        }
        closing.nextRecord = next;
        const auto closingBytes = closing.toFileOrder();
        (void)writeRecord(*record, 0, closingBytes.data(), StreamHeader::kBytes);
        record->shrinkToFit();  // the record is complete: give back its spare capacity

        cursor.currentRecord = current = next;
        cursor.bytesUsed = 0;
        record = getRecord(current).record;
    }

    const std::uint32_t position = StreamHeader::kBytes + cursor.bytesUsed;
    if (record->resize(position + length) != kDbOk) {
        return stopStream(cursor, kDbMemoryFull);
    }
    (void)writeRecord(*record, position, bytes, length);
    // Every chunk, audio or silence, stands for one Frame; its duration comes from this
    // record's own header, truncated to whole milliseconds. Only the three counters change, so
    // they are updated where they stand in the record, in file order.
    std::uint8_t* header = record->data();
    const std::uint16_t sampleRate = loadBig16(header + StreamHeader::kSampleRateOffset);
    const std::uint16_t samplesPerFrame = loadBig16(header + StreamHeader::kSamplesPerFrameOffset);
    const std::uint32_t frameMs =
        sampleRate == 0 ? 0 : (std::uint32_t{samplesPerFrame} * 1000) / sampleRate;
    auto add = [header](std::size_t offset, std::uint32_t amount) {
        storeBig32(header + offset, loadBig32(header + offset) + amount);
    };
    add(StreamHeader::kDurationMsOffset, frameMs);
    add(StreamHeader::kDataBytesOffset, length);
    add(StreamHeader::kRecordBytesOffset, length);

    cursor.bytesUsed += length;
    ++cursor.chunksStored;
    return releaseRecord(current);
}

}  // namespace zelvio
