#pragma once
// A private temporary file for intermediate data, gone however the process ends.

#include <cstdio>
#include <filesystem>
#include <string>

namespace zelvio {

/// A scratch file in the system's temporary folder (TMPDIR), private to its owner: where the
/// system can, it never has a name at all (Linux's O_TMPFILE), so no one watching the folder can
/// open it; otherwise it is created exclusively under a fresh name with mode 0600 and the name is
/// removed at once. Either way the file goes with the process however that ends (Ctrl-C, a kill,
/// a crash). Where names cannot be removed from open files (Windows) the file is marked temporary
/// and is also removed when the ScratchFile ends. It is opened for writing and reading through
/// one stream.
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

    /// Creates the file, its name (while it has one) ending in tag, and opens it for writing and
    /// reading. Returns false when no file could be made; errorText() then says where and why.
    [[nodiscard]] bool create(const char* tag);
    /// After a failed create(): the folder and the system's reason, e.g. "cannot create a
    /// scratch file in \"/tmp\": No space left on device". Empty otherwise.
    [[nodiscard]] const std::string& errorText() const { return errorText_; }
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
    std::string errorText_;
};

}  // namespace zelvio
