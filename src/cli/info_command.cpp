// zelvio info FILE.pdb [--json]
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "pdb/database_reader.h"
#include "pdb/handheld_text.h"

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
    std::printf("File:          %s (%" PRIu64 " bytes%s)\n", path.c_str(), reader.fileSize(),
                reader.hasFiller() ? ", 2 filler bytes after the record list" : "");
    std::printf("Name:          %s\n", handheldTextToUtf8(reader.name()).c_str());
    std::printf("Type/creator:  %s/%s\n", fourChars(header.type).c_str(),
                fourChars(header.creator).c_str());
    std::printf("Created:       %s\n", dateOrNone(header.creationDate).c_str());
    std::printf("Modified:      %s\n", dateOrNone(header.modificationDate).c_str());
    std::printf("Backed up:     %s\n", dateOrNone(header.lastBackupDate).c_str());
    std::printf("Records:       %u (1 information record, %zu stream record%s)\n",
                static_cast<unsigned>(header.numRecords), streamRecords,
                streamRecords == 1 ? "" : "s");
    std::printf("Description:   %s\n", handheldTextToUtf8(reader.description()).c_str());
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

int runInfo(const InfoOptions& options) {
    DatabaseReader reader;
    if (reader.open(options.input) != kReadOk) {
        printError(options.input + ": " + std::string(reader.errorText()));
        return kExitFailure;
    }
    if (options.json) {
        printJson(options.input, reader);
    } else {
        printText(options.input, reader);
    }
    return kExitSuccess;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command =
        app.add_subcommand("info", "Show what an audio database holds, record by record");
    command->add_option("input", options->input, "Database file to read")->required();
    command->add_flag("--json", options->json, "Print the same as one JSON object");
    command->callback([options, &exitCode] { exitCode = runInfo(*options); });
}

}  // namespace zelvio::cli
