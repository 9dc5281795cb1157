#include "cli/terminal.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "io/file_system.h"
#include "io/path_text.h"

namespace zelvio::cli {

void printError(std::string_view message) {
    const std::string safe = terminalSafeText(message);
    std::fprintf(stderr, "zelvio: %s\n", safe.c_str());
}

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(double fraction) {
    constexpr auto kQuietStart = std::chrono::milliseconds(300);
    if (!enabled_ || std::chrono::steady_clock::now() - started_ < kQuietStart) {
        return;
    }
    const int permille = static_cast<int>(fraction * 1000.0);
    if (permille == lastPermille_) {
        return;
    }
    lastPermille_ = permille;
    constexpr int kWidth = 40;
    const int filled = permille * kWidth / 1000;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), permille / 10);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
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
