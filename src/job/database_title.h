#pragma once
// The title a database gets from what the user typed.

#include <string>
#include <string_view>

namespace zelvio {

/// The title the database gets: the given title converted to handheld text and cut to 31
/// characters; when that is empty, the input file's name without its extension (converted and
/// cut the same way); when that is empty too, "Audio". The handheld refuses to install a database
/// without a name.
[[nodiscard]] std::string databaseTitle(std::string_view utf8Title, std::string_view utf8InputStem);

}  // namespace zelvio
