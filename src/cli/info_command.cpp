// zelvio info FILE [--json]
// FILE is a database (recognised by its header) or an audio file: for a database, what it holds
// record by record; for audio, what a conversion would make of it.
#include <array>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "io/path_text.h"
#include "job/stages.h"
#include "pdb/database_reader.h"
#include "pdb/file_blocks.h"
#include "pdb/handheld_text.h"
#include "pdb/palm_database.h"
#include "wave/audio_source.h"

namespace zelvio::cli {
namespace {

struct InfoOptions {
    std::string input;
    bool json = false;
};

/// Seconds from 1 January 1904 (the handheld's epoch) to 1 January 1970.
constexpr std::int64_t kPalmToUnixSeconds = 2082844800;

/// A handheld date (seconds since 1904, UTC) as "2001-12-07 00:00:00".
std::string palmDate(std::uint32_t seconds) {
    const std::int64_t unixSeconds = std::int64_t{seconds} - kPalmToUnixSeconds;
    std::int64_t days = unixSeconds / 86400;
    std::int64_t rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 in the proleptic Gregorian calendar (counted in
    // 400-year eras that start on 1 March, so that the leap day ends a year).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02d-%02d %02d:%02d:%02d", year,
                  static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

/// Milliseconds as "m:ss.mmm".
std::string duration(std::uint64_t milliseconds) {
    char text[96];
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64 ".%03" PRIu64, milliseconds / 60000,
                  milliseconds / 1000 % 60, milliseconds % 1000);
    return text;
}

/// The text as a JSON string, quotes included. A sequence that is not well-formed UTF-8 (in a
/// file name from a system that does not use UTF-8) becomes U+FFFD, so the output stays valid JSON.
std::string jsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const Utf8Sequence sequence = decodeUtf8(text);
        const char c = text.front();
        if (!sequence.codePoint) {
            out += "\\uFFFD";
        } else if (*sequence.codePoint >= 0x7F && *sequence.codePoint <= 0x9F) {
            // DEL and the C1 controls are valid in JSON, but a terminal acts on them.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X",
                          static_cast<unsigned>(*sequence.codePoint));
            out += escaped;
        } else if (sequence.length > 1) {
            out += text.substr(0, sequence.length);
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
        text.remove_prefix(sequence.length);
    }
    return out + "\"";
}

/// The size of the 16-bit samples the stream decodes to, against the file's size.
double compressionRatio(const DatabaseReader& reader) {
    const double pcmBytes =
        static_cast<double>(reader.totalChunks()) * reader.streamFormat().samplesPerFrame * 2.0;
    return pcmBytes / static_cast<double>(reader.fileSize());
}

void printText(const std::string& path, const DatabaseReader& reader) {
    const DatabaseHeader& header = reader.header();
    const StreamHeader& format = reader.streamFormat();
    const auto streamRecords = reader.streamRecords().size();
    const auto dateOrNone = [](std::uint32_t seconds) {
        return seconds == 0 ? std::string("none") : palmDate(seconds);
    };
    std::printf("File:          %s (%" PRIu64 " bytes%s)\n", terminalSafeText(path).c_str(),
                reader.fileSize(),
                reader.hasFiller() ? ", 2 filler bytes after the record list" : "");
    std::printf("Name:          %s\n", terminalSafeText(handheldTextToUtf8(reader.name())).c_str());
    std::printf("Type/creator:  %s/%s\n", terminalSafeText(fourChars(header.type)).c_str(),
                terminalSafeText(fourChars(header.creator)).c_str());
    std::printf("Created:       %s\n", dateOrNone(header.creationDate).c_str());
    std::printf("Modified:      %s\n", dateOrNone(header.modificationDate).c_str());
    std::printf("Backed up:     %s\n", dateOrNone(header.lastBackupDate).c_str());
    std::printf("Records:       %u (1 information record, %zu stream record%s)\n",
                static_cast<unsigned>(header.numRecords), streamRecords,
                streamRecords == 1 ? "" : "s");
    std::printf("Description:   %s\n",
                terminalSafeText(handheldTextToUtf8(reader.description())).c_str());
    std::printf("Stream:        %s (codec %u), %u Hz, %s, %u samples per Frame (%u ms)\n",
                std::string(codecName(format.codec)).c_str(), static_cast<unsigned>(format.codec),
                static_cast<unsigned>(format.sampleRate), format.channels == 1 ? "mono" : "stereo",
                static_cast<unsigned>(format.samplesPerFrame),
                static_cast<unsigned>(format.frameMs));
    std::printf("\n%6s %10s %7s %7s %8s %11s\n", "Record", "Offset", "Bytes", "Chunks", "Silence",
                "Duration");
    for (const StreamRecordInfo& record : reader.streamRecords()) {
        std::printf(
            "%6u %10u %7u %7u %8u %11s\n", static_cast<unsigned>(record.index),
            static_cast<unsigned>(record.offset), static_cast<unsigned>(record.header.recordBytes),
            static_cast<unsigned>(record.chunks()), static_cast<unsigned>(record.silenceChunks),
            duration(record.header.durationMs).c_str());
    }
    std::printf("\nTotal:         %" PRIu64 " chunks (%" PRIu64 " silence), %s, %" PRIu64
                " bytes of chunks; %.2f:1 against 16-bit PCM\n",
                reader.totalChunks(), reader.totalSilenceChunks(),
                duration(reader.totalDurationMs()).c_str(), reader.totalDataBytes(),
                compressionRatio(reader));
}

void printJson(const std::string& path, const DatabaseReader& reader) {
    const DatabaseHeader& header = reader.header();
    const StreamHeader& format = reader.streamFormat();
    std::printf("{\n");
    std::printf("  \"file\": %s,\n", jsonString(path).c_str());
    std::printf("  \"fileBytes\": %" PRIu64 ",\n", reader.fileSize());
    std::printf("  \"name\": %s,\n", jsonString(handheldTextToUtf8(reader.name())).c_str());
    std::printf("  \"type\": %s,\n", jsonString(fourChars(header.type)).c_str());
    std::printf("  \"creator\": %s,\n", jsonString(fourChars(header.creator)).c_str());
    std::printf("  \"created\": %s,\n", jsonString(palmDate(header.creationDate)).c_str());
    std::printf("  \"modified\": %s,\n", jsonString(palmDate(header.modificationDate)).c_str());
    std::printf("  \"backedUp\": %s,\n", jsonString(palmDate(header.lastBackupDate)).c_str());
    std::printf("  \"recordCount\": %u,\n", static_cast<unsigned>(header.numRecords));
    std::printf("  \"fillerBytes\": %s,\n", reader.hasFiller() ? "true" : "false");
    std::printf("  \"description\": %s,\n",
                jsonString(handheldTextToUtf8(reader.description())).c_str());
    std::printf(
        "  \"stream\": {\"codec\": %u, \"codecName\": %s, \"sampleRate\": %u, "
        "\"channels\": %u, \"samplesPerFrame\": %u, \"frameMs\": %u},\n",
        static_cast<unsigned>(format.codec), jsonString(codecName(format.codec)).c_str(),
        static_cast<unsigned>(format.sampleRate), static_cast<unsigned>(format.channels),
        static_cast<unsigned>(format.samplesPerFrame), static_cast<unsigned>(format.frameMs));
    std::printf("  \"records\": [\n");
    const auto& records = reader.streamRecords();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StreamRecordInfo& record = records[i];
        std::printf(
            "    {\"index\": %u, \"offset\": %u, \"bytes\": %u, \"chunks\": %u, "
            "\"silenceChunks\": %u, \"durationMs\": %u}%s\n",
            static_cast<unsigned>(record.index), static_cast<unsigned>(record.offset),
            static_cast<unsigned>(record.header.recordBytes),
            static_cast<unsigned>(record.chunks()), static_cast<unsigned>(record.silenceChunks),
            static_cast<unsigned>(record.header.durationMs), i + 1 < records.size() ? "," : "");
    }
    std::printf("  ],\n");
    std::printf("  \"total\": {\"chunks\": %" PRIu64 ", \"silenceChunks\": %" PRIu64
                ", \"durationMs\": %" PRIu64 ", \"dataBytes\": %" PRIu64
                ", \"compressionRatio\": %.4f}\n",
                reader.totalChunks(), reader.totalSilenceChunks(), reader.totalDurationMs(),
                reader.totalDataBytes(), compressionRatio(reader));
    std::printf("}\n");
}

/// What a conversion makes of an audio input at one mode, without voice activity detection
/// (with it, quiet Frames take one byte and more fits).
struct ModeCapacity {
    int bits;
    CodecCode codec;
    std::int64_t framesPerDatabase;  ///< audio chunks in the 199 stream records
    std::int64_t databases;          ///< databases the input fills (at least 1)
};

/// Audio chunks of a codec one database holds: 199 stream records, each filled with as many
/// whole chunks as fit beside its header in 64000 bytes.
std::int64_t framesPerDatabase(CodecCode codec) {
    const std::int64_t perRecord = (PalmDatabase::kMaxStreamRecordBytes - StreamHeader::kBytes) /
                                   audioChunkLength(static_cast<std::uint16_t>(codec));
    return (PalmDatabase::kMaxRecords - 1) * perRecord;
}

std::array<ModeCapacity, 4> capacities(std::int64_t frames) {
    std::array<ModeCapacity, 4> modes{};
    const int bits[] = {8, 4, 3, 2};
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const CodecCode codec = codecForBits(bits[i]);
        const std::int64_t capacity = framesPerDatabase(codec);
        modes[i] = {bits[i], codec, capacity,
                    std::max<std::int64_t>(1, (frames + capacity - 1) / capacity)};
    }
    return modes;
}

void printAudioText(const std::string& path, AudioSource& input) {
    const std::int64_t count = input.sampleFrameCount();
    const RunSize size = runSize(count, input.sampleRate());
    const auto lengthMs = static_cast<std::uint64_t>(count * 1000 / input.sampleRate());
    std::printf("File:          %s\n", terminalSafeText(path).c_str());
    std::printf("Format:        %s\n", terminalSafeText(input.formatDescription()).c_str());
    if (const std::string notice = input.notice(); !notice.empty()) {
        std::printf("Note:          %s\n", terminalSafeText(notice).c_str());
    }
    std::printf("Sample rate:   %u Hz\n", static_cast<unsigned>(input.sampleRate()));
    std::printf("Channels:      %u (%s)\n", static_cast<unsigned>(input.channels()),
                input.channels() == 1 ? "mono" : "stereo, mixed to mono when converted");
    std::printf("Length:        %s (%" PRId64 " sample frames)\n", duration(lengthMs).c_str(),
                count);
    std::printf("Converted:     %" PRId64 " Frames of %d ms at %u Hz mono (%s)\n", size.frameCount,
                kFrameMs, static_cast<unsigned>(kStreamSampleRate),
                duration(static_cast<std::uint64_t>(size.frameCount * kFrameMs)).c_str());
    std::printf("\n%-12s %9s %22s\n", "Mode", "Databases", "Audio per database");
    for (const ModeCapacity& mode : capacities(size.frameCount)) {
        std::printf(
            "%-12s %9" PRId64 " %22s\n",
            std::string(codecName(static_cast<std::uint16_t>(mode.codec))).c_str(), mode.databases,
            duration(static_cast<std::uint64_t>(mode.framesPerDatabase * kFrameMs)).c_str());
    }
    std::printf("\nWith voice activity detection quiet Frames take one byte, so more fits.\n");
}

void printAudioJson(const std::string& path, AudioSource& input) {
    const std::int64_t count = input.sampleFrameCount();
    const RunSize size = runSize(count, input.sampleRate());
    std::printf("{\n");
    std::printf("  \"file\": %s,\n", jsonString(path).c_str());
    std::printf("  \"kind\": \"audio\",\n");
    std::printf("  \"format\": %s,\n", jsonString(input.formatDescription()).c_str());
    std::printf("  \"notice\": %s,\n", jsonString(input.notice()).c_str());
    std::printf("  \"sampleRate\": %u,\n", static_cast<unsigned>(input.sampleRate()));
    std::printf("  \"channels\": %u,\n", static_cast<unsigned>(input.channels()));
    std::printf("  \"sampleFrames\": %" PRId64 ",\n", count);
    std::printf("  \"durationMs\": %" PRId64 ",\n", count * 1000 / input.sampleRate());
    std::printf("  \"frames\": %" PRId64 ",\n", size.frameCount);
    std::printf("  \"modes\": [\n");
    const auto modes = capacities(size.frameCount);
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const ModeCapacity& mode = modes[i];
        std::printf("    {\"bits\": %d, \"codecName\": %s, \"framesPerDatabase\": %" PRId64
                    ", \"msPerDatabase\": %" PRId64 ", \"databases\": %" PRId64 "}%s\n",
                    mode.bits,
                    jsonString(codecName(static_cast<std::uint16_t>(mode.codec))).c_str(),
                    mode.framesPerDatabase, mode.framesPerDatabase * kFrameMs, mode.databases,
                    i + 1 < modes.size() ? "," : "");
    }
    std::printf("  ]\n}\n");
}

int runInfo(const InfoOptions& options) {
    const std::filesystem::path input = pathFromUtf8(options.input);
    DatabaseReader reader;
    const ReadStatus status = reader.open(input);
    if (status == kReadOk) {
        if (options.json) {
            printJson(options.input, reader);
        } else {
            printText(options.input, reader);
        }
        return kExitSuccess;
    }
    // A file whose header does not fit a database, or names another kind, may be audio: shown
    // as what a conversion would make of it. The length of an input whose header does not
    // state it is counted by reading it.
    if (status == kReadBadLayout || status == kReadWrongKind) {
        const OpenedAudio audio = openAudioSource(input, LengthRule::Counted);
        if (audio.status == kAudioOk && audio.source->sampleRate() > 0) {
            if (options.json) {
                printAudioJson(options.input, *audio.source);
            } else {
                printAudioText(options.input, *audio.source);
            }
            return kExitSuccess;
        }
        // kAudioUnsupported: the readers that might know the format could not be loaded.
        if (audio.formatRecognised || audio.status == kAudioUnsupported) {
            printError(options.input + ": " + audio.errorText);
            return kExitFailure;
        }
    }
    printError(options.input + ": " + std::string(reader.errorText()));
    return kExitFailure;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info",
        "Show what an audio database holds, record by record, or what an audio file would give");
    command->add_option("input", options->input, "Database or audio file to read")->required();
    command->add_flag("--json", options->json, "Print the same as one JSON object");
    command->callback([options, &exitCode] { exitCode = runInfo(*options); });
}

}  // namespace zelvio::cli
