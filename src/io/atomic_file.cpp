#include "io/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <utility>

#include "io/fault_injection.h"
#include "io/file_system.h"
#include "io/path_text.h"
#include "io/unique_file.h"

namespace zelvio {
namespace {

/// Units of the target's name kept in the temporary name. A folder takes names of at most 255
/// units; the dot in front and the 22 units behind ("." + 16 digits + ".tmp") leave room for 200.
constexpr std::size_t kKeptNameUnits = 200;

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::noteError(std::error_code error, std::string text) {
    error_ = error;
    errorText_ = std::move(text);
    if (error_) {
        errorText_ += ": ";
        errorText_ += reasonText(error_);
    }
}

bool AtomicFile::open() {
    discard();
    failed_ = false;
    error_.clear();
    errorText_.clear();
    if (isReservedName(target_)) {
        // The final move would reach the device, not a file.
        noteError({}, reservedNameText(target_));
        return false;
    }
    // The temporary name is the target's name (cut when long) behind a dot, then a unique
    // suffix; the name is kept in the path's own encoding throughout.
    const std::filesystem::path name = target_.filename();
    std::filesystem::path prefix = ".";
    prefix += name.native().substr(0, std::min(name.native().size(), kKeptNameUnits));
    prefix += ".";
    std::error_code error;
    file_ = createUniqueFile(target_.parent_path(), prefix, ".tmp", UniqueFileMode::Write,
                             temporaryPath_, error);
    if (file_ == nullptr) {
        noteError(error, "cannot create " + quotedPath(target_));
    }
    return file_ != nullptr;
}

bool AtomicFile::write(const std::uint8_t* bytes, std::size_t count) {
    if (file_ == nullptr || failed_) {
        return false;
    }
    if (count > 0 && !writeBytes(file_, bytes, count)) {
        failed_ = true;
        if (errorText_.empty()) {
            noteError(error_, "cannot write " + quotedPath(target_));
        }
    }
    return !failed_;
}

bool AtomicFile::writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
    if (file_ == nullptr || failed_) {
        return false;
    }
    // fseek takes a long: an offset past its range is refused rather than cut.
    if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
        std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
        failed_ = true;
        noteError(std::error_code(errno != 0 ? errno : EIO, std::generic_category()),
                  "cannot write " + quotedPath(target_));
        return false;
    }
    const bool written = write(bytes, count);
    if (std::fseek(file_, 0, SEEK_END) != 0 && !failed_) {
        failed_ = true;
        noteError(std::error_code(errno != 0 ? errno : EIO, std::generic_category()),
                  "cannot write " + quotedPath(target_));
    }
    return written && !failed_;
}

bool AtomicFile::commit() {
    if (file_ == nullptr) {
        return false;
    }
    if (!failed_) {
        // A replaced file's permissions, or the umask's default; the file stays private until
        // it is complete and moved into place.
        std::error_code error;
        if (!takePermissionsOf(file_, target_, error)) {
            failed_ = true;
            noteError(error, "cannot set the permissions of " + quotedPath(target_));
        }
    }
    std::FILE* file = std::exchange(file_, nullptr);
    if (failed_) {
        (void)closeFile(file);
        discard();
        return false;
    }
    error_.clear();
    if (!closeFile(file)) {
        if (errorText_.empty()) {
            noteError(error_, "cannot write " + quotedPath(target_));
        }
        discard();
        return false;
    }
    error_.clear();
    if (!replaceFile(temporaryPath_, target_)) {
        if (error_ == std::errc::file_exists) {
            noteError({}, quotedPath(target_) + " exists already");
            error_ = std::make_error_code(std::errc::file_exists);
        } else if (errorText_.empty()) {
            noteError(error_, "cannot put the new file in place as " + quotedPath(target_));
        }
        discard();
        return false;
    }
    temporaryPath_.clear();
    // The new name is on storage once the folder is; the file is in place either way, so a
    // folder that cannot be synced does not undo the save.
    std::error_code ignored;
    (void)syncFolder(target_.parent_path(), ignored);
    return true;
}

void AtomicFile::discard() {
    if (file_ != nullptr) {
        (void)closeFile(std::exchange(file_, nullptr));
    }
    if (!temporaryPath_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath_, ignored);
        temporaryPath_.clear();
    }
}

bool AtomicFile::writeBytes(std::FILE* file, const std::uint8_t* bytes, std::size_t count) {
    if (injectedFault(FileOperation::Write, error_)) {
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes, 1, count, file) != count) {
        error_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        return false;
    }
    return true;
}

bool AtomicFile::closeFile(std::FILE* file) {
    std::error_code error;
    const bool synced = syncStream(file, error);
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!synced) {
        error_ = error;
    } else if (!closed) {
        error_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    }
    return synced && closed;
}

bool AtomicFile::replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return replaceExisting_ ? publishReplacing(from, to, error_)
                            : publishWithoutReplacing(from, to, error_);
}

}  // namespace zelvio
