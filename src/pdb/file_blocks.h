#pragma once
// The fixed-layout blocks of an audio database file, held with their numbers in host order, and
// one pair of converters for each: toFileOrder() gives the block's bytes as they stand in the
// file (every number big-endian), fromFileOrder() reads them back. Texts and single bytes are
// copied as they are. Bytes that no field covers (after a text's terminator, padding) are 0.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "pdb/stream_format.h"

namespace zelvio {

/// Seconds from 1 January 1904 to 7 December 2001, 00:00:00: the creation, modification and
/// backup date of every database.
inline constexpr std::uint32_t kDatabaseDate = 0xB835B700;
inline constexpr std::uint32_t kTypeData = 0x44415441;     ///< type "DATA"
inline constexpr std::uint32_t kCreatorK7q4 = 0x4B375134;  ///< creator "K7Q4"
/// Records a database can hold: indexes 0 to 199.
inline constexpr std::uint16_t kMaxDatabaseRecords = 200;

/// The four characters of a type or creator number, first in the high byte: 0x44415441 gives
/// "DATA". Bytes are taken as they are, printable or not.
[[nodiscard]] std::string fourChars(std::uint32_t value);

/// The database header, the first 78 bytes of the file.
struct DatabaseHeader {
    static constexpr std::size_t kBytes = 78;
    static constexpr std::size_t kNameBytes = 32;

    std::array<std::uint8_t, kNameBytes> name{};  ///< database title, NUL-terminated, zero-filled
    std::uint16_t attributes = 0;                 ///< database attributes (0)
    std::uint16_t version = 0;                    ///< format version (16)
    std::uint32_t creationDate = 0;               ///< seconds since 1904
    std::uint32_t modificationDate = 0;           ///< seconds since 1904
    std::uint32_t lastBackupDate = 0;             ///< seconds since 1904
    std::uint32_t modificationNumber = 0;         ///< 0
    std::uint32_t appInfoID = 0;                  ///< 0: no application info block
    std::uint32_t sortInfoID = 0;                 ///< 0: no sort info block
    std::uint32_t type = 0;                       ///< four characters, first in the high byte
    std::uint32_t creator = 0;                    ///< four characters, first in the high byte
    std::uint32_t uniqueIDSeed = 0;               ///< 0
    std::uint32_t nextRecordListID = 0;           ///< 0
    std::uint16_t numRecords = 0;                 ///< records in the file

    [[nodiscard]] std::array<std::uint8_t, kBytes> toFileOrder() const;
    [[nodiscard]] static DatabaseHeader fromFileOrder(std::span<const std::uint8_t, kBytes> bytes);
    friend bool operator==(const DatabaseHeader&, const DatabaseHeader&) = default;
};

/// One entry of the record list that follows the header.
struct RecordListEntry {
    static constexpr std::size_t kBytes = 8;

    std::uint32_t offset = 0;                ///< file offset of the record's first byte
    std::uint8_t attributes = 0;             ///< record attributes (0)
    std::array<std::uint8_t, 3> uniqueID{};  ///< record unique ID, high byte first (0)

    [[nodiscard]] std::array<std::uint8_t, kBytes> toFileOrder() const;
    [[nodiscard]] static RecordListEntry fromFileOrder(std::span<const std::uint8_t, kBytes> bytes);
    friend bool operator==(const RecordListEntry&, const RecordListEntry&) = default;
};

/// Record 0: what the database holds, with the user's description.
struct AudioInfoRecord {
    static constexpr std::size_t kBytes = 136;
    static constexpr std::size_t kTextBytes = 64;
    static constexpr std::uint32_t kTag = 0x00010000;

    std::uint32_t recordTag = kTag;                      ///< marks an information record
    std::array<std::uint8_t, kTextBytes> description{};  ///< NUL-terminated, zero-filled
    std::array<std::uint8_t, kTextBytes> extraText{};    ///< NUL-terminated, zero-filled
    std::uint16_t infoNumber = 0;                        ///< 1 in every database the job writes

    [[nodiscard]] std::array<std::uint8_t, kBytes> toFileOrder() const;
    [[nodiscard]] static AudioInfoRecord fromFileOrder(std::span<const std::uint8_t, kBytes> bytes);
    friend bool operator==(const AudioInfoRecord&, const AudioInfoRecord&) = default;
};

/// The first 32 bytes of every stream record: the stream's format and what this record holds.
struct StreamHeader {
    static constexpr std::size_t kBytes = 32;
    static constexpr std::uint32_t kTag = 0x00020000;
    // Offsets of the fields that appending a chunk reads and updates in place.
    static constexpr std::size_t kSampleRateOffset = 6;
    static constexpr std::size_t kSamplesPerFrameOffset = 14;
    static constexpr std::size_t kDurationMsOffset = 20;
    static constexpr std::size_t kDataBytesOffset = 24;
    static constexpr std::size_t kRecordBytesOffset = 28;

    std::uint32_t recordTag = kTag;     ///< marks a stream record
    std::uint16_t channels = 0;         ///< 1: mono
    std::uint16_t sampleRate = 0;       ///< samples per second
    std::uint16_t frameMs = 0;          ///< milliseconds per Frame
    std::uint16_t bytesPerSample = 0;   ///< 2: 16-bit samples
    std::uint16_t codec = 0;            ///< a CodecCode (pdb/stream_format.h)
    std::uint16_t samplesPerFrame = 0;  ///< samples per chunk
    std::uint16_t streamId = 0;         ///< same in every record of a stream
    std::uint16_t nextRecord = 0;       ///< record that continues the stream; 0 in its last record
    std::uint32_t durationMs = 0;       ///< milliseconds of audio in this record's chunks
    std::uint32_t dataBytes = 0;        ///< bytes of chunks in this record
    std::uint32_t recordBytes = 0;      ///< length of this record: 32 + dataBytes

    [[nodiscard]] std::array<std::uint8_t, kBytes> toFileOrder() const;
    [[nodiscard]] static StreamHeader fromFileOrder(std::span<const std::uint8_t, kBytes> bytes);
    friend bool operator==(const StreamHeader&, const StreamHeader&) = default;
};

}  // namespace zelvio
