// zelvio convert INPUT [-o OUTPUT.pdb] [--title TEXT] [--description TEXT]
//                [--bits 8|4|3|2] [--vad] [--threads N] [-f] [-q]
// INPUT is an audio file in any format the build reads, or - for standard input; -o - writes
// the database to standard output once it is complete.
// SIGINT and SIGTERM stop a running conversion cleanly: nothing is written, no temporary file is
// left, and the command exits with 128 + the signal's number (130, 143).
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/standard_streams.h"
#include "cli/terminal.h"
#include "cli/usage.h"
#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"
#include "frontend/text_warnings.h"
#include "io/scratch_file.h"
#include "job/conversion_job.h"
#include "pdb/byte_sink.h"
#include "wave/input_formats.h"

namespace zelvio::cli {
namespace {

struct ConvertOptions {
    std::string input;
    std::string output;
    std::optional<std::string> title;
    std::string description;
    int bits = 8;
    bool vad = false;
    unsigned threads = 0;
    bool force = false;
    bool quiet = false;
};

/// What names standard input in messages.
constexpr const char* kStandardInputName = "standard input";

/// The running conversion's stop token, and the signal that asked it to stop (0: none). The
/// handler only stores: into the token's lock-free flag and a sig_atomic_t.
StopToken stopBySignal;
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    stopBySignal.request();
}

/// While it lives, SIGINT and SIGTERM stop the conversion instead of ending the process; the
/// handlers found before are put back after.
class StopOnSignals {
  public:
    StopOnSignals()
        : previousInterrupt_(std::signal(SIGINT, onStopSignal)),
          previousTerminate_(std::signal(SIGTERM, onStopSignal)) {}
    ~StopOnSignals() {
        std::signal(SIGINT, previousInterrupt_ == SIG_ERR ? SIG_DFL : previousInterrupt_);
        std::signal(SIGTERM, previousTerminate_ == SIG_ERR ? SIG_DFL : previousTerminate_);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    using Handler = void (*)(int);
    Handler previousInterrupt_;
    Handler previousTerminate_;
};

int runConvert(const ConvertOptions& options) {
    const bool fromStandardInput = options.input == kStandardStreamArgument;
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
    if (toStandardOutput && standardOutputIsTerminal()) {
        printError(
            "will not write a database to a terminal: redirect standard output, e.g. "
            "zelvio convert talk.wav -o - > talk.pdb");
        return kExitUsage;
    }

    ConversionSettings settings;
    settings.inputPath = fromStandardInput ? std::filesystem::path(kStandardInputName)
                                           : std::filesystem::path(options.input);
    if (!toStandardOutput) {
        settings.databasePath = outputPathFor(options.output, settings.inputPath, ".pdb");
    }
    // The title by default: the input's name; for standard input the output's; else "Audio".
    std::string defaultTitle = settings.inputPath.stem().string();
    if (fromStandardInput) {
        defaultTitle = toStandardOutput ? "Audio" : settings.databasePath.stem().string();
    }
    settings.title = options.title.value_or(defaultTitle);
    settings.description = options.description;
    settings.bitsPerSample = options.bits;
    settings.voiceActivityDetection = options.vad;
    settings.threads = options.threads;
    settings.stop = &stopBySignal;

    if (!toStandardOutput) {
        if (const std::string problem = overwriteProblem(settings.databasePath, options.force);
            !problem.empty()) {
            printError(problem);
            return kExitFailure;
        }
    }
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
        return 128 + (stopSignal != 0 ? static_cast<int>(stopSignal) : SIGINT);
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
            std::fprintf(stderr, "%s\n",
                         savedSummary(named, outcome, image.bytes().size()).c_str());
        } else {
            std::printf("%s\n",
                        savedSummary(settings, outcome, fileSize(settings.databasePath)).c_str());
        }
    }
    return outcome.kind == OutcomeKind::Success ? kExitSuccess : kExitDatabaseFull;
}

}  // namespace

void addConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command =
        app.add_subcommand("convert", "Convert an audio file into an audio database");
    command
        ->add_option("input", options->input,
                     "Audio file to convert (see the formats below), or - for standard input")
        ->required();
    command->add_option("-o,--output", options->output,
                        "Database file to write, or - for standard output (default: the input "
                        "with .pdb)");
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
        ->add_option("--threads", options->threads,
                     "Threads to use: 0 for all the processor's (at most 8), 1 for one")
        ->check(wholeNumber(0, std::numeric_limits<unsigned>::max()))
        ->capture_default_str();
    command->add_flag("-f,--force", options->force, "Overwrite an existing database file");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->footer("Input formats this build reads, recognised by their content: " +
                    readableFormatNames() + " (" + readableFilePatterns() + ").");
    command->callback([options, &exitCode] { exitCode = runConvert(*options); });
}

}  // namespace zelvio::cli
