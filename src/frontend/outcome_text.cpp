#include "frontend/outcome_text.h"

#include <algorithm>
#include <system_error>

#include "frontend/converter_form.h"
#include "pdb/stream_format.h"

namespace zelvio {

std::optional<std::uintmax_t> fileSize(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return std::nullopt;
    }
    return size;
}

std::string groupedCount(std::uintmax_t count) {
    // Copied digit by digit rather than with inserts, which GCC 12 at -O3 (Release) takes for an
    // overlapping copy (-Wrestrict, a false alarm).
    const std::string digits = std::to_string(count);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

std::string savedSummary(const ConversionSettings& settings, const ConversionOutcome& outcome,
                         std::optional<std::uintmax_t> databaseBytes) {
    const bool cut = outcome.framesCoded < outcome.framesTotal;
    std::string text = utf8FromPath(settings.databasePath);
    text += cut ? ": saved (cut)" : ": saved";
    if (databaseBytes) {
        text += ", " + groupedCount(*databaseBytes) + (*databaseBytes == 1 ? " byte" : " bytes");
    }
    const auto codec = static_cast<std::uint16_t>(codecForBits(settings.bitsPerSample));
    text += ", ";
    text += codecName(codec);
    if (settings.adpcmCoding == AdpcmCoding::Search &&
        codecForBits(settings.bitsPerSample) != CodecCode::Pcm8) {
        text += " (search encoder)";
    }
    if (settings.voiceActivityDetection) {
        text += " with voice activity detection";
    }
    const auto framesKept =
        static_cast<std::uintmax_t>(std::max<std::int64_t>(outcome.framesCoded, 0));
    text += ", " + groupedCount(framesKept);
    if (cut) {
        text += " of " + groupedCount(static_cast<std::uintmax_t>(outcome.framesTotal));
    }
    text += framesKept == 1 && !cut ? " Frame (" : " Frames (";
    text += formatMinutesSeconds(outcome.framesCoded * kFrameMs);
    if (cut) {
        text += " of " + formatMinutesSeconds(outcome.framesTotal * kFrameMs);
    }
    text += "), " + std::to_string(outcome.recordCount) +
            (outcome.recordCount == 1 ? " record" : " records");
    return text;
}

std::vector<std::string> savedSummaries(const ConversionSettings& settings,
                                        const ConversionOutcome& outcome) {
    return savedSummaries(settings, outcome, fileSize);
}

std::vector<std::string> savedSummaries(const ConversionSettings& settings,
                                        const ConversionOutcome& outcome,
                                        const DatabaseSize& sizeOf) {
    if (outcome.databases.size() <= 1) {
        return {savedSummary(settings, outcome, sizeOf(settings.databasePath))};
    }
    std::vector<std::string> lines;
    for (const SavedDatabase& saved : outcome.databases) {
        ConversionSettings part = settings;
        part.databasePath = saved.path;
        ConversionOutcome partOutcome;
        partOutcome.framesCoded = saved.framesCoded;
        partOutcome.framesTotal = saved.framesCoded;
        partOutcome.recordCount = saved.recordCount;
        lines.push_back(savedSummary(part, partOutcome, sizeOf(saved.path)));
    }
    return lines;
}

OutcomeMessage outcomeMessage(const ConversionSettings& settings,
                              const ConversionOutcome& outcome) {
    OutcomeMessage message{outcome.message, outcome.caption, outcome.icon, outcome.detail};
    if (!outcome.failed()) {
        message.detail.clear();
        for (const std::string& line : savedSummaries(settings, outcome)) {
            message.detail += (message.detail.empty() ? "" : "\n") + line;
        }
        if (!outcome.inputNotice.empty()) {
            // What the user should know about the input (a recording cut short, which track).
            message.detail += "\nNote: " + outcome.inputNotice;
        }
    }
    return message;
}

}  // namespace zelvio
