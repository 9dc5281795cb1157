#include "frontend/text_warnings.h"

#include "pdb/handheld_text.h"
#include "pdb/palm_database.h"

namespace zelvio {
namespace {

void addWarnings(std::vector<std::string>& warnings, std::string_view what, std::string_view text,
                 std::size_t maxCharacters) {
    const HandheldTextLoss loss = handheldTextLoss(text, maxCharacters);
    const std::string stored = handheldTextToUtf8(toHandheldText(text, maxCharacters));
    if (loss.cut) {
        warnings.push_back("the " + std::string(what) + " is cut to " +
                           std::to_string(maxCharacters) + " characters: \"" + stored + "\"");
    }
    if (!loss.replaced.empty()) {
        std::string list;
        for (const std::string& character : loss.replaced) {
            list += (list.empty() ? "\"" : ", \"") + character + "\"";
        }
        warnings.push_back("the handheld cannot show " + list + " in the " + std::string(what) +
                           ": stored as \"?\" (\"" + stored + "\")");
    }
}

}  // namespace

std::vector<std::string> handheldTextWarnings(const ConversionSettings& settings) {
    std::vector<std::string> warnings;
    const std::string title =
        settings.title.empty() ? settings.inputPath.stem().string() : settings.title;
    addWarnings(warnings, "title", title, PalmDatabase::kMaxTitleBytes);
    addWarnings(warnings, "description", settings.description, PalmDatabase::kMaxTextBytes);
    return warnings;
}

}  // namespace zelvio
