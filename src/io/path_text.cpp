#include "io/path_text.h"

namespace zelvio {

std::string quotedPath(const std::filesystem::path& path) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "\"" + std::string.
    const std::string name = path.string();
    std::string text;
    text.reserve(name.size() + 2);
    text += '"';
    text += name;
    text += '"';
    return text;
}

}  // namespace zelvio
