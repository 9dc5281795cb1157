#pragma once
// What the front ends tell the user when a run has ended: one formatter for the summary line of
// a saved database, which `zelvio convert` prints and the dialog shows beneath its message.
//
//   memo.pdb: saved, 20,462 bytes, 4-bit ADPCM, 200 Frames (0:04), 2 records
//   long.pdb: saved (cut), 12,725,162 bytes, 8-bit PCM, 63,282 of 64,000 Frames (21:05 of 21:20),
//       200 records

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/conversion_job.h"

namespace zelvio {

/// The size of a file in bytes; nullopt when it cannot be found out.
[[nodiscard]] std::optional<std::uintmax_t> fileSize(const std::filesystem::path& path);

/// A count with its thousands grouped by commas: 12725162 gives "12,725,162".
[[nodiscard]] std::string groupedCount(std::uintmax_t count);

/// The summary of a run that saved its database (Success or DatabaseFull): the database path,
/// "saved" or "saved (cut)", the size when known, the mode in words, the Frames kept and their
/// duration (for a cut database out of how many), and the record count.
[[nodiscard]] std::string savedSummary(const ConversionSettings& settings,
                                       const ConversionOutcome& outcome,
                                       std::optional<std::uintmax_t> databaseBytes);

/// The summary of every database a run saved: savedSummary()'s line, one for each part of a split
/// run ("talk-2.pdb: saved, ..."), each part's size read from its file; one line otherwise, with
/// the size of settings.databasePath.
[[nodiscard]] std::vector<std::string> savedSummaries(const ConversionSettings& settings,
                                                      const ConversionOutcome& outcome);

/// How big the database at a path is; nullopt when it cannot be found out.
using DatabaseSize = std::function<std::optional<std::uintmax_t>(const std::filesystem::path&)>;

/// The same lines with each database's size as sizeOf tells it, for databases that are not (or
/// no longer) files, e.g. held in memory by a web page.
[[nodiscard]] std::vector<std::string> savedSummaries(const ConversionSettings& settings,
                                                      const ConversionOutcome& outcome,
                                                      const DatabaseSize& sizeOf);

/// What a front end shows for an outcome.
struct OutcomeMessage {
    std::string text;     ///< the job's message: the main text
    std::string caption;  ///< the window title
    OutcomeIcon icon = OutcomeIcon::Information;
    std::string detail;  ///< the second, smaller text: the summary, or what went wrong
};

/// The message for an outcome: the job's text, caption and icon; as the detail the summary of a
/// saved database (its size read from the file; a line for each part of a split run), or for a
/// failure the job's own detail.
[[nodiscard]] OutcomeMessage outcomeMessage(const ConversionSettings& settings,
                                            const ConversionOutcome& outcome);

}  // namespace zelvio
