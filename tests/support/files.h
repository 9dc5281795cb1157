// Files in tests: a scratch folder that cleans up after itself, whole-file reads and writes, and
// pointing the system's temporary folder (TMPDIR, TMP on Windows) somewhere a test can watch.
//
//     TempDirectory dir;
//     const auto path = dir.write("input.wav", bytes);
//     EXPECT_EQ(readFileBytes(dir / "out.pdb"), expected);
//     EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.pdb"});
//
// Header-only, so that any test program can include it without linking more.
#pragma once

#include <stdlib.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace zelvio::test_support {

/// The variable that names the system's temporary folder: TMPDIR on POSIX; on Windows TMP, the
/// first one GetTempPathW (and so std::filesystem::temp_directory_path) looks at.
#ifdef _WIN32
inline constexpr const char* kTemporaryFolderVariable = "TMP";
inline void setEnvironment(const char* name, const std::string& value) {
    (void)::_putenv_s(name, value.c_str());
}
inline void unsetEnvironment(const char* name) {
    (void)::_putenv_s(name, "");  // an empty value removes the variable
}
#else
inline constexpr const char* kTemporaryFolderVariable = "TMPDIR";
inline void setEnvironment(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}
inline void unsetEnvironment(const char* name) {
    ::unsetenv(name);
}
#endif

/// Opens a pipe: ends[0] reads, ends[1] writes (binary on Windows). 0 on success, as pipe().
inline int makePipe(int ends[2]) {
#ifdef _WIN32
    return ::_pipe(ends, 4096, _O_BINARY);
#else
    return ::pipe(ends);
#endif
}

using Bytes = std::vector<std::uint8_t>;

/// The whole file at path; empty when it cannot be read.
inline Bytes readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The whole file at path as text.
inline std::string readText(const std::filesystem::path& path) {
    const Bytes bytes = readFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

/// Writes bytes as the whole file at path.
inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

/// A fresh empty folder under the system's temporary folder, removed with everything in it when
/// the object ends.
class TempDirectory {
  public:
    TempDirectory() {
        static std::atomic<int> counter{0};
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ =
                base / ("zelvio-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    /// The path of name in the folder.
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

    /// Writes bytes to a file of that name in the folder and returns its path.
    std::filesystem::path write(std::string_view name, const Bytes& bytes) const {
        const auto file = path_ / name;
        writeFile(file, bytes);
        return file;
    }

    /// Names of the entries in the folder, sorted.
    [[nodiscard]] std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path path_;
};

/// Points TMPDIR, where scratch files go, at an empty folder of its own for as long as it lives,
/// so that a test can see what is left there.
class TemporaryFolderOverride {
  public:
    TemporaryFolderOverride() : folder_(base_.path() / "tmp") {
        std::filesystem::create_directory(folder_);
        const char* old = std::getenv(kTemporaryFolderVariable);
        saved_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setEnvironment(kTemporaryFolderVariable, folder_.string());
    }
    ~TemporaryFolderOverride() {
        if (saved_) {
            setEnvironment(kTemporaryFolderVariable, *saved_);
        } else {
            unsetEnvironment(kTemporaryFolderVariable);
        }
    }
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return folder_; }
    /// True while nothing is in the folder.
    [[nodiscard]] bool empty() const { return std::filesystem::is_empty(folder_); }

  private:
    TempDirectory base_;
    std::filesystem::path folder_;
    std::optional<std::string> saved_;
};

}  // namespace zelvio::test_support
