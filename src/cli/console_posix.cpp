#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

namespace zelvio::cli {

CommandArguments::CommandArguments(int argc, char** argv) {
    words_.assign(argv, argv + argc);
    for (std::string& word : words_) {
        pointers_.push_back(word.data());
    }
    pointers_.push_back(nullptr);
}

void prepareConsole() {}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace zelvio::cli
