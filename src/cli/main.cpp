// zelvio: converts WAVE files into audio databases for the handheld.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "zelvio/version.h"

int main(int argc, char** argv) {
    CLI::App app{"zelvio: converts WAVE files into Palm OS audio databases (10000 Hz mono)",
                 "zelvio"};
    app.set_version_flag("--version", "zelvio " ZELVIO_VERSION_TEXT);
    app.require_subcommand(1);
    int exitCode = zelvio::cli::kExitSuccess;
    zelvio::cli::addConvertCommand(app, exitCode);
    zelvio::cli::addInfoCommand(app, exitCode);
    zelvio::cli::addDecodeCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? zelvio::cli::kExitSuccess : zelvio::cli::kExitUsage;
    }
    return exitCode;
}
