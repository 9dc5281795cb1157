#pragma once
// Small helpers the subcommands share for talking to the user.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace zelvio::cli {

/// Prints "zelvio: <message>" on standard error.
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
/// empty string when writing may go ahead.
std::string overwriteProblem(const std::filesystem::path& output, bool force);

}  // namespace zelvio::cli
