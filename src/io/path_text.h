#pragma once
// How a path, or any text that came from a file, appears in a message to the user.

#include <filesystem>
#include <string>
#include <string_view>

namespace zelvio {

/// A path from UTF-8 text and back, without losing characters on any system. On Windows a path
/// made straight from a std::string would take it in the ANSI code page (with MinGW's runtime,
/// byte by byte), so text from the command line or a dialog becomes a path only through these.
[[nodiscard]] std::filesystem::path pathFromUtf8(std::string_view text);
[[nodiscard]] std::string utf8FromPath(const std::filesystem::path& path);

/// The path in double quotes, as messages show it: "\"talk.wav\"".
[[nodiscard]] std::string quotedPath(const std::filesystem::path& path);

/// text with everything a terminal would act on instead of show written out as \xNN: control
/// characters (bytes 0 to 31 and 127, the escape character among them), the C1 controls U+0080
/// to U+009F, and bytes that are not UTF-8. Printable characters, UTF-8 letters of every script
/// included, stay as they are; so does a backslash. Text from a file (a name, a title, a
/// description, a reader's message) goes through this before it reaches a terminal, so that a
/// crafted file cannot set the terminal's title, clear the screen or hide what follows.
[[nodiscard]] std::string terminalSafeText(std::string_view text);

}  // namespace zelvio
