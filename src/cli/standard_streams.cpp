#include "cli/standard_streams.h"

#include <cerrno>
#include <cstdio>

#include <system_error>
#include <vector>

#include "cli/console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace zelvio::cli {
namespace {

constexpr std::size_t kCopyBytes = 64 * 1024;

// Standard streams carry bytes as they are (no newline translation where the system has one).
void makeBinary(std::FILE* stream) {
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

}  // namespace

bool standardInputIsTerminal() {
    return isTerminal(stdin);
}

bool standardOutputIsTerminal() {
    return isTerminal(stdout);
}

bool spoolStandardInput(ScratchFile& scratch, std::string& error) {
    if (!scratch.create("stdin")) {
        error = scratch.errorText() + " (for standard input)";
        return false;
    }
    const auto writeFailed = [&error] {
        error = "cannot write the scratch file for standard input: " +
                std::generic_category().message(errno != 0 ? errno : EIO);
        return false;
    };
    makeBinary(stdin);
    std::vector<std::uint8_t> block(kCopyBytes);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), stdin);
        errno = 0;
        if (got > 0 && std::fwrite(block.data(), 1, got, scratch.stream()) != got) {
            return writeFailed();
        }
        if (got < block.size()) {
            break;
        }
    }
    if (std::ferror(stdin) != 0) {
        error = "cannot read standard input";
        return false;
    }
    errno = 0;
    if (!scratch.rewindForReading()) {
        return writeFailed();
    }
    return true;
}

bool writeStandardOutput(std::span<const std::uint8_t> bytes) {
    makeBinary(stdout);
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

bool copyToStandardOutput(std::FILE* stream) {
    makeBinary(stdout);
    std::vector<std::uint8_t> block(kCopyBytes);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), stream);
        if (got > 0 && std::fwrite(block.data(), 1, got, stdout) != got) {
            return false;
        }
        if (got < block.size()) {
            break;
        }
    }
    return std::ferror(stream) == 0 && std::fflush(stdout) == 0;
}

}  // namespace zelvio::cli
