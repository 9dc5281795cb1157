#include "io/file_system.h"

#include <algorithm>
#include <cerrno>

#include "io/fault_injection.h"
#include "io/path_text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <chrono>
#include <thread>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#endif

namespace zelvio {

namespace fs = std::filesystem;

namespace {

/// The error errno holds, or an I/O error when a failing call left it at 0.
std::error_code lastSystemError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

#ifdef _WIN32

/// The reasons of Windows' file calls that matter to a save, as the std::errc values portable
/// code tests for; a target another program holds open gets a category of its own, so that the
/// message says what to do about it.
class FileInUseCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "zelvio.file_in_use"; }
    std::string message(int) const override {
        return "the file is in use by another program (close it there and try again)";
    }
    std::error_condition default_error_condition(int) const noexcept override {
        return std::errc::device_or_resource_busy;
    }
};

const std::error_category& fileInUseCategory() {
    static const FileInUseCategory category;
    return category;
}

std::error_code windowsError(DWORD code) {
    switch (code) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::make_error_code(std::errc::file_exists);
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED:
            return std::make_error_code(std::errc::permission_denied);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return std::error_code(static_cast<int>(code), fileInUseCategory());
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::make_error_code(std::errc::no_space_on_device);
        case ERROR_WRITE_PROTECT:
            return std::make_error_code(std::errc::read_only_file_system);
        default:
            return std::make_error_code(std::errc::io_error);
    }
}

/// Whether an error may pass by itself: a moment's sharing violation, as when a virus scanner
/// or the indexer looks at a file just written, or another save of ours renames onto the
/// same target. An access denial is one when the target is being replaced at that moment.
bool mayPass(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED;
}

/// MoveFileExW with the given flags and MOVEFILE_WRITE_THROUGH (the call returns once the move is
/// on storage), tried again for up to about a second while the failure may pass by itself. A
/// target held open by another program then fails with the file-in-use reason; a read-only
/// target with permission denied.
bool moveFile(const fs::path& from, const fs::path& to, DWORD flags, std::error_code& error) {
    constexpr int kAttempts = 20;
    constexpr auto kPause = std::chrono::milliseconds(50);
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH) != 0) {
            return true;
        }
        code = ::GetLastError();
        if (!mayPass(code)) {
            break;
        }
        std::this_thread::sleep_for(kPause);
    }
    if (code == ERROR_ACCESS_DENIED) {
        // Denied for good: a read-only target says so in its attributes; anything else denying
        // a move (an open handle without FILE_SHARE_DELETE) is a program holding it.
        const DWORD attributes = ::GetFileAttributesW(to.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            code = ERROR_SHARING_VIOLATION;
        }
    }
    error = windowsError(code);
    return false;
}

#else

/// Closes fd when it could not be wrapped in a stream.
std::FILE* streamOf(int fd, const char* mode, std::error_code& error) {
    if (fd < 0) {
        error = lastSystemError();
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        error = lastSystemError();
        ::close(fd);
    }
    return stream;
}

/// The process's file mode creation mask. Linux states it in /proc; elsewhere it is read by
/// setting it and putting it back, once, before any file of ours is published.
mode_t processUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Umask:", 0) == 0) {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
            }
        }
        const mode_t previous = ::umask(022);
        ::umask(previous);
        return previous;
    }();
    return mask;
}

#endif

}  // namespace

std::FILE* createPrivateFile(const fs::path& path, bool readable, std::error_code& error) {
    error.clear();
    if (injectedFault(FileOperation::Open, error)) {
        return nullptr;
    }
    errno = 0;
#ifdef _WIN32
    // The folder's permissions decide who else may read it.
    std::FILE* stream = _wfopen(path.c_str(), readable ? L"w+bx" : L"wbx");
    if (stream == nullptr) {
        error = lastSystemError();
    }
    return stream;
#else
    const int flags = O_CREAT | O_EXCL | O_CLOEXEC | (readable ? O_RDWR : O_WRONLY);
    return streamOf(::open(path.c_str(), flags, S_IRUSR | S_IWUSR), readable ? "w+b" : "wb", error);
#endif
}

std::FILE* createNamelessFile(const fs::path& folder, std::error_code& error) {
    error.clear();
#if defined(O_TMPFILE) && !defined(_WIN32)
    if (injectedFault(FileOperation::Open, error)) {
        return nullptr;
    }
    errno = 0;
    return streamOf(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR),
                    "w+b", error);
#else
    (void)folder;
    error = std::make_error_code(std::errc::operation_not_supported);
    return nullptr;
#endif
}

bool syncStream(std::FILE* stream, std::error_code& error) {
    error.clear();
    if (injectedFault(FileOperation::Sync, error)) {
        return false;
    }
    errno = 0;
    if (std::fflush(stream) != 0) {
        error = lastSystemError();
        return false;
    }
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || ::FlushFileBuffers(handle) == 0) {
        error = windowsError(::GetLastError());
        return false;
    }
#else
    if (::fsync(::fileno(stream)) != 0) {
        error = lastSystemError();
        return false;
    }
#endif
    return true;
}

bool syncFolder(const fs::path& folder, std::error_code& error) {
    error.clear();
#ifdef _WIN32
    (void)folder;
    return true;
#else
    if (injectedFault(FileOperation::Sync, error)) {
        return false;
    }
    const fs::path name = folder.empty() ? fs::path(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0) {
        error = lastSystemError();
        return false;
    }
    // Some file systems cannot sync a folder and say so with EINVAL; there is nothing to do then.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (!synced) {
        error = lastSystemError();
    }
    ::close(fd);
    return synced;
#endif
}

bool takePermissionsOf(std::FILE* stream, const fs::path& model, std::error_code& error) {
    error.clear();
#ifdef _WIN32
    (void)stream;
    (void)model;
    return true;
#else
    const int fd = ::fileno(stream);
    struct stat existing {};
    mode_t mode = 0666 & ~processUmask();
    if (::stat(model.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // The owner first: changing it may clear the set-user-ID bits the mode then restores.
        // Only root may give a file away; anyone else keeps the new file as their own.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            errno = 0;
        }
        mode = existing.st_mode & 07777;
    }
    if (::fchmod(fd, mode) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
#endif
}

bool publishReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
    error.clear();
    if (injectedFault(FileOperation::Publish, error)) {
        return false;
    }
#ifdef _WIN32
    return moveFile(from, to, MOVEFILE_REPLACE_EXISTING, error);
#else
    fs::rename(from, to, error);
    return !error;
#endif
}

bool publishWithoutReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
    error.clear();
    if (injectedFault(FileOperation::Publish, error)) {
        return false;
    }
#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING the move fails, in one step, when anything stands at to.
    return moveFile(from, to, 0, error);
#else
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    errno = 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) {
        error = lastSystemError();
        return false;
    }
#endif
    // A hard link cannot replace anything either; the temporary name then goes.
    errno = 0;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK &&
        errno != ENOSYS) {
        error = lastSystemError();
        return false;
    }
    // Neither: check, then rename. Another process could still slip in between the two.
    if (entryExists(to)) {
        error = std::make_error_code(std::errc::file_exists);
        return false;
    }
    fs::rename(from, to, error);
    return !error;
#endif
}

bool entryExists(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error) {
        return error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory;
    }
    return status.type() != fs::file_type::not_found;
}

bool isWindowsDeviceName(const fs::path& name) {
    // The part before the first dot, without the spaces that may end it, in upper case.
    const std::u8string whole = name.filename().u8string();
    std::string base(whole.begin(), std::find(whole.begin(), whole.end(), u8'.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    for (char& c : base) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '0' && base[3] <= '9';
}

bool isReservedName(const fs::path& path) {
#ifdef _WIN32
    return isWindowsDeviceName(path);
#else
    (void)path;
    return false;
#endif
}

std::string reservedNameText(const fs::path& path) {
    return quotedPath(path.filename()) + " is a device name Windows reserves: choose another name";
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const bool same = fs::equivalent(a, b, error);
    return !error && same;
}

std::string reasonText(const std::error_code& error) {
    return error.message();
}

}  // namespace zelvio
