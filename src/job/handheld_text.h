// Text for the handheld: the database title and description are stored in the handheld's
// character set (Windows-1252), one byte per character, with a fixed room each.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelvio {

/// One UTF-8 sequence read from the start of a text.
struct Utf8Sequence {
    std::optional<char32_t> codePoint;  ///< none when the sequence is not well-formed
    std::size_t length;                 ///< bytes it takes, at least 1
};

/// Reads the sequence at the start of a non-empty text. Overlong forms, surrogates and values past
/// U+10FFFF are not well-formed; a broken sequence takes its longest well-formed prefix (at least
/// its first byte), so that it can be replaced by one character.
Utf8Sequence decodeUtf8(std::string_view text);

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
