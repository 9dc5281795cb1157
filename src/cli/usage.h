#pragma once
// The command line as users of sox, flac or git expect it: the usage for a bare `zelvio`, one
// "zelvio: ..." line for every mistake that names the bad word and why, and "did you mean ...?"
// for a command or option that is nearly right.
//
//   zelvio conver talk.wav       zelvio: 'conver' is not a zelvio command; did you mean 'convert'?
//   zelvio convert x --bit 4     zelvio: convert: unknown option '--bit'; did you mean '--bits'?
//   zelvio convert x --bits 5    zelvio: convert: --bits: '5' is not allowed: use 8 (PCM), 4, 3 or
//   2 (ADPCM)

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvio::cli {

/// Parses argv into app, which runs the chosen command's callback. Help and the version go to
/// standard output. Returns nullopt when a command ran, else the exit status: 0 after help or
/// the version, 2 for a command line that is wrong (reported on standard error as above, with
/// the command's usage line and where to find more).
[[nodiscard]] std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv);

/// The words of candidates nearest to word, for "did you mean": those a few edits away
/// (inserting, deleting, changing or swapping neighbouring letters; at most a third of the
/// word's letters) and those that begin with it, nearest first. Empty for words of fewer than
/// three letters (after any leading dashes), which are too short to guess from.
[[nodiscard]] std::vector<std::string> nearestWords(std::string_view word,
                                                    const std::vector<std::string>& candidates);

/// A check for an option that takes one of a few values, whose message names the value given:
/// "'adpcm4' is not allowed: use 8 (PCM), 4, 3 or 2 (ADPCM)".
[[nodiscard]] CLI::Validator oneOf(std::vector<std::string> values, std::string allowed);

/// A check for a whole number from min to max: "'x' is not a whole number from 0 to 64" (or,
/// for a max past a million, "of 0 or more").
[[nodiscard]] CLI::Validator wholeNumber(long long min, long long max);

}  // namespace zelvio::cli
