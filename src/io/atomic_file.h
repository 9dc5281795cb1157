#pragma once
// Writing one file whole or not at all: the bytes go to a temporary file beside the target, which
// is renamed over the target only once it is complete.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace zelvio {

/// Writes a file through a temporary file beside it: open() creates a new temporary file with a
/// unique name in the target's folder, write() appends to it, and commit() flushes and closes it
/// and renames it over the target. Until commit() succeeds the target is not touched; after any
/// failure, or when the file is destroyed uncommitted, the temporary file is removed. Two
/// writers may work in the same folder at the same time, even on the same target (the last
/// commit wins). The temporary name fits in a folder whatever the length of the target's name.
///
///     AtomicFile file(path);
///     if (!file.open() || !file.write(bytes, count) || !file.commit()) { /* target untouched */ }
///
/// The protected operations are the only places that touch the file system; a test derives from
/// the class to make one of them fail.
class AtomicFile {
  public:
    /// A file that will replace target; nothing is created yet.
    explicit AtomicFile(std::filesystem::path target);
    /// Discards an uncommitted temporary file.
    virtual ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file (an open one is discarded first). Returns false when it cannot
    /// be created (missing folder, no permission); nothing is then left behind.
    [[nodiscard]] bool open();
    /// Appends count bytes. Returns false when they could not all be written; every later write
    /// and the commit then fail too.
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count);
    /// Overwrites count bytes at offset (which must lie within what was written) and goes back
    /// to the end, so that a header can be completed once its sizes are known. Fails as write()
    /// does.
    [[nodiscard]] bool writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count);
    /// Flushes and closes the temporary file and renames it over the target. Returns true only
    /// when all of the file's bytes were written and it now stands at the target's path; on false
    /// the temporary file is gone and an earlier file at the target is as it was.
    [[nodiscard]] bool commit();
    /// Closes and removes the temporary file, if any; the target is not touched.
    void discard();

    /// True between a successful open() and commit() or discard().
    [[nodiscard]] bool isOpen() const { return file_ != nullptr; }
    /// The target path given at construction.
    [[nodiscard]] const std::filesystem::path& target() const { return target_; }
    /// The temporary file's path while open; empty before open() and after commit or discard.
    [[nodiscard]] const std::filesystem::path& temporaryPath() const { return temporaryPath_; }

  protected:
    /// Writes count bytes to file; true when all were written.
    [[nodiscard]] virtual bool writeBytes(std::FILE* file, const std::uint8_t* bytes,
                                          std::size_t count);
    /// Flushes and closes file (always closing it); true when both succeeded.
    [[nodiscard]] virtual bool closeFile(std::FILE* file);
    /// Renames from over to, replacing a file at to; true on success.
    [[nodiscard]] virtual bool replaceFile(const std::filesystem::path& from,
                                           const std::filesystem::path& to);

  private:
    std::filesystem::path target_;         ///< the file to write
    std::filesystem::path temporaryPath_;  ///< the temporary file while it exists
    std::FILE* file_ = nullptr;            ///< the open temporary file, or null
    bool failed_ = false;                  ///< a write has failed since open()
};

}  // namespace zelvio
