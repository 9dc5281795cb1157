#include "pdb/file_blocks.h"

#include <algorithm>

#include "pdb/byte_order.h"

namespace zelvio {

std::string fourChars(std::uint32_t value) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += static_cast<char>((value >> shift) & 0xFF);
    }
    return text;
}

std::array<std::uint8_t, DatabaseHeader::kBytes> DatabaseHeader::toFileOrder() const {
    std::array<std::uint8_t, kBytes> out{};
    std::uint8_t* p = out.data();
    std::copy(name.begin(), name.end(), p);
    storeBig16(p + 32, attributes);
    storeBig16(p + 34, version);
    storeBig32(p + 36, creationDate);
    storeBig32(p + 40, modificationDate);
    storeBig32(p + 44, lastBackupDate);
    storeBig32(p + 48, modificationNumber);
    storeBig32(p + 52, appInfoID);
    storeBig32(p + 56, sortInfoID);
    storeBig32(p + 60, type);
    storeBig32(p + 64, creator);
    storeBig32(p + 68, uniqueIDSeed);
    storeBig32(p + 72, nextRecordListID);
    storeBig16(p + 76, numRecords);
    return out;
}

DatabaseHeader DatabaseHeader::fromFileOrder(std::span<const std::uint8_t, kBytes> bytes) {
    const std::uint8_t* p = bytes.data();
    DatabaseHeader header;
    std::copy(p, p + kNameBytes, header.name.begin());
    header.attributes = loadBig16(p + 32);
    header.version = loadBig16(p + 34);
    header.creationDate = loadBig32(p + 36);
    header.modificationDate = loadBig32(p + 40);
    header.lastBackupDate = loadBig32(p + 44);
    header.modificationNumber = loadBig32(p + 48);
    header.appInfoID = loadBig32(p + 52);
    header.sortInfoID = loadBig32(p + 56);
    header.type = loadBig32(p + 60);
    header.creator = loadBig32(p + 64);
    header.uniqueIDSeed = loadBig32(p + 68);
    header.nextRecordListID = loadBig32(p + 72);
    header.numRecords = loadBig16(p + 76);
    return header;
}

std::array<std::uint8_t, RecordListEntry::kBytes> RecordListEntry::toFileOrder() const {
    std::array<std::uint8_t, kBytes> out{};
    storeBig32(out.data(), offset);
    out[4] = attributes;
    std::copy(uniqueID.begin(), uniqueID.end(), out.begin() + 5);
    return out;
}

RecordListEntry RecordListEntry::fromFileOrder(std::span<const std::uint8_t, kBytes> bytes) {
    RecordListEntry entry;
    entry.offset = loadBig32(bytes.data());
    entry.attributes = bytes[4];
    std::copy(bytes.begin() + 5, bytes.end(), entry.uniqueID.begin());
    return entry;
}

std::array<std::uint8_t, AudioInfoRecord::kBytes> AudioInfoRecord::toFileOrder() const {
    std::array<std::uint8_t, kBytes> out{};  // the two bytes after infoNumber stay 0
    storeBig32(out.data(), recordTag);
    std::copy(description.begin(), description.end(), out.begin() + 4);
    std::copy(extraText.begin(), extraText.end(), out.begin() + 68);
    storeBig16(out.data() + 132, infoNumber);
    return out;
}

AudioInfoRecord AudioInfoRecord::fromFileOrder(std::span<const std::uint8_t, kBytes> bytes) {
    AudioInfoRecord info;
    info.recordTag = loadBig32(bytes.data());
    std::copy(bytes.begin() + 4, bytes.begin() + 68, info.description.begin());
    std::copy(bytes.begin() + 68, bytes.begin() + 132, info.extraText.begin());
    info.infoNumber = loadBig16(bytes.data() + 132);
    return info;
}

std::array<std::uint8_t, StreamHeader::kBytes> StreamHeader::toFileOrder() const {
    std::array<std::uint8_t, kBytes> out{};
    std::uint8_t* p = out.data();
    storeBig32(p, recordTag);
    storeBig16(p + 4, channels);
    storeBig16(p + 6, sampleRate);
    storeBig16(p + 8, frameMs);
    storeBig16(p + 10, bytesPerSample);
    storeBig16(p + 12, codec);
    storeBig16(p + 14, samplesPerFrame);
    storeBig16(p + 16, streamId);
    storeBig16(p + 18, nextRecord);
    storeBig32(p + 20, durationMs);
    storeBig32(p + 24, dataBytes);
    storeBig32(p + 28, recordBytes);
    return out;
}

StreamHeader StreamHeader::fromFileOrder(std::span<const std::uint8_t, kBytes> bytes) {
    const std::uint8_t* p = bytes.data();
    StreamHeader header;
    header.recordTag = loadBig32(p);
    header.channels = loadBig16(p + 4);
    header.sampleRate = loadBig16(p + 6);
    header.frameMs = loadBig16(p + 8);
    header.bytesPerSample = loadBig16(p + 10);
    header.codec = loadBig16(p + 12);
    header.samplesPerFrame = loadBig16(p + 14);
    header.streamId = loadBig16(p + 16);
    header.nextRecord = loadBig16(p + 18);
    header.durationMs = loadBig32(p + 20);
    header.dataBytes = loadBig32(p + 24);
    header.recordBytes = loadBig32(p + 28);
    return header;
}

}  // namespace zelvio
