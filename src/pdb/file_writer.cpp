#include "pdb/file_writer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>
#include <utility>

namespace zelvio {
namespace {

/// A name no other writer in this or another process is likely to pick: a per-process random
/// number mixed with a counter. The exclusive open below settles the unlikely clash.
std::string uniqueSuffix() {
    static const std::uint64_t processSeed = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device();
    }();
    static std::atomic<std::uint64_t> counter{0};
    // splitmix64 step: spreads consecutive counts over all 64 bits.
    std::uint64_t z = processSeed + (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kHex[z & 0xF];
        z >>= 4;
    }
    return text;
}

/// Opens path for binary writing only when no file stands there yet.
std::FILE* createExclusive(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wbx");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace

FileWriter::FileWriter(std::filesystem::path target) : target_(std::move(target)) {}

FileWriter::~FileWriter() {
    discard();
}

bool FileWriter::open() {
    discard();
    failed_ = false;
    // The temporary name is the target's name behind a dot, then a unique suffix. A folder
    // takes names of at most 255 units, so a long target name is cut to leave room for the
    // 22 units added; the name is kept in the path's own encoding throughout.
    const std::filesystem::path name = target_.filename();
    std::filesystem::path stem = target_.parent_path() / ".";
    stem += name.native().substr(0, std::min<std::size_t>(name.native().size(), 200));
    // A few tries cover a name clash; a folder that cannot take a file fails every one.
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::filesystem::path candidate = stem;
        candidate += ".";
        candidate += uniqueSuffix();
        candidate += ".tmp";
        errno = 0;
        file_ = createExclusive(candidate);
        if (file_ != nullptr) {
            temporaryPath_ = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return false;
}

bool FileWriter::write(const std::uint8_t* bytes, std::size_t count) {
    if (file_ == nullptr || failed_) {
        return false;
    }
    if (count > 0 && !writeBytes(file_, bytes, count)) {
        failed_ = true;
    }
    return !failed_;
}

bool FileWriter::commit() {
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

void FileWriter::discard() {
    if (file_ != nullptr) {
        (void)closeFile(std::exchange(file_, nullptr));
    }
    if (!temporaryPath_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath_, ignored);
        temporaryPath_.clear();
    }
}

bool FileWriter::writeBytes(std::FILE* file, const std::uint8_t* bytes, std::size_t count) {
    return std::fwrite(bytes, 1, count, file) == count;
}

bool FileWriter::closeFile(std::FILE* file) {
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return flushed && closed;
}

bool FileWriter::replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}

}  // namespace zelvio
