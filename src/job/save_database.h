#pragma once
// Saving a database image as a file, whole or not at all.

#include <filesystem>

#include "io/atomic_file.h"
#include "job/stop_token.h"
#include "pdb/palm_database.h"

namespace zelvio {

/// Writes the database file at path through an AtomicFile: the bytes go to a temporary file
/// beside it, which replaces path only once it is complete. Sets each slot's offset. Returns
/// kDbOk, or kDbCannotCreate when the file could not be created or written whole; a file that
/// stood at path before is then untouched and nothing new is left behind.
[[nodiscard]] DbStatus saveDatabase(PalmDatabase& database, const std::filesystem::path& path);

/// The same through a given file that has not been opened yet (a test makes its writes fail).
/// When stop is given and a stop is requested before the rename, the temporary file is removed
/// and the result is kDbCannotCreate.
[[nodiscard]] DbStatus saveDatabase(PalmDatabase& database, AtomicFile& file,
                                    const StopToken* stop = nullptr);

/// Writes the database's image to file, opened here, without committing it: the caller commits
/// (or discards) it later. kDbCannotCreate when the file could not be created or written whole,
/// or a stop was requested; the temporary file is then removed.
[[nodiscard]] DbStatus writeDatabase(PalmDatabase& database, AtomicFile& file,
                                     const StopToken* stop = nullptr);

}  // namespace zelvio
