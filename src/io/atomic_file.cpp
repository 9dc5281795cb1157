#include "io/atomic_file.h"

#include <algorithm>
#include <climits>
#include <system_error>
#include <utility>

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

bool AtomicFile::open() {
    discard();
    failed_ = false;
    // The temporary name is the target's name (cut when long) behind a dot, then a unique
    // suffix; the name is kept in the path's own encoding throughout.
    const std::filesystem::path name = target_.filename();
    std::filesystem::path prefix = ".";
    prefix += name.native().substr(0, std::min(name.native().size(), kKeptNameUnits));
    prefix += ".";
    file_ = createUniqueFile(target_.parent_path(), prefix, ".tmp", UniqueFileMode::Write,
                             temporaryPath_);
    return file_ != nullptr;
}

bool AtomicFile::write(const std::uint8_t* bytes, std::size_t count) {
    if (file_ == nullptr || failed_) {
        return false;
    }
    if (count > 0 && !writeBytes(file_, bytes, count)) {
        failed_ = true;
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
        return false;
    }
    const bool written = write(bytes, count);
    if (std::fseek(file_, 0, SEEK_END) != 0) {
        failed_ = true;
    }
    return written && !failed_;
}

bool AtomicFile::commit() {
    if (file_ == nullptr) {
        return false;
    }
    std::FILE* file = std::exchange(file_, nullptr);
    const bool closed = closeFile(file);
    if (failed_ || !closed || !replaceFile(temporaryPath_, target_)) {
        discard();
        return false;
    }
    temporaryPath_.clear();
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
    return std::fwrite(bytes, 1, count, file) == count;
}

bool AtomicFile::closeFile(std::FILE* file) {
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return flushed && closed;
}

bool AtomicFile::replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}

}  // namespace zelvio
