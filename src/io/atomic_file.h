#pragma once
// Writing one file whole or not at all: the bytes go to a private temporary file beside the
// target, which is put in the target's place only once it is complete and on storage.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace zelvio {

/// Writes a file through a temporary file beside it: open() creates a new temporary file with a
/// unique name in the target's folder, readable by its owner only (mode 0600), write() appends to
/// it, and commit() gives it its final permissions, puts its data on storage (fsync), closes it,
/// moves it to the target's name and syncs the folder, so that after a power cut the target is
/// either the old file or the whole new one. Until commit() succeeds the target is not touched;
/// after any failure, or when the file is destroyed uncommitted, the temporary file is removed.
/// The temporary name fits in a folder whatever the length of the target's name.
///
/// Replacing: by default commit() replaces whatever stands at the target (the last of two
/// writers wins). A replaced file's permissions carry over to the new file, and its owner and
/// group too where the system allows (as root); a new file gets the umask's default (0666 less
/// the umask). Like an editor's save, the new file is a new file: other hard links to the old
/// one keep the old contents, and a symbolic link at the target is itself replaced. With
/// setReplaceExisting(false) commit() fails, leaving nothing behind, when anything stands at the
/// target by then (a dangling symbolic link too), even a file another process made a moment
/// earlier.
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

    /// Whether commit() may replace a file at the target (true until set otherwise).
    void setReplaceExisting(bool replace) { replaceExisting_ = replace; }

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
    /// After a failure: the system's reason (std::errc::file_exists when commit() found a file
    /// it may not replace). Empty when the failing step gave none.
    [[nodiscard]] const std::error_code& error() const { return error_; }
    /// True when the last commit() failed because something stands at the target and
    /// setReplaceExisting(false) was given.
    [[nodiscard]] bool targetExisted() const { return error_ == std::errc::file_exists; }
    /// After a failure: one sentence with the path and the system's reason, e.g. "cannot write
    /// \"memo.pdb\": No space left on device". Empty before any failure.
    [[nodiscard]] const std::string& errorText() const { return errorText_; }

  protected:
    /// Writes count bytes to file; true when all were written.
    [[nodiscard]] virtual bool writeBytes(std::FILE* file, const std::uint8_t* bytes,
                                          std::size_t count);
    /// Flushes file, puts its data on storage and closes it (always closing it); true when all
    /// succeeded.
    [[nodiscard]] virtual bool closeFile(std::FILE* file);
    /// Moves from to to, replacing a file at to unless setReplaceExisting(false) was given; true
    /// on success.
    [[nodiscard]] virtual bool replaceFile(const std::filesystem::path& from,
                                           const std::filesystem::path& to);
    /// Records the reason of a failing step (for error() and errorText()).
    void noteError(std::error_code error, std::string text);

  private:
    std::filesystem::path target_;         ///< the file to write
    std::filesystem::path temporaryPath_;  ///< the temporary file while it exists
    std::FILE* file_ = nullptr;            ///< the open temporary file, or null
    bool failed_ = false;                  ///< a write has failed since open()
    bool replaceExisting_ = true;          ///< commit() may replace a file at the target
    std::error_code error_;                ///< the reason of the last failure
    std::string errorText_;                ///< the sentence for the last failure
};

}  // namespace zelvio
