#pragma once
// Creating a file under a name no one else uses: the one place where the io room makes names.

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace zelvio {

/// How createUniqueFile opens the file it makes.
enum class UniqueFileMode {
    Write,               ///< binary, write only
    ReadWriteTemporary,  ///< binary, write and read; on Windows deleted when its last handle closes
};

/// Creates a file that did not exist before, named prefix + 16 hexadecimal digits + suffix in
/// folder, and opens it in mode. The digits come from a per-process random number mixed with a
/// counter, so that threads and processes do not pick the same name; an exclusive open settles
/// the unlikely clash, and a few fresh names are tried. The file is private: only its owner may
/// read or write it (mode 0600 on POSIX). Returns the open stream and sets path; null (path
/// untouched, error set to the system's reason) when no file could be made.
[[nodiscard]] std::FILE* createUniqueFile(const std::filesystem::path& folder,
                                          const std::filesystem::path& prefix,
                                          const std::filesystem::path& suffix, UniqueFileMode mode,
                                          std::filesystem::path& path, std::error_code& error);

}  // namespace zelvio
