// Text for the handheld: the database title and description are stored in the handheld's
// character set (Windows-1252), one byte per character, with a fixed room each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvio {

/// Converts UTF-8 text to Windows-1252 and keeps at most maxCharacters characters.
/// Characters Windows-1252 lacks, control characters (below 0x20) and every invalid UTF-8
/// sequence become '?'. The count is taken after the conversion: one byte is one character.
std::string toHandheldText(std::string_view utf8, std::size_t maxCharacters);

/// The title the database gets: the given title converted and cut to 31 characters; when that is
/// empty, the input file's name without its extension (converted and cut the same way); when that
/// is empty too, "Audio". The handheld refuses to install a database without a name.
std::string databaseTitle(std::string_view utf8Title, std::string_view utf8InputStem);

inline constexpr std::size_t kMaxTitleCharacters = 31;
inline constexpr std::size_t kMaxDescriptionCharacters = 63;

}  // namespace zelvio
