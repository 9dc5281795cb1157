#pragma once
// Where the bytes of a database file go as the image is written out: the image knows the file's
// layout, the sink where the bytes end up (a file beside its target, memory, a stream).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvio {

/// Takes the bytes of a file, front to back.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    /// Appends count bytes; false when they could not all be taken.
    [[nodiscard]] virtual bool write(const std::uint8_t* bytes, std::size_t count) = 0;
};

/// Collects the bytes in memory.
class MemoryByteSink final : public ByteSink {
  public:
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count) override {
        bytes_.insert(bytes_.end(), bytes, bytes + count);
        return true;
    }
    /// Everything written so far.
    [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace zelvio
