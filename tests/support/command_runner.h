// Running the zelvio command as a user does, from a test: exit status and both output streams.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/files.h"

namespace zelvio::test_support {

struct CommandRun {
    int status;       ///< exit status, -1 when the command did not exit normally
    std::string out;  ///< what it printed on standard output
    std::string err;  ///< what it printed on standard error
};

/// Runs zelvio (the program ZELVIO_CLI names) with the given arguments, already quoted for the
/// shell, inside dir.
inline CommandRun zelvio(const TempDirectory& dir, const std::string& arguments) {
    const std::filesystem::path out = dir.path() / "stdout.txt";
    const std::filesystem::path err = dir.path() / "stderr.txt";
    const std::string command = "cd '" + dir.path().string() + "' && '" ZELVIO_CLI "' " +
                                arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
}

/// Runs a shell command line inside dir, with ZELVIO set to the zelvio program, so that pipes
/// can be tested as users write them: "cat in.wav | \"$ZELVIO\" convert - -o out.pdb". The exit
/// status is that of the line's last command.
inline CommandRun shellLine(const TempDirectory& dir, const std::string& line) {
    const std::filesystem::path out = dir.path() / "stdout.txt";
    const std::filesystem::path err = dir.path() / "stderr.txt";
    const std::string command = "cd '" + dir.path().string() +
                                "' && ZELVIO='" ZELVIO_CLI "' && export ZELVIO && { " + line +
                                "; } >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
}

}  // namespace zelvio::test_support
