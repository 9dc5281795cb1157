#include "io/file_system.h"

#include <cerrno>

#include "io/fault_injection.h"

#ifdef _WIN32
#include <io.h>
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

#ifndef _WIN32

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
    if (::_commit(::_fileno(stream)) != 0) {
        error = lastSystemError();
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
    fs::rename(from, to, error);
    return !error;
}

bool publishWithoutReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
    error.clear();
    if (injectedFault(FileOperation::Publish, error)) {
        return false;
    }
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
#ifndef _WIN32
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
#endif
    // Neither: check, then rename. Another process could still slip in between the two.
    if (entryExists(to)) {
        error = std::make_error_code(std::errc::file_exists);
        return false;
    }
    fs::rename(from, to, error);
    return !error;
}

bool entryExists(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error) {
        return error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory;
    }
    return status.type() != fs::file_type::not_found;
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
