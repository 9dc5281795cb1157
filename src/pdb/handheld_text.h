#pragma once
// Texts in a database (its name, the description) are stored in the handheld's character set,
// Windows-1252, one byte per character. This is the one table of that set, used both ways: UTF-8
// into handheld text when a database is made, and handheld text back to UTF-8 when it is shown.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvio {

/// One UTF-8 sequence read from the start of a text.
struct Utf8Sequence {
    std::optional<char32_t> codePoint;  ///< none when the sequence is not well-formed
    std::size_t length;                 ///< bytes it takes, at least 1
};

/// Reads the sequence at the start of a non-empty text. Overlong forms, surrogates and values past
/// U+10FFFF are not well-formed; a broken sequence takes its longest well-formed prefix (at least
/// its first byte), so that it can be replaced by one character.
[[nodiscard]] Utf8Sequence decodeUtf8(std::string_view text);

/// Converts UTF-8 text to Windows-1252 and keeps at most maxCharacters characters.
/// Characters Windows-1252 lacks, control characters (below 0x20) and every invalid UTF-8
/// sequence become '?'. The count is taken after the conversion: one byte is one character.
[[nodiscard]] std::string toHandheldText(std::string_view utf8, std::size_t maxCharacters);

/// What converting a text with toHandheldText(utf8, maxCharacters) loses, for a warning.
struct HandheldTextLoss {
    std::size_t characters = 0;  ///< characters in the whole text (a broken sequence counts one)
    bool cut = false;            ///< more than maxCharacters: the rest is not stored
    /// The characters of the stored part that become '?', each once, in the order they come:
    /// the character itself (UTF-8), "U+0009" for a control character, "\xC3" for the first byte
    /// of a sequence that is not well-formed.
    std::vector<std::string> replaced;
    [[nodiscard]] bool any() const { return cut || !replaced.empty(); }
};
[[nodiscard]] HandheldTextLoss handheldTextLoss(std::string_view utf8, std::size_t maxCharacters);

/// Converts handheld text (Windows-1252) to UTF-8. The five bytes that Windows-1252 leaves
/// undefined become U+FFFD.
[[nodiscard]] std::string handheldTextToUtf8(std::string_view handheld);

}  // namespace zelvio
