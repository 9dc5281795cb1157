#pragma once
// A private temporary file for intermediate data, gone however the process ends.

#include <cstdio>
#include <filesystem>

namespace zelvio {

/// A scratch file in the system's temporary folder (TMPDIR). It is created exclusively under a
/// fresh name, so that runs side by side never share one, and opened for writing and reading
/// through one stream. Where the system allows it the name is removed at once, so that the file
/// goes with the process however that ends (Ctrl-C, a kill, a crash); elsewhere the file is
/// marked temporary and is also removed when the ScratchFile ends.
///
///     ScratchFile scratch;
///     if (!scratch.create("1")) { ... }
///     std::fwrite(..., scratch.stream());
///     if (!scratch.rewindForReading()) { ... }
///     std::fread(..., scratch.stream());
class ScratchFile {
  public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    /// Closes and removes the file.
    ~ScratchFile() { remove(); }

    /// Creates the file, its name ending in tag, and opens it for writing and reading. Returns
    /// false when no file could be made.
    [[nodiscard]] bool create(const char* tag);
    /// The open stream (binary, read and write), or null before create() and after remove().
    [[nodiscard]] std::FILE* stream() const { return file_; }
    /// Writes out what is buffered and goes back to the start. Returns false when the buffered
    /// data could not be written or an earlier write failed.
    [[nodiscard]] bool rewindForReading();
    /// Closes and removes the file; nothing happens when there is none.
    void remove();

  private:
    std::filesystem::path path_;  ///< set only while a name is left to remove
    std::FILE* file_ = nullptr;   ///< the open stream, or null
};

}  // namespace zelvio
