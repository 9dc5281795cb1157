#include "cli/standard_streams.h"

#include <unistd.h>

#include <vector>

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
    return ::isatty(STDIN_FILENO) == 1;
}

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool spoolStandardInput(ScratchFile& scratch, std::string& error) {
    if (!scratch.create("stdin")) {
        error = "cannot create a scratch file for standard input";
        return false;
    }
    makeBinary(stdin);
    std::vector<std::uint8_t> block(kCopyBytes);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), stdin);
        if (got > 0 && std::fwrite(block.data(), 1, got, scratch.stream()) != got) {
            error = "cannot write a scratch file for standard input";
            return false;
        }
        if (got < block.size()) {
            break;
        }
    }
    if (std::ferror(stdin) != 0) {
        error = "cannot read standard input";
        return false;
    }
    if (!scratch.rewindForReading()) {
        error = "cannot write a scratch file for standard input";
        return false;
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
