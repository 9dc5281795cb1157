#pragma once
// How a path appears in a message to the user.

#include <filesystem>
#include <string>

namespace zelvio {

/// The path in double quotes, as messages show it: "\"talk.wav\"".
[[nodiscard]] std::string quotedPath(const std::filesystem::path& path);

}  // namespace zelvio
