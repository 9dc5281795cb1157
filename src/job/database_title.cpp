#include "job/database_title.h"

#include "pdb/handheld_text.h"
#include "pdb/palm_database.h"

namespace zelvio {

std::string databaseTitle(std::string_view utf8Title, std::string_view utf8InputStem) {
    std::string title = toHandheldText(utf8Title, PalmDatabase::kMaxTitleBytes);
    if (title.empty()) {
        title = toHandheldText(utf8InputStem, PalmDatabase::kMaxTitleBytes);
    }
    if (title.empty()) {
        title = "Audio";
    }
    return title;
}

}  // namespace zelvio
