// zelvio decode FILE.pdb [-o OUT.wav] [--comfort-noise] [-f] [-q]
// -o - writes the WAVE file to standard output once it is complete. A file longer than a plain
// WAVE file's 4 GiB is written as RF64. SIGINT and SIGTERM stop the decoding cleanly: the
// unfinished file is removed and the command exits with 130 or 143.
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/standard_streams.h"
#include "cli/stop_signals.h"
#include "cli/terminal.h"
#include "io/path_text.h"
#include "io/scratch_file.h"
#include "job/conversion_job.h"
#include "pdb/database_reader.h"
#include "readback/database_decoder.h"
#include "wave/wave_writer.h"

namespace zelvio::cli {
namespace {

struct DecodeCommandOptions {
    std::string input;
    std::string output;
    bool comfortNoise = false;
    bool force = false;
    bool quiet = false;
};

int runDecode(const DecodeCommandOptions& options) {
    const bool toStandardOutput = options.output == kStandardStreamArgument;
    if (toStandardOutput && standardOutputIsTerminal()) {
        printError(
            "will not write a WAVE file to a terminal: redirect standard output or pipe "
            "it, e.g. zelvio decode memo.pdb -o - | aplay");
        return kExitUsage;
    }
    const std::filesystem::path input = pathFromUtf8(options.input);
    DatabaseReader reader;
    if (reader.open(input) != kReadOk) {
        printError(options.input + ": " + std::string(reader.errorText()));
        return kExitFailure;
    }
    const std::filesystem::path output =
        toStandardOutput ? std::filesystem::path()
                         : outputPathFor(pathFromUtf8(options.output), input, ".wav");
    if (!toStandardOutput) {
        if (const std::string problem = overwriteProblem(output, options.force, input);
            !problem.empty()) {
            printError(problem);
            return kExitFailure;
        }
    }

    // For standard output the file is made in a private scratch file and copied out whole.
    ScratchFile scratch;
    if (toStandardOutput && !scratch.create("decode")) {
        printError(scratch.errorText() + " (for the WAVE file)");
        return kExitFailure;
    }
    DatabaseDecoder decoder(reader, DecodeOptions{.comfortNoise = options.comfortNoise});
    // The length is known before the first sample: past what a plain WAVE file's 32-bit sizes
    // state, the file is written as RF64 from the start.
    const WaveLayout layout = WaveWriter::layoutFor(decoder.frameCount() * kFrameSamples);
    WaveWriter writer;
    writer.setReplaceExisting(options.force);
    const std::uint32_t rate = reader.streamFormat().sampleRate;
    if ((toStandardOutput ? writer.open(scratch.stream(), rate, layout)
                          : writer.open(output, rate, layout)) != kWaveOk) {
        printError(std::string(writer.errorText()));
        return kExitFailure;
    }
    // From here on Ctrl-C and SIGTERM stop the decoding; the unfinished file goes with the writer.
    const StopOnSignals stopOnSignals;
    const StopToken& stop = signalStopToken();
    ProgressBar progress("Decoding", !options.quiet);
    std::array<std::int16_t, kFrameSamples> frame{};
    while (decoder.nextFrame(frame.data())) {
        if (stop.requested()) {
            progress.finish();
            if (!options.quiet) {
                printError("decoding stopped; nothing was written");
            }
            return stoppedExitStatus();
        }
        if (writer.writeSamples(frame.data(), frame.size()) != kWaveOk) {
            progress.finish();
            printError(std::string(writer.errorText()));
            return kExitFailure;
        }
        if ((decoder.framesDecoded() & 255) == 0) {
            progress.update(static_cast<double>(decoder.framesDecoded()) /
                            static_cast<double>(decoder.frameCount()));
        }
    }
    progress.finish();
    if (stop.requested()) {
        if (!options.quiet) {
            printError("decoding stopped; nothing was written");
        }
        return stoppedExitStatus();
    }
    if (writer.close() != kWaveOk) {
        printError(writer.targetExisted() ? existsAlreadyText(output)
                                          : std::string(writer.errorText()));
        return kExitFailure;
    }
    if (toStandardOutput &&
        (!scratch.rewindForReading() || !copyToStandardOutput(scratch.stream()))) {
        printError("cannot write the WAVE file to standard output");
        return kExitFailure;
    }
    if (!options.quiet) {
        // With the WAVE file on standard output, the summary goes with the messages.
        std::fprintf(
            toStandardOutput ? stderr : stdout, "%s: %llu Frames (%s) of %s, %u Hz mono 16-bit%s\n",
            toStandardOutput ? "standard output" : terminalSafeText(output.string()).c_str(),
            static_cast<unsigned long long>(decoder.framesDecoded()),
            formatMinutesSeconds(static_cast<std::int64_t>(reader.totalDurationMs())).c_str(),
            std::string(codecName(reader.streamFormat().codec)).c_str(),
            static_cast<unsigned>(reader.streamFormat().sampleRate),
            options.comfortNoise ? ", comfort noise in silence" : "");
    }
    return kExitSuccess;
}

}  // namespace

void addDecodeCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DecodeCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "decode",
        "Decode an audio database into a 16-bit mono WAVE file, as the handheld plays it");
    command->add_option("input", options->input, "Database file to decode")->required();
    command->add_option("-o,--output", options->output,
                        "WAVE file to write, or - for standard output (default: the input with "
                        ".wav)");
    command->add_flag("--comfort-noise", options->comfortNoise,
                      "Fill silence with low noise at its stored level instead of zeros");
    command->add_flag("-f,--force", options->force, "Overwrite an existing WAVE file");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->callback([options, &exitCode] { exitCode = runDecode(*options); });
}

}  // namespace zelvio::cli
