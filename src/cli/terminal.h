#pragma once
// Small helpers the subcommands share for talking to the user.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace zelvio::cli {

/// Prints "zelvio: <message>" on standard error, control characters and bytes that are not UTF-8
/// written out as \xNN (terminalSafeText), since messages carry names and texts from files.
void printError(std::string_view message);

/// A one-line progress bar on standard error. It draws only when standard error is a terminal
/// and it is enabled, and only once the work has taken a moment, so that short runs stay quiet;
/// otherwise every call does nothing.
class ProgressBar {
  public:
    ProgressBar(std::string label, bool enabled);
    ~ProgressBar();
    void update(double fraction);
    void finish();

  private:
    std::string label_;
    bool enabled_;
    int lastPermille_ = -1;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

/// The output path: the one given, or the input path with its extension replaced.
std::filesystem::path outputPathFor(const std::filesystem::path& given,
                                    const std::filesystem::path& input, std::string_view extension);

/// Refuses to overwrite an existing file without --force: returns the message to print, or an
/// empty string when writing may go ahead. A symbolic link counts as itself, so a link pointing
/// at nothing exists too; a folder is refused with or without --force, and so is the input file
/// itself (input, through any path or link; may be empty).
std::string overwriteProblem(const std::filesystem::path& output, bool force,
                             const std::filesystem::path& input = {});

/// "\"OUTPUT\" exists already (use --force to overwrite it)".
std::string existsAlreadyText(const std::filesystem::path& output);

}  // namespace zelvio::cli
