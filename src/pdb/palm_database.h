#pragma once
// The audio database image: a Palm OS record database held in memory while a conversion fills
// it, and written out at the end as one .pdb file.
//
//     PalmDatabase db;
//     (void)db.create(title, description, "", 1);          // header and record 0
//     db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Adpcm4), 200);
//     for (each Frame) (void)db.appendChunk(0, length, chunk);   // records 1, 2, ...
//     MemoryByteSink image;                                  // or a file: see saveDatabase()
//     if (db.writeImage(image) != kDbOk) { /* the file's bytes could not all be written */ }
//
// File layout: the 78-byte header, an 8-byte list entry for each record, then the records back
// to back in index order. Every number is big-endian. Record 0 is the 136-byte AudioInfoRecord;
// records 1 to at most 199 hold one audio stream, each a 32-byte StreamHeader followed by
// chunks, at most 64000 bytes unless a single chunk is longer than 63968 bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "pdb/byte_sink.h"
#include "pdb/db_status.h"
#include "pdb/file_blocks.h"
#include "pdb/record_buffer.h"

namespace zelvio {

/// One of the database's record places.
struct RecordSlot {
    std::uint32_t offset = 0;                ///< file offset of the record, set by writeImage()
    std::uint8_t attributes = 0;             ///< record attributes (always 0)
    std::array<std::uint8_t, 3> uniqueID{};  ///< record unique ID (always 0)
    std::optional<RecordBuffer> record;      ///< the contents; empty while no record was made
};

/// Where a stream is being filled.
struct StreamCursor {
    std::uint16_t currentRecord = 0;  ///< stream record being filled; 0 before startStream()
    std::uint32_t bytesUsed = 0;      ///< chunk bytes in that record (its dataBytes)
    std::uint32_t chunksStored = 0;   ///< chunks the stream has taken, over all its records
    DbStatus stoppedBy = kDbOk;       ///< why the stream takes no more chunks; kDbOk while it does
};

/// A record operation's outcome: the status and, when there is one, the record.
struct RecordResult {
    DbStatus status = kDbOk;         ///< kDbOk, or why there is no record / it was not changed
    RecordBuffer* record = nullptr;  ///< the record, or null; owned by the image
};

/// The in-memory database: header, 200 record slots and six stream cursors. It owns its record
/// buffers and frees them when destroyed. Slots are filled from 0 upward and never emptied.
/// Not copyable or movable: the job keeps it in one place for the whole run.
class PalmDatabase {
  public:
    static constexpr std::uint16_t kMaxRecords = kMaxDatabaseRecords;  ///< indexes 0 to 199
    static constexpr std::uint16_t kStreamCount = 6;                   ///< stream cursors 0 to 5
    static constexpr std::uint32_t kMaxStreamRecordBytes = 64000;  ///< unless one chunk is longer
    static constexpr std::size_t kMaxTitleBytes = DatabaseHeader::kNameBytes - 1;  ///< 31
    static constexpr std::size_t kMaxTextBytes = AudioInfoRecord::kTextBytes - 1;  ///< 63

    /// An empty image: empty name, every header number 0, no records.
    PalmDatabase() = default;
    PalmDatabase(const PalmDatabase&) = delete;
    PalmDatabase& operator=(const PalmDatabase&) = delete;

    // --- The record database ---------------------------------------------------------------

    /// Gives the header its creation values (version 16, the fixed dates, type DATA, creator
    /// K7Q4) and the name; name bytes past 31 or after a NUL are not stored. numRecords keeps
    /// counting the records that exist (0 on an image that holds none, as when create() calls
    /// this).
    void initHeader(std::string_view name);
    /// Makes record index with size bytes (zeroed). A filled slot gives back its record as it
    /// is, size unchanged. Status kDbIndexOutOfRange for index 200 or more, kDbMemoryFull when
    /// the buffer cannot be allocated (the slot then stays empty).
    [[nodiscard]] RecordResult newRecord(std::uint16_t index, std::uint32_t size);
    /// The record at index: kDbIndexOutOfRange for 200 or more, kDbRecordNotFound for an empty
    /// slot.
    [[nodiscard]] RecordResult getRecord(std::uint16_t index);
    /// Resizes the record at index (RecordBuffer::resize). The record comes back also when the
    /// status is kDbMemoryFull, unchanged; null with kDbIndexOutOfRange or kDbRecordNotFound.
    [[nodiscard]] RecordResult resizeRecord(std::uint16_t index, std::uint32_t size);
    /// Copies length bytes from source into record at position. kDbNullPointer for a null
    /// source (with length > 0) and kDbIndexOutOfRange when the bytes would pass the record's
    /// end; nothing is copied then.
    [[nodiscard]] static DbStatus writeRecord(RecordBuffer& record, std::uint32_t position,
                                              const std::uint8_t* source, std::uint32_t length);
    /// Copies length bytes in ascending order; kDbNullPointer (nothing copied) when destination
    /// or source is null, even for length 0.
    [[nodiscard]] static DbStatus copyBytes(std::uint8_t* destination, const std::uint8_t* source,
                                            std::uint32_t length);
    /// kDbOk when the slot at index holds a record, kDbRecordNotFound when it is empty,
    /// kDbIndexOutOfRange for 200 or more. Changes nothing.
    [[nodiscard]] DbStatus releaseRecord(std::uint16_t index) const;
    /// Writes the database file's bytes to sink, front to back: the header, the record list and
    /// the records, one sink write for each. Sets each slot's offset. Returns kDbOk, or
    /// kDbCannotCreate when the file would pass 4 GiB (record offsets are 32-bit; nothing is
    /// written then) or the sink refused bytes (writing stops there).
    [[nodiscard]] DbStatus writeImage(ByteSink& sink);
    /// The length of the file that writeImage() writes.
    [[nodiscard]] std::uint64_t fileSize() const;

    // --- The audio records -----------------------------------------------------------------

    /// Sets up the header with title and makes record 0, the AudioInfoRecord with description,
    /// extraText and infoNumber. Texts are bytes in the handheld's character set; title bytes
    /// past 31, text bytes past 63 and anything after a NUL are not stored. Returns kDbOk, or
    /// kDbRecordNotFound / kDbMemoryFull when record 0 could not be made for lack of memory.
    [[nodiscard]] DbStatus create(std::string_view title, std::string_view description,
                                  std::string_view extraText, std::uint16_t infoNumber);
    /// Makes record 1, the first record of stream 0, with these format numbers, and points all
    /// six cursors at it. sampleRate 0 gives chunks no duration.
    void startStream(std::uint16_t channels, std::uint16_t sampleRate, std::uint16_t frameMs,
                     std::uint16_t bytesPerSample, std::uint16_t codec,
                     std::uint16_t samplesPerFrame);
    /// Makes stream record index: a StreamHeader with these numbers, nextRecord 0, no chunks.
    /// Returns releaseRecord(index): kDbOk, kDbIndexOutOfRange (200 or more) or
    /// kDbRecordNotFound (no memory for it).
    [[nodiscard]] DbStatus newStreamRecord(std::uint16_t index, std::uint16_t streamId,
                                           std::uint16_t channels, std::uint16_t sampleRate,
                                           std::uint16_t frameMs, std::uint16_t bytesPerSample,
                                           std::uint16_t codec, std::uint16_t samplesPerFrame);
    /// Stores one chunk of length bytes at the end of stream's current record, first opening
    /// the next record when the chunk would take the current one past 64000 bytes; the record's
    /// StreamHeader then counts the bytes and one Frame's duration. Returns kDbOk, or, with
    /// nothing stored:
    /// - kDbIndexOutOfRange: the stream needs record 200 (the database is full; isFull()), or
    ///   stream is 6 or more;
    /// - kDbRecordNotFound: no stream was started, or the next record could not be made for
    ///   lack of memory;
    /// - kDbMemoryFull: the record could not be enlarged;
    /// - kDbNullPointer: bytes is null and length is not 0 (the stream goes on).
    /// After any of the first three the stream takes no more chunks and every later call gives
    /// the same status, so the stored chunks are always the stream's beginning.
    [[nodiscard]] DbStatus appendChunk(std::uint16_t stream, std::uint16_t length,
                                       const std::uint8_t* bytes);
    /// True once a chunk was refused because its stream ran out of records.
    [[nodiscard]] bool isFull() const { return full_; }

    // --- Accessors -------------------------------------------------------------------------

    /// The header in host order; its numRecords counts the records that exist.
    [[nodiscard]] const DatabaseHeader& header() const { return header_; }
    /// The number of records.
    [[nodiscard]] std::uint16_t numRecords() const { return header_.numRecords; }
    /// The slot at index (0 to 199).
    [[nodiscard]] const RecordSlot& slot(std::uint16_t index) const { return slots_.at(index); }
    /// Cursor stream (0 to 5).
    [[nodiscard]] const StreamCursor& cursor(std::uint16_t stream) const {
        return cursors_.at(stream);
    }
    /// Heap bytes the record buffers hold together (their capacities).
    [[nodiscard]] std::uint64_t heapBytes() const { return budget_.heldBytes(); }
    /// Lets the record buffers hold at most limitBytes together; a record that would pass it
    /// cannot be made or enlarged, as when memory runs out.
    void setMemoryLimit(std::uint64_t limitBytes) { budget_.setLimit(limitBytes); }

  private:
    /// Refuses every later chunk of cursor with status.
    DbStatus stopStream(StreamCursor& cursor, DbStatus status);

    DatabaseHeader header_;                           ///< in host order
    MemoryBudget budget_;                             ///< counts what the slots' buffers hold
    std::array<RecordSlot, kMaxRecords> slots_;       ///< records 0 to 199
    std::array<StreamCursor, kStreamCount> cursors_;  ///< streams 0 to 5
    bool full_ = false;                               ///< a stream ran out of records
};

}  // namespace zelvio
