#pragma once
// Small helpers the subcommands share for talking to the user.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zelvio::cli {

/// Prints "zelvio: <message>" on standard error, control characters and bytes that are not UTF-8
/// written out as \xNN (terminalSafeText), since messages carry names and texts from files.
void printError(std::string_view message);

/// A one-line progress display on standard error, like sox's: the label, the percentage, a bar,
/// the time elapsed and the time left (frontend/progress_text.h). It is drawn only when it is
/// enabled and its stream is a terminal: at once, again only when the line would change (the
/// percentage or a whole second), and every second while no report comes, so that the elapsed
/// time moves on through a stage that reports nothing. finish() (or the end of its life) clears
/// the line. Reports may come from any one thread.
class ProgressBar {
  public:
    /// Draws on standard error when enabled and standard error is a terminal.
    ProgressBar(std::string label, bool enabled);
    /// Draws on out when draw is set, whatever out is, columns wide (for tests).
    ProgressBar(std::string label, std::FILE* out, bool draw, int columns);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(double fraction);
    /// A report that also names the stage, which then replaces the label.
    void update(double fraction, std::string_view label);
    void finish();

    /// How many times the line was drawn.
    [[nodiscard]] int draws() const;

  private:
    void start();
    void drawLocked();  // with mutex_ held

    std::string label_;
    std::FILE* out_;
    bool enabled_;
    int columns_;
    double fraction_ = 0.0;
    std::string lastLine_;
    int draws_ = 0;
    bool finished_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread ticker_;
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
