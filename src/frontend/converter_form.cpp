#include "frontend/converter_form.h"

#include <cctype>
#include <system_error>

namespace zelvio {
namespace fs = std::filesystem;

std::string withoutMnemonic(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;  // "&x" shows x, "&&" one ampersand
        }
        shown += text[i];
    }
    return shown;
}

std::optional<char> mnemonicOf(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') {
            continue;
        }
        if (text[i + 1] != '&') {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
        }
        ++i;  // an escaped ampersand
    }
    return std::nullopt;
}

int bitsForMode(int checkedModeId) {
    for (const CompressionMode& mode : kCompressionModes) {
        if (mode.id == checkedModeId) {
            return mode.bitsPerSample;
        }
    }
    return 2;  // as the job takes any other number: the last mode
}

int modeForBits(int bitsPerSample) {
    for (const CompressionMode& mode : kCompressionModes) {
        if (mode.bitsPerSample == bitsPerSample) {
            return mode.id;
        }
    }
    return control_id::kEightBits;
}

ConversionSettings settingsFromFields(const FormFields& fields) {
    ConversionSettings settings;
    settings.inputPath = pathFromUtf8(fields.inputPath);
    settings.databasePath = pathFromUtf8(fields.databasePath);
    settings.title = fields.title;
    settings.description = fields.description;
    settings.bitsPerSample = bitsForMode(fields.checkedModeId);
    settings.voiceActivityDetection = fields.voiceActivityDetection;
    settings.adpcmCoding = fields.bestQuality ? AdpcmCoding::Search : AdpcmCoding::Greedy;
    settings.split = fields.split;
    return settings;
}

std::string suggestedDatabasePath(std::string_view inputPath) {
    const fs::path input = pathFromUtf8(inputPath);
    if (!input.has_filename()) {
        return {};
    }
    fs::path database = input;
    database.replace_extension(".pdb");
    if (database == input) {
        return {};
    }
    return utf8FromPath(database);
}

std::optional<std::string> DatabaseNameSuggester::inputChanged(std::string_view inputText,
                                                               std::string_view databaseText) {
    if (!databaseText.empty() && databaseText != lastSuggestion_) {
        return std::nullopt;  // the user's own choice
    }
    lastSuggestion_ = suggestedDatabasePath(inputText);
    if (lastSuggestion_ == databaseText) {
        return std::nullopt;
    }
    return lastSuggestion_;
}

namespace {

/// The absolute folder of a path given as text; empty for an empty text.
std::string folderOf(std::string_view pathText) {
    if (pathText.empty()) {
        return {};
    }
    std::error_code error;
    fs::path path = fs::absolute(pathFromUtf8(pathText), error);
    if (error) {
        path = pathFromUtf8(pathText);
    }
    return utf8FromPath(path.parent_path());
}

}  // namespace

RememberedChoices choicesToRemember(const RememberedChoices& before, const FormFields& fields) {
    RememberedChoices after = before;
    if (std::string folder = folderOf(fields.inputPath); !folder.empty()) {
        after.inputFolder = std::move(folder);
    }
    if (std::string folder = folderOf(fields.databasePath); !folder.empty()) {
        after.databaseFolder = std::move(folder);
    }
    after.bitsPerSample = bitsForMode(fields.checkedModeId);
    after.bestQuality = fields.bestQuality;
    return after;
}

std::string browseFolder(std::string_view fieldText, std::string_view rememberedFolder) {
    if (fieldText.empty()) {
        return std::string(rememberedFolder);
    }
    return folderOf(fieldText);
}

}  // namespace zelvio
