// zelvio convert INPUT.wav [-o OUTPUT.pdb] [--title TEXT] [--description TEXT]
//                [--bits 8|4|3|2] [--vad] [-f] [-q]
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "frontend/outcome_text.h"
#include "job/conversion_job.h"

namespace zelvio::cli {
namespace {

struct ConvertOptions {
    std::string input;
    std::string output;
    std::optional<std::string> title;
    std::string description;
    int bits = 8;
    bool vad = false;
    bool force = false;
    bool quiet = false;
};

int runConvert(const ConvertOptions& options) {
    ConversionSettings settings;
    settings.inputPath = options.input;
    settings.databasePath = outputPathFor(options.output, settings.inputPath, ".pdb");
    settings.title = options.title.value_or(settings.inputPath.stem().string());
    settings.description = options.description;
    settings.bitsPerSample = options.bits;
    settings.voiceActivityDetection = options.vad;

    if (const std::string problem = overwriteProblem(settings.databasePath, options.force);
        !problem.empty()) {
        printError(problem);
        return kExitFailure;
    }

    ProgressBar progress("converting", !options.quiet);
    ConversionJob job(settings, [&](double fraction) { progress.update(fraction); });
    const ConversionOutcome outcome = job.run();
    progress.finish();

    if (outcome.failed()) {
        printError(outcome.detail.empty() ? outcome.message
                                          : outcome.message + " (" + outcome.detail + ")");
        return kExitFailure;
    }
    if (outcome.kind == OutcomeKind::DatabaseFull) {
        printError(outcome.message);
    }
    if (!options.quiet) {
        std::printf("%s\n",
                    savedSummary(settings, outcome, fileSize(settings.databasePath)).c_str());
    }
    return outcome.kind == OutcomeKind::Success ? kExitSuccess : kExitDatabaseFull;
}

}  // namespace

void addConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand("convert", "Convert a WAVE file into an audio database");
    command->add_option("input", options->input, "WAVE file to convert")->required();
    command->add_option("-o,--output", options->output,
                        "Database file to write (default: the input with .pdb)");
    command->add_option("--title", options->title,
                        "Database title, at most 31 characters (default: the input's name)");
    command->add_option("--description", options->description,
                        "Description stored in the database, at most 63 characters");
    command->add_option("--bits", options->bits, "Bits per sample: 8 (PCM), 4, 3 or 2 (ADPCM)")
        ->check(CLI::IsMember({8, 4, 3, 2}))
        ->capture_default_str();
    command->add_flag("--vad", options->vad,
                      "Voice activity detection: store quiet stretches as silence");
    command->add_flag("-f,--force", options->force, "Overwrite an existing database file");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->callback([options, &exitCode] { exitCode = runConvert(*options); });
}

}  // namespace zelvio::cli
