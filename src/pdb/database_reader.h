#pragma once
// Reading an audio database file back: header, record list, information record and the stream
// records with their chunks, checked against everything a damaged or hostile file can get wrong.
//
//     DatabaseReader reader;
//     if (reader.open(path) != kReadOk) { show(reader.errorText()); return; }
//     for (const StreamRecordInfo& record : reader.streamRecords()) {
//         ChunkWalker walker = reader.chunks(record);
//         for (Chunk chunk; walker.next(chunk);) { ... chunk.marker, chunk.coded ... }
//     }
//
// What is accepted: the layout the converter writes (the 78-byte header, the record list, the
// records back to back), also with the two filler bytes some writers put after the record list;
// type DATA and creator K7Q4; record 0 a 136-byte information record; records 1 and up one mono
// stream of 200-sample Frames whose records are linked through nextRecord, each holding exactly
// the chunks its StreamHeader counts. Anything else is refused with a status and one sentence
// that names the record and the file offset of the first problem found. The whole file is held
// in memory; nothing is read outside it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdb/file_blocks.h"

namespace zelvio {

/// Outcome of reading a database; 0 is success.
using ReadStatus = std::uint16_t;
/// The database is whole and consistent.
inline constexpr ReadStatus kReadOk = 0;
/// The file cannot be opened or read.
inline constexpr ReadStatus kReadCannotOpen = 1;
/// The header or the record list do not fit the file.
inline constexpr ReadStatus kReadBadLayout = 2;
/// Type and creator are not DATA and K7Q4.
inline constexpr ReadStatus kReadWrongKind = 3;
/// A record's size, tag or format is wrong.
inline constexpr ReadStatus kReadBadRecord = 4;
/// The nextRecord chain is broken.
inline constexpr ReadStatus kReadBadStream = 5;
/// Chunks overrun a record or disagree with its counts.
inline constexpr ReadStatus kReadBadChunks = 6;

/// A short English text for a status, e.g. "broken record chain"; "unknown status" otherwise.
[[nodiscard]] const char* readStatusText(ReadStatus status);

/// One chunk of a stream record.
struct Chunk {
    std::uint32_t offset = 0;             ///< file offset of the marker byte
    std::uint8_t marker = 0;              ///< 0 for audio, (level x 16) + 1 for silence
    std::span<const std::uint8_t> coded;  ///< the coded Frame after marker 0; empty for silence

    /// True for a silence chunk.
    [[nodiscard]] bool silent() const { return marker != kAudioChunkMarker; }
    /// The silence level, 0 to 8 (0 for an audio chunk).
    [[nodiscard]] std::uint8_t silenceLevel() const { return silenceLevelOf(marker); }
};

/// Steps through the chunks of one stream record, which the reader has checked already.
class ChunkWalker {
  public:
    /// A walker over bytes (the record's chunks, starting at file offset firstOffset) with
    /// audio chunks of codedBytes after their marker.
    ChunkWalker(std::span<const std::uint8_t> bytes, std::uint32_t firstOffset,
                std::uint16_t codedBytes)
        : bytes_(bytes), firstOffset_(firstOffset), codedBytes_(codedBytes) {}

    /// Puts the next chunk in chunk and returns true; false at the end of the record (or at a
    /// chunk that would overrun it, which a checked record does not have).
    [[nodiscard]] bool next(Chunk& chunk);

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint32_t firstOffset_ = 0;
    std::uint16_t codedBytes_ = 0;
    std::size_t position_ = 0;  ///< next chunk's position in bytes_
};

/// One stream record as found in the file.
struct StreamRecordInfo {
    std::uint16_t index = 0;          ///< record index, 1 to numRecords - 1
    std::uint32_t offset = 0;         ///< file offset of its StreamHeader
    StreamHeader header;              ///< its header in host order
    std::uint32_t audioChunks = 0;    ///< audio chunks (marker 0) in the record
    std::uint32_t silenceChunks = 0;  ///< silence chunks in the record

    /// All chunks in the record.
    [[nodiscard]] std::uint32_t chunks() const { return audioChunks + silenceChunks; }
};

/// Reads and checks one audio database. Holds the file's bytes after a successful read;
/// after a failed one it holds nothing but the status and errorText().
class DatabaseReader {
  public:
    /// Files larger than this are refused; 199 stream records of at most 64000 bytes stay far
    /// below it.
    static constexpr std::uint64_t kMaxFileBytes = 64u * 1024 * 1024;

    /// Reads the file at path whole and checks it. Returns kReadOk, kReadCannotOpen when it
    /// cannot be read (or is larger than kMaxFileBytes), or the status of the first problem
    /// (see parse).
    [[nodiscard]] ReadStatus open(const std::filesystem::path& path);

    /// Checks a database held in memory (copied in). Returns kReadOk, or
    /// - kReadBadLayout: shorter than its header, a record list longer than the file, no
    ///   records or more than 200, a record offset before the end of the list, out of order or
    ///   past the end of the file;
    /// - kReadWrongKind: type or creator are not DATA / K7Q4;
    /// - kReadBadRecord: record 0 is not a 136-byte information record with an ending
    ///   description, a stream record is shorter than its header, has the wrong tag, a codec or
    ///   format we do not know, a format unlike the first record's, or a recordBytes that
    ///   disagrees with its room in the file (overlapping the next record or leaving bytes over);
    /// - kReadBadStream: the nextRecord chain from record 1 points outside the stream, loops,
    ///   or leaves records out;
    /// - kReadBadChunks: a chunk overruns its record, a marker is no chunk marker, or
    ///   dataBytes or durationMs disagree with the chunks.
    [[nodiscard]] ReadStatus parse(std::span<const std::uint8_t> bytes);

    /// The outcome of the last open or parse.
    [[nodiscard]] ReadStatus status() const { return status_; }
    /// After a failure: one sentence naming the record and offset, e.g. "record 2 (offset
    /// 64144): chunk 17 at offset 65901 runs past the end of the record". Empty after success.
    [[nodiscard]] std::string_view errorText() const { return errorText_; }

    // --- What a successful read found ----------------------------------------------------

    /// The database header in host order.
    [[nodiscard]] const DatabaseHeader& header() const { return header_; }
    /// The name as stored, up to its terminator (bytes in the handheld's character set).
    [[nodiscard]] std::string name() const;
    /// The record list, one entry per record.
    [[nodiscard]] const std::vector<RecordListEntry>& recordList() const { return recordList_; }
    /// True when two filler bytes stand between the record list and record 0.
    [[nodiscard]] bool hasFiller() const { return hasFiller_; }
    /// Record 0 in host order.
    [[nodiscard]] const AudioInfoRecord& info() const { return info_; }
    /// The description as stored, up to its terminator.
    [[nodiscard]] std::string description() const;
    /// The stream records in stream order (following nextRecord from record 1).
    [[nodiscard]] const std::vector<StreamRecordInfo>& streamRecords() const {
        return streamRecords_;
    }
    /// The stream's format: the first stream record's header.
    [[nodiscard]] const StreamHeader& streamFormat() const { return streamRecords_.front().header; }
    /// Chunks in the whole stream; silence chunks among them; chunk bytes; milliseconds.
    [[nodiscard]] std::uint64_t totalChunks() const;
    [[nodiscard]] std::uint64_t totalSilenceChunks() const;
    [[nodiscard]] std::uint64_t totalDataBytes() const;
    [[nodiscard]] std::uint64_t totalDurationMs() const;
    /// The length of the file.
    [[nodiscard]] std::uint64_t fileSize() const { return bytes_.size(); }
    /// A walker over the chunks of one of streamRecords().
    [[nodiscard]] ChunkWalker chunks(const StreamRecordInfo& record) const;

  private:
    ReadStatus fail(ReadStatus status, std::string text);
    [[nodiscard]] ReadStatus checkLayout();
    [[nodiscard]] ReadStatus checkInfoRecord();
    [[nodiscard]] ReadStatus checkStreamRecord(std::uint16_t index, StreamRecordInfo& record);
    [[nodiscard]] ReadStatus checkChunks(StreamRecordInfo& record);
    [[nodiscard]] ReadStatus followChain(std::vector<StreamRecordInfo>& byIndex);
    [[nodiscard]] std::uint32_t recordEnd(std::uint16_t index) const;
    void clear();

    std::vector<std::uint8_t> bytes_;
    ReadStatus status_ = kReadCannotOpen;
    std::string errorText_ = "nothing was read";
    DatabaseHeader header_;
    std::vector<RecordListEntry> recordList_;
    bool hasFiller_ = false;
    AudioInfoRecord info_;
    std::vector<StreamRecordInfo> streamRecords_;
};

}  // namespace zelvio
