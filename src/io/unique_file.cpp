#include "io/unique_file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string>

#include "io/file_system.h"

namespace zelvio {
namespace {

/// 16 hexadecimal digits no other caller in this or another process is likely to get: a
/// per-process random number mixed with a counter.
std::string uniqueDigits() {
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

/// Opens path only when no file stands there yet.
std::FILE* openExclusive(const std::filesystem::path& path, UniqueFileMode mode,
                         std::error_code& error) {
#ifdef _WIN32
    if (mode == UniqueFileMode::ReadWriteTemporary) {
        // "D": the system deletes the file when its last handle closes.
        errno = 0;
        std::FILE* file = _wfopen(path.c_str(), L"w+bxD");
        error =
            file != nullptr ? std::error_code() : std::error_code(errno, std::generic_category());
        return file;
    }
#endif
    return createPrivateFile(path, mode != UniqueFileMode::Write, error);
}

}  // namespace

std::FILE* createUniqueFile(const std::filesystem::path& folder,
                            const std::filesystem::path& prefix,
                            const std::filesystem::path& suffix, UniqueFileMode mode,
                            std::filesystem::path& path, std::error_code& error) {
    // A few tries cover a name clash; a folder that cannot take a file fails every one.
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::filesystem::path candidate = folder / prefix;
        candidate += uniqueDigits();
        candidate += suffix;
        if (std::FILE* file = openExclusive(candidate, mode, error)) {
            path = std::move(candidate);
            return file;
        }
        if (error != std::errc::file_exists) {
            break;
        }
    }
    return nullptr;
}

}  // namespace zelvio
