#pragma once
// One database record: a heap block that the buffer owns and the record's length in bytes.

#include <cstdint>
#include <memory>
#include <span>

#include "pdb/db_status.h"

namespace zelvio {

/// Counts the heap bytes that a set of record buffers holds and refuses to let it pass a limit.
/// A refused reservation is handled exactly like a heap that has run out, so the limit also
/// serves to exercise the out-of-memory paths. The default limit is "no limit".
class MemoryBudget {
  public:
    /// Sets the most bytes the buffers may hold together; holdings above it stay until freed.
    void setLimit(std::uint64_t limitBytes) { limitBytes_ = limitBytes; }
    /// The bytes the buffers hold now.
    [[nodiscard]] std::uint64_t heldBytes() const { return heldBytes_; }
    /// Takes count bytes from the budget; false (and nothing taken) when that would pass the limit.
    [[nodiscard]] bool reserve(std::uint64_t count);
    /// Gives count bytes back.
    void release(std::uint64_t count) { heldBytes_ -= count; }

  private:
    std::uint64_t limitBytes_ = UINT64_MAX;  ///< most bytes that may be held
    std::uint64_t heldBytes_ = 0;            ///< bytes held now
};

/// The contents of one record. The record's length (`size`) is what the file holds for it; the
/// heap block may be larger (`capacity`), so that a record grown one chunk at a time is not
/// copied on every append. Contents are kept in the file's byte order. Bytes that a resize adds
/// read 0 until written.
class RecordBuffer {
  public:
    /// Below this capacity a growing buffer doubles its block; past it a block is made exactly as
    /// large as asked, so a stream record (at most 64000 bytes unless one chunk is longer) never
    /// holds more than a few spare bytes once full.
    static constexpr std::uint32_t kGrowthCeiling = 64000;

    /// An empty buffer whose heap use is counted against budget (none: not counted).
    explicit RecordBuffer(MemoryBudget* budget = nullptr) : budget_(budget) {}
    ~RecordBuffer();
    RecordBuffer(RecordBuffer&& other) noexcept;
    RecordBuffer& operator=(RecordBuffer&& other) noexcept;
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    /// Sets the record's length. Shrinking keeps the block and its first `size` bytes. Growing
    /// keeps the first (old) `size` bytes and zeroes the rest; it may move the contents to a new
    /// block. Returns kDbOk, or kDbMemoryFull when no block of the new length can be had; the
    /// buffer then keeps its old block, contents and length.
    [[nodiscard]] DbStatus resize(std::uint32_t size);
    /// Moves the contents to a block of exactly `size` bytes, giving spare capacity back. When
    /// that block cannot be had the buffer stays as it was (it is still whole).
    void shrinkToFit();

    /// The record's length in bytes.
    [[nodiscard]] std::uint32_t size() const { return size_; }
    /// The length of the heap block (at least `size`).
    [[nodiscard]] std::uint32_t capacity() const { return capacity_; }
    /// The record's bytes (null while the block is empty).
    [[nodiscard]] std::uint8_t* data() { return bytes_.get(); }
    [[nodiscard]] const std::uint8_t* data() const { return bytes_.get(); }
    /// The record's `size` bytes.
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return {bytes_.get(), size_}; }

  private:
    /// Replaces the block by one of newCapacity bytes holding the first keepBytes bytes; false
    /// (nothing changed) when the budget or the heap refuses it.
    [[nodiscard]] bool reallocate(std::uint32_t newCapacity, std::uint32_t keepBytes);
    void freeBlock();

    std::unique_ptr<std::uint8_t[]> bytes_;  ///< heap block of `capacity_` bytes, or null
    std::uint32_t size_ = 0;                 ///< record length in bytes
    std::uint32_t capacity_ = 0;             ///< heap block length in bytes
    MemoryBudget* budget_ = nullptr;         ///< where heap use is counted; not owned
};

}  // namespace zelvio
