#pragma once
// Raw sample files: headerless signed 16-bit little-endian mono samples, the format of the job's
// scratch files, read and written as the resampler's mono streams.

#include <cstdint>
#include <cstdio>

#include "resample/resampler.h"

namespace zelvio {

/// Reads a raw sample file from its current position. The caller opens the file in binary mode
/// and closes it. A trailing odd byte is ignored.
class RawFileSource final : public MonoSource {
  public:
    explicit RawFileSource(std::FILE* file) : file_(file) {}
    /// Reads up to count samples; fewer at the end of the file, -1 when reading failed.
    [[nodiscard]] std::int64_t read(std::int16_t* destination, std::size_t count) override;

  private:
    std::FILE* file_;
};

/// Writes a raw sample file at the file's current position. The caller opens and closes the file.
class RawFileSink final : public MonoSink {
  public:
    explicit RawFileSink(std::FILE* file) : file_(file) {}
    /// Writes count samples; false when they could not all be written.
    [[nodiscard]] bool write(const std::int16_t* samples, std::size_t count) override;

  private:
    std::FILE* file_;
};

}  // namespace zelvio
