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

OutcomeMessage outcomeMessage(const ConversionSettings& settings,
                              const ConversionOutcome& outcome) {
    OutcomeMessage message{outcome.message, outcome.caption, outcome.icon, outcome.detail};
    if (!outcome.failed()) {
        message.detail = savedSummary(settings, outcome, fileSize(settings.databasePath));
    }
    return message;
}

}  // namespace zelvio
