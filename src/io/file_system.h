#pragma once
// The few file system calls that differ between systems, each behind one small function: private
// files, making written data durable, publishing a finished file under its name with or without
// replacing what stands there, and what a path names. POSIX systems get the real calls; elsewhere
// each has a portable fallback through std::filesystem, noted where it is weaker.
//
// Every function reports failure through a std::error_code holding the system's reason, so that
// messages can say "No space left on device" rather than only "cannot write".

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace zelvio {

/// Creates a new file at path that no one else can read or write (mode 0600 on POSIX), failing
/// when anything stands there already (a dangling symbolic link included), and opens it for
/// writing (and reading, when readable) in binary mode. Null with error set on failure.
[[nodiscard]] std::FILE* createPrivateFile(const std::filesystem::path& path, bool readable,
                                           std::error_code& error);

/// Opens a nameless private file in folder for writing and reading, where the system can make
/// one (Linux's O_TMPFILE): it never has a name another user could open, and goes when it is
/// closed. Null (error set) where the system or the folder's file system cannot.
[[nodiscard]] std::FILE* createNamelessFile(const std::filesystem::path& folder,
                                            std::error_code& error);

/// Writes out what the stream buffers and asks the system to put the file's data on its storage
/// (fsync; FlushFileBuffers on Windows). False with error set when either fails.
[[nodiscard]] bool syncStream(std::FILE* stream, std::error_code& error);

/// Asks the system to put folder's entries on storage (fsync of the folder), so that a file just
/// renamed into it keeps its new name after a power cut. Does nothing where folders cannot be
/// synced (Windows); false with error set when the system refuses.
[[nodiscard]] bool syncFolder(const std::filesystem::path& folder, std::error_code& error);

/// Gives the file open as stream the permissions (and, where allowed, the owner and group) of the
/// file at model, found without following a final symbolic link; when nothing stands at model,
/// the permissions a new file gets under the process's umask (0666 less the umask). False with
/// error set when the permissions cannot be set (a failure to change the owner is ignored, as
/// editors ignore it).
[[nodiscard]] bool takePermissionsOf(std::FILE* stream, const std::filesystem::path& model,
                                     std::error_code& error);

/// Puts the file at from in place of to, replacing what stood at to (a rename; on Windows
/// MoveFileExW with MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH, tried again for a
/// moment while the target is in use). False with error set on failure, from then unchanged; a
/// target another program holds open gives a reason saying so.
[[nodiscard]] bool publishReplacing(const std::filesystem::path& from,
                                    const std::filesystem::path& to, std::error_code& error);

/// Puts the file at from at to only when nothing stands at to, in one step that another process
/// cannot slip a file into (renameat2 with RENAME_NOREPLACE, else a hard link and the removal of
/// from; on Windows MoveFileExW without MOVEFILE_REPLACE_EXISTING). Where the file system has
/// none of these, it checks and renames, which leaves a short window.
/// When something stands at to, error is std::errc::file_exists and nothing changes.
[[nodiscard]] bool publishWithoutReplacing(const std::filesystem::path& from,
                                           const std::filesystem::path& to, std::error_code& error);

/// True when something stands at path, a symbolic link counting as itself (a link pointing at
/// nothing exists). Errors other than "not found" count as existing, so that a check never lets a
/// write go ahead it cannot see.
[[nodiscard]] bool entryExists(const std::filesystem::path& path);

/// True when name (the last part of a path) is one Windows keeps for a device, on any system:
/// CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, CONIN$ and CONOUT$, in any case, with any
/// extension and with spaces before it ("aux.pdb", "Nul", "com1 .txt").
[[nodiscard]] bool isWindowsDeviceName(const std::filesystem::path& name);

/// True when this system cannot give a file path's name because it names a device: on Windows
/// isWindowsDeviceName of its last part; never elsewhere. Writers refuse such a target before
/// they write anything.
[[nodiscard]] bool isReservedName(const std::filesystem::path& path);

/// The message for such a target: "\"aux.pdb\" is a device name Windows reserves: choose
/// another name".
[[nodiscard]] std::string reservedNameText(const std::filesystem::path& path);

/// True when a and b name the same existing file (the same device and file number), through any
/// path, symbolic link or hard link.
[[nodiscard]] bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

/// The system's words for an error: "No space left on device".
[[nodiscard]] std::string reasonText(const std::error_code& error);

}  // namespace zelvio
