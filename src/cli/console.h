#pragma once
// What the command needs from the system's console: its arguments as UTF-8, whether a stream is
// a terminal and how wide, and output that shows every script. POSIX systems take the arguments
// as they come (console_posix.cpp); Windows reads them as UTF-16 and writes UTF-8 to the console
// (console_win32.cpp). CMake builds the one for the system.

#include <cstdio>
#include <string>
#include <vector>

namespace zelvio::cli {

/// The command line's words in UTF-8, whatever the system's code page: on Windows from the
/// process's UTF-16 command line (CommandLineToArgvW), elsewhere argv as given.
class CommandArguments {
  public:
    CommandArguments(int argc, char** argv);
    CommandArguments(const CommandArguments&) = delete;
    CommandArguments& operator=(const CommandArguments&) = delete;

    [[nodiscard]] int count() const { return static_cast<int>(pointers_.size()) - 1; }
    /// argv-style: count() words and a null pointer after them.
    [[nodiscard]] char** values() { return pointers_.data(); }

  private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

/// Gets the console ready for the command's output: on Windows, UTF-8 output and the terminal
/// sequences the progress line draws with; nothing elsewhere. What it changed is put back when
/// the process ends.
void prepareConsole();

/// True when stream is a terminal a person reads (a console window on Windows; a pipe, a file
/// or the NUL device is none).
[[nodiscard]] bool isTerminal(std::FILE* stream);

/// The width in columns of the terminal stream writes to; 80 when it cannot be told.
[[nodiscard]] int terminalColumns(std::FILE* stream);

}  // namespace zelvio::cli
