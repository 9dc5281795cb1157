// zelvio convert INPUT... [-o OUTPUT.pdb | -d DIR] [--title TEXT] [--description TEXT]
//                [--bits 8|4|3|2] [--vad] [--encoder greedy|search[=K]] [--split]
//                [--split-minutes M] [--threads N] [-j N] [-f] [-q]
// INPUT is an audio file in any format the build reads, or - for standard input; -o - writes
// the database to standard output once it is complete. Several inputs are converted each to its
// own database, -j N at a time.
// SIGINT and SIGTERM stop a running conversion cleanly: nothing is written, no temporary file is
// left, and the command exits with 128 + the signal's number (130, 143). In a batch every running
// conversion stops so, and the databases already saved stay.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/standard_streams.h"
#include "cli/stop_signals.h"
#include "cli/terminal.h"
#include "cli/usage.h"
#include "coding/search_encoder.h"
#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"
#include "frontend/text_warnings.h"
#include "io/path_text.h"
#include "io/scratch_file.h"
#include "job/conversion_batch.h"
#include "job/conversion_job.h"
#include "pdb/byte_sink.h"
#include "wave/input_formats.h"

namespace zelvio::cli {
namespace {

struct ConvertOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    std::optional<std::string> title;
    std::string description;
    int bits = 8;
    bool vad = false;
    std::string encoder = "greedy";
    bool split = false;
    int splitMinutes = 0;
    unsigned threads = 0;
    unsigned jobs = 0;
    bool force = false;
    bool quiet = false;
};

/// What names standard input in messages.
constexpr const char* kStandardInputName = "standard input";

/// Reads --encoder's value: "greedy", "search" (the search's default width) or "search=K" with K
/// paths, 1 to kSearchMaxPaths. Returns false for anything else.
bool parseEncoder(const std::string& text, AdpcmCoding& coding, int& paths) {
    if (text == "greedy") {
        coding = AdpcmCoding::Greedy;
        paths = 0;
        return true;
    }
    constexpr std::string_view kSearch = "search";
    if (text.compare(0, kSearch.size(), kSearch) != 0) {
        return false;
    }
    coding = AdpcmCoding::Search;
    paths = 0;
    if (text.size() == kSearch.size()) {
        return true;
    }
    const std::string count = text.substr(kSearch.size());
    if (count.size() < 2 || count.size() > 3 || count[0] != '=' ||
        count.find_first_not_of("0123456789", 1) != std::string::npos) {
        return false;
    }
    paths = std::stoi(count.substr(1));
    return paths >= 1 && paths <= kSearchMaxPaths;
}

/// The settings every input of a run shares.
void applyShared(const ConvertOptions& options, ConversionSettings& settings) {
    settings.description = options.description;
    settings.bitsPerSample = options.bits;
    settings.voiceActivityDetection = options.vad;
    parseEncoder(options.encoder, settings.adpcmCoding, settings.searchPaths);  // checked by CLI11
    settings.threads = options.threads;
    settings.split = options.split || options.splitMinutes > 0;
    settings.splitMinutes = options.splitMinutes;
    settings.keepExistingParts = !options.force;
    // Without --force a run never replaces a file, not even one that appears at the output's
    // path while it runs.
    settings.replaceExisting = options.force;
    settings.stop = &signalStopToken();
}

/// Where the database of input goes: -o, else beside the input or in -d DIR, named after it.
std::filesystem::path databasePathFor(const ConvertOptions& options,
                                      const std::filesystem::path& input) {
    if (!options.output.empty() || options.directory.empty()) {
        return outputPathFor(pathFromUtf8(options.output), input, ".pdb");
    }
    std::filesystem::path name = input.filename();
    name.replace_extension(".pdb");
    return pathFromUtf8(options.directory) / name;
}

int runConvert(const ConvertOptions& options) {
    const std::string& input = options.inputs.front();
    const bool fromStandardInput = input == kStandardStreamArgument;
    const bool toStandardOutput = options.output == kStandardStreamArgument;
    if (fromStandardInput && options.output.empty()) {
        printError(
            "reading standard input (-) needs an output: -o FILE.pdb, or -o - for "
            "standard output");
        return kExitUsage;
    }
    if (fromStandardInput && standardInputIsTerminal()) {
        printError(
            "standard input is a terminal: pipe the audio in, e.g. "
            "cat talk.mp3 | zelvio convert - -o talk.pdb");
        return kExitUsage;
    }
    if (toStandardOutput && (options.split || options.splitMinutes > 0)) {
        printError("--split writes several database files: it cannot write to standard output");
        return kExitUsage;
    }
    if (toStandardOutput && standardOutputIsTerminal()) {
        printError(
            "will not write a database to a terminal: redirect standard output, e.g. "
            "zelvio convert talk.wav -o - > talk.pdb");
        return kExitUsage;
    }

    ConversionSettings settings;
    settings.inputPath =
        fromStandardInput ? std::filesystem::path(kStandardInputName) : pathFromUtf8(input);
    if (!toStandardOutput) {
        settings.databasePath = databasePathFor(options, settings.inputPath);
    }
    // The title by default: the input's name; for standard input the output's; else "Audio".
    std::string defaultTitle = settings.inputPath.stem().string();
    if (fromStandardInput) {
        defaultTitle = toStandardOutput ? "Audio" : settings.databasePath.stem().string();
    }
    settings.title = options.title.value_or(defaultTitle);
    applyShared(options, settings);

    // The job opens the input before it judges the output, so that the first message names the
    // first real problem.
    if (!options.quiet) {
        for (const std::string& warning : handheldTextWarnings(settings)) {
            printError("warning: " + warning);
        }
    }
    ScratchFile spooled;  // standard input, removed on every way out
    if (fromStandardInput) {
        if (std::string error; !spoolStandardInput(spooled, error)) {
            printError(error);
            return kExitFailure;
        }
    }

    // From here on Ctrl-C and SIGTERM stop the run cleanly (while standard input is spooled they
    // end the process, and the spooled copy, whose name is already gone, with it).
    const StopOnSignals stopOnSignals;
    ProgressBar progress(std::string(stageText(ConversionStage::Reading)), !options.quiet);
    ConversionJob job(settings, [&](double fraction, ConversionStage stage) {
        progress.update(fraction, stageText(stage));
    });
    if (fromStandardInput) {
        job.readInputFrom(spooled.stream());
    }
    MemoryByteSink image;
    if (toStandardOutput) {
        job.writeDatabaseTo(image);
    }
    const ConversionOutcome outcome = job.run();
    progress.finish();

    if (outcome.kind == OutcomeKind::Cancelled) {
        if (!options.quiet) {
            printError(outcome.message);
        }
        return stoppedExitStatus();
    }
    if (outcome.targetExists) {
        printError(existsAlreadyText(settings.databasePath));
        return kExitFailure;
    }
    if (outcome.failed()) {
        printError(outcome.detail.empty() ? outcome.message
                                          : outcome.message + " (" + outcome.detail + ")");
        return kExitFailure;
    }
    if (toStandardOutput && !writeStandardOutput(image.bytes())) {
        printError("cannot write the database to standard output");
        return kExitFailure;
    }
    if (outcome.kind == OutcomeKind::DatabaseFull) {
        printError(outcome.message);
    }
    if (!options.quiet) {
        if (!outcome.inputNotice.empty()) {
            printError("note: " + outcome.inputNotice);
        }
        if (toStandardOutput) {
            // With the database on standard output, the summary goes with the messages.
            ConversionSettings named = settings;
            named.databasePath = "standard output";
            std::fprintf(
                stderr, "%s\n",
                terminalSafeText(savedSummary(named, outcome, image.bytes().size())).c_str());
        } else {
            for (const std::string& line : savedSummaries(settings, outcome)) {
                std::printf("%s\n", terminalSafeText(line).c_str());
            }
        }
    }
    return outcome.kind == OutcomeKind::Success ? kExitSuccess : kExitDatabaseFull;
}

/// The line for one input of a batch as it ends: its summaries, or what went wrong.
void reportBatchRun(const ConversionSettings& settings, const ConversionOutcome& outcome,
                    bool quiet) {
    const std::string input = quotedPath(settings.inputPath);
    if (outcome.kind == OutcomeKind::Cancelled) {
        return;
    }
    if (outcome.targetExists) {
        printError(input + ": " + existsAlreadyText(settings.databasePath));
        return;
    }
    if (outcome.failed()) {
        printError(input + ": " +
                   (outcome.detail.empty() ? outcome.message
                                           : outcome.message + " (" + outcome.detail + ")"));
        return;
    }
    if (!quiet) {
        for (const std::string& line : savedSummaries(settings, outcome)) {
            std::printf("%s\n", terminalSafeText(input + " -> " + line).c_str());
        }
        if (!outcome.inputNotice.empty()) {
            printError(input + ": note: " + outcome.inputNotice);
        }
    }
    std::fflush(stdout);
}

/// Many inputs, each to its own database, options.jobs at a time.
int runBatchConvert(const ConvertOptions& options) {
    if (!options.output.empty() || options.title) {
        printError(std::string(!options.output.empty() ? "-o" : "--title") +
                   " names one database: with several inputs, use -d DIR and each file's name");
        return kExitUsage;
    }
    std::vector<ConversionSettings> runs;
    std::set<std::filesystem::path> outputs;
    for (const std::string& input : options.inputs) {
        if (input == kStandardStreamArgument) {
            printError("standard input (-) can only be converted alone");
            return kExitUsage;
        }
        ConversionSettings settings;
        settings.inputPath = pathFromUtf8(input);
        settings.databasePath = databasePathFor(options, settings.inputPath);
        settings.title = settings.inputPath.stem().string();
        applyShared(options, settings);
        if (!outputs.insert(settings.databasePath.lexically_normal()).second) {
            printError("two inputs would write the same database " +
                       quotedPath(settings.databasePath));
            return kExitUsage;
        }
        runs.push_back(std::move(settings));
    }

    // Inputs whose database exists are not converted (without --force), the others are.
    std::size_t failed = 0;
    std::vector<ConversionSettings> allowed;
    for (ConversionSettings& settings : runs) {
        if (const std::string problem =
                overwriteProblem(settings.databasePath, options.force, settings.inputPath);
            !problem.empty()) {
            printError(quotedPath(settings.inputPath) + ": " + problem);
            ++failed;
        } else {
            allowed.push_back(std::move(settings));
        }
    }

    const StopOnSignals stopOnSignals;
    std::size_t converted = 0;
    std::size_t cut = 0;
    BatchOptions batch{
        .jobs = options.jobs, .threads = options.threads, .stop = &signalStopToken()};
    const std::vector<ConversionOutcome> outcomes =
        runBatch(allowed, batch, [&](std::size_t run, const ConversionOutcome& outcome) {
            reportBatchRun(allowed[run], outcome, options.quiet);
        });
    for (const ConversionOutcome& outcome : outcomes) {
        if (outcome.kind == OutcomeKind::Success) {
            ++converted;
        } else if (outcome.kind == OutcomeKind::DatabaseFull) {
            ++cut;
        } else if (outcome.kind != OutcomeKind::Cancelled) {
            ++failed;
        }
    }
    if (signalStopToken().requested()) {
        if (!options.quiet) {
            printError(std::string(kCancelledText) + ": " + std::to_string(converted + cut) +
                       " of " + std::to_string(runs.size()) + " files were converted");
        }
        return stoppedExitStatus();
    }
    if (!options.quiet) {
        std::printf("%zu files: %zu converted, %zu cut, %zu failed\n", runs.size(), converted, cut,
                    failed);
    }
    if (failed > 0) {
        return kExitFailure;
    }
    return cut > 0 ? kExitDatabaseFull : kExitSuccess;
}

}  // namespace

void addConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command =
        app.add_subcommand("convert", "Convert an audio file into an audio database");
    command
        ->add_option("input", options->inputs,
                     "Audio files to convert (see the formats below), or - for standard input")
        ->required();
    command->add_option("-o,--output", options->output,
                        "Database file to write, or - for standard output (default: the input "
                        "with .pdb)");
    command->add_option("-d,--directory", options->directory,
                        "Folder to write the databases in (default: beside each input)");
    command->add_option("--title", options->title,
                        "Database title, at most 31 characters (default: the input's name)");
    command->add_option("--description", options->description,
                        "Description stored in the database, at most 63 characters");
    command->add_option("--bits", options->bits, "Bits per sample: 8 (PCM), 4, 3 or 2 (ADPCM)")
        ->check(oneOf({"8", "4", "3", "2"}, "8 (PCM), 4, 3 or 2 (ADPCM)"))
        ->capture_default_str();
    command->add_flag("--vad", options->vad,
                      "Voice activity detection: store quiet stretches as silence");
    command
        ->add_option("--encoder", options->encoder,
                     "How ADPCM codes are chosen: greedy (fast, the classic bytes) or search "
                     "(decodes closer to the input, about 3 dB on speech, some 35 s per hour of "
                     "audio); search=K keeps K paths (1 to " +
                         std::to_string(kSearchMaxPaths) +
                         ", more is closer and slower). 8-bit PCM is the same either way")
        ->check(
            [](const std::string& text) {
                AdpcmCoding coding;
                int paths = 0;
                return parseEncoder(text, coding, paths)
                           ? std::string()
                           : "expected greedy, search or search=K with K from 1 to " +
                                 std::to_string(kSearchMaxPaths);
            },
            "ENCODER")
        ->capture_default_str();
    command->add_flag("--split", options->split,
                      "Audio that does not fit one database goes on in more: NAME-1.pdb, "
                      "NAME-2.pdb, ... titled \"Title 1/2\", ... (default: cut it)");
    command
        ->add_option("--split-minutes", options->splitMinutes,
                     "With --split (which it implies), end each database at M minutes")
        ->check(CLI::Range(1, 1000))
        ->option_text("M");
    command
        ->add_option("--threads", options->threads,
                     "Threads to use: 0 for all the processor's (at most 8), 1 for one")
        ->check(wholeNumber(0, std::numeric_limits<unsigned>::max()))
        ->capture_default_str();
    command
        ->add_option("-j,--jobs", options->jobs,
                     "Inputs converted at once: 0 for one a core; they share the threads")
        ->check(wholeNumber(0, std::numeric_limits<unsigned>::max()))
        ->capture_default_str();
    command->add_flag("-f,--force", options->force, "Overwrite an existing database file");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    std::string formats =
        "Input formats this build reads, recognised by their content: " + readableFormatNames() +
        " (" + readableFilePatterns() + ").";
    if (const InputReaders readers = inputReaders(); !readers.libsndfile && !readers.ffmpeg) {
        // The Windows build, and any built without libsndfile and FFmpeg.
        formats +=
            " FLAC, Ogg, AIFF, MP3, M4A and the like are read by builds with libsndfile and "
            "FFmpeg (the Linux build): convert them to WAVE first.";
    }
    command->footer(formats);
    command->callback([options, &exitCode] {
        // A -d folder that is not there yet is made, as the user asked for it by name.
        if (!options->directory.empty()) {
            std::error_code error;
            std::filesystem::create_directories(pathFromUtf8(options->directory), error);
            if (error) {
                printError("cannot make the folder " +
                           quotedPath(pathFromUtf8(options->directory)) + ": " + error.message());
                exitCode = kExitFailure;
                return;
            }
        }
        exitCode = options->inputs.size() > 1 ? runBatchConvert(*options) : runConvert(*options);
    });
}

}  // namespace zelvio::cli
