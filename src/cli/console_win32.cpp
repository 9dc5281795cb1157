#include <windows.h>
// After windows.h, which it needs:
#include <io.h>
#include <shellapi.h>

#include <cstdlib>

#include "cli/console.h"

namespace zelvio::cli {
namespace {

std::string utf8FromWide(const wchar_t* text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminating null the call counted
    return out;
}

HANDLE consoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0 ? handle
                                                                                  : nullptr;
}

UINT originalOutputCodePage = 0;

void restoreOutputCodePage() {
    if (originalOutputCodePage != 0) {
        ::SetConsoleOutputCP(originalOutputCodePage);
    }
}

}  // namespace

CommandArguments::CommandArguments(int argc, char** argv) {
    // The C runtime's argv went through the ANSI code page, which loses every character outside
    // it; the UTF-16 command line has them all.
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            words_.push_back(utf8FromWide(wide[i]));
        }
        ::LocalFree(wide);
    } else {
        words_.assign(argv, argv + argc);
    }
    for (std::string& word : words_) {
        pointers_.push_back(word.data());
    }
    pointers_.push_back(nullptr);
}

void prepareConsole() {
    // The messages are UTF-8: the console shows them so once its output code page is UTF-8.
    // Redirected output gets the bytes as they are.
    const UINT codePage = ::GetConsoleOutputCP();
    if (codePage != 0 && codePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8) != 0) {
        originalOutputCodePage = codePage;
        std::atexit(restoreOutputCodePage);
    }
    // The progress line moves the cursor with terminal sequences (Windows 10 and later).
    if (HANDLE console = consoleOf(stderr)) {
        DWORD mode = 0;
        if (::GetConsoleMode(console, &mode) != 0) {
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
}

bool isTerminal(std::FILE* stream) {
    // _isatty is true for any character device, the NUL device too; only a console is read.
    return consoleOf(stream) != nullptr;
}

int terminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (HANDLE console = consoleOf(stream);
        console != nullptr && ::GetConsoleScreenBufferInfo(console, &info) != 0) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return 80;
}

}  // namespace zelvio::cli
