// zelvio: converts recordings into audio databases for the handheld, and reads them back.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/usage.h"
#include "zelvio/version.h"

int main(int argc, char** argv) {
    zelvio::cli::prepareConsole();
    zelvio::cli::CommandArguments arguments(argc, argv);
    CLI::App app{"zelvio: converts recordings into Palm OS audio databases (10000 Hz mono)",
                 "zelvio"};
    app.set_version_flag("--version", "zelvio " ZELVIO_VERSION_TEXT);
    app.require_subcommand(1);
    // The same command line on every system: a word beginning with / is a path (CLI11 would read
    // it as an option on Windows), as it is on Linux. Set before the commands, which inherit it.
    app.allow_windows_style_options(false);
    int exitCode = zelvio::cli::kExitSuccess;
    zelvio::cli::addConvertCommand(app, exitCode);
    zelvio::cli::addInfoCommand(app, exitCode);
    zelvio::cli::addDecodeCommand(app, exitCode);
    if (const auto status =
            zelvio::cli::parseCommandLine(app, arguments.count(), arguments.values())) {
        return *status;
    }
    return exitCode;
}
