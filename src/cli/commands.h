#pragma once
// The subcommands of the zelvio command. Each adds itself to the application and, when it runs,
// stores the process exit status in exitCode.

#include <CLI/CLI.hpp>

namespace zelvio::cli {

/// Exit statuses of the zelvio command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;       ///< the conversion (or reading) failed
inline constexpr int kExitUsage = 2;         ///< the command line was wrong
inline constexpr int kExitDatabaseFull = 3;  ///< saved, but the audio was cut to fit

/// zelvio convert: converts a WAVE file into an audio database.
void addConvertCommand(CLI::App& app, int& exitCode);
/// zelvio info: shows a database's header, stream format and records (text or JSON).
void addInfoCommand(CLI::App& app, int& exitCode);
/// zelvio decode: writes a database's audio as a 16-bit mono WAVE file.
void addDecodeCommand(CLI::App& app, int& exitCode);

}  // namespace zelvio::cli
