#include "cli/terminal.h"

#include <cstdio>
#include <system_error>

#include "cli/console.h"
#include "frontend/progress_text.h"
#include "io/file_system.h"
#include "io/path_text.h"

namespace zelvio::cli {

void printError(std::string_view message) {
    const std::string safe = terminalSafeText(message);
    std::fprintf(stderr, "zelvio: %s\n", safe.c_str());
}

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)),
      out_(stderr),
      enabled_(enabled && isTerminal(stderr)),
      columns_(enabled_ ? terminalColumns(stderr) : 80) {
    start();
}

ProgressBar::ProgressBar(std::string label, std::FILE* out, bool draw, int columns)
    : label_(std::move(label)), out_(out), enabled_(draw), columns_(columns) {
    start();
}

void ProgressBar::start() {
    if (!enabled_) {
        return;
    }
    const std::lock_guard lock(mutex_);
    drawLocked();
    ticker_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!finished_) {
            if (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return finished_; })) {
                drawLocked();
            }
        }
    });
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(double fraction) {
    if (!enabled_) {
        return;
    }
    const std::lock_guard lock(mutex_);
    fraction_ = fraction;
    drawLocked();
}

void ProgressBar::update(double fraction, std::string_view label) {
    if (!enabled_) {
        return;
    }
    const std::lock_guard lock(mutex_);
    fraction_ = fraction;
    label_ = label;
    drawLocked();
}

void ProgressBar::drawLocked() {
    if (finished_) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    std::string line = terminalProgressLine(label_, fraction_, elapsed, columns_);
    if (line == lastLine_) {
        return;
    }
    // Back to the start of the line, the new text, and the rest of the old one cleared.
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
    lastLine_ = std::move(line);
    ++draws_;
}

void ProgressBar::finish() {
    if (!enabled_) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        if (finished_) {
            return;
        }
        finished_ = true;
        if (draws_ > 0) {
            std::fprintf(out_, "\r\033[K");
            std::fflush(out_);
        }
    }
    wake_.notify_all();
    if (ticker_.joinable()) {
        ticker_.join();
    }
}

int ProgressBar::draws() const {
    const std::lock_guard lock(mutex_);
    return draws_;
}

std::filesystem::path outputPathFor(const std::filesystem::path& given,
                                    const std::filesystem::path& input,
                                    std::string_view extension) {
    if (!given.empty()) {
        return given;
    }
    std::filesystem::path output = input;
    output.replace_extension(extension);
    return output;
}

std::string existsAlreadyText(const std::filesystem::path& output) {
    return quotedPath(output) + " exists already (use --force to overwrite it)";
}

std::string overwriteProblem(const std::filesystem::path& output, bool force,
                             const std::filesystem::path& input) {
    if (isReservedName(output)) {
        return reservedNameText(output);
    }
    std::error_code error;
    if (std::filesystem::is_directory(output, error)) {
        return quotedPath(output) + " is a folder";
    }
    if (!input.empty() && sameFile(output, input)) {
        return quotedPath(output) + " is the input file itself";
    }
    if (!force && entryExists(output)) {
        return existsAlreadyText(output);
    }
    return {};
}

}  // namespace zelvio::cli
