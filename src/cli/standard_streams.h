#pragma once
// The command's standard input and output as files: "-" names them on the command line. Audio
// read from standard input is spooled to a private scratch file first, so that every reader can
// look at its start and seek in it like in a file; what goes to standard output is written only
// once it is complete, so that a failed run writes nothing there.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "io/scratch_file.h"

namespace zelvio::cli {

/// What names standard input or standard output on the command line.
inline constexpr std::string_view kStandardStreamArgument = "-";

/// True when standard input or standard output is a terminal.
[[nodiscard]] bool standardInputIsTerminal();
[[nodiscard]] bool standardOutputIsTerminal();

/// Copies all of standard input into a new scratch file (created with scratch.create) and goes
/// back to its start. Returns false, with error set, when the scratch file cannot be made or
/// written, or standard input cannot be read.
[[nodiscard]] bool spoolStandardInput(ScratchFile& scratch, std::string& error);

/// Writes bytes to standard output and flushes it. False when they could not all be written.
[[nodiscard]] bool writeStandardOutput(std::span<const std::uint8_t> bytes);

/// Copies the rest of stream to standard output and flushes it. False when stream cannot be read
/// or standard output cannot be written.
[[nodiscard]] bool copyToStandardOutput(std::FILE* stream);

}  // namespace zelvio::cli
