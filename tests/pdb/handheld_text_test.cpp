// The handheld character set: UTF-8 in, Windows-1252 stored, and back to UTF-8 for display.
#include "pdb/handheld_text.h"

#include <gtest/gtest.h>

namespace zelvio {
namespace {

TEST(HandheldText, ConvertsUtf8ToWindows1252AndReplacesWhatItLacks) {
    struct Case {
        const char* utf8;
        const char* expected;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"caf\xC3\xA9 na\xC3\xAFve \xC3\xBF", "caf\xE9 na\xEFve \xFF"},  // Latin-1 range
        {"\xE2\x82\xAC 5 \xE2\x80\x94 \xE2\x80\x9Cok\xE2\x80\x9D",
         "\x80 5 \x97 \x93ok\x94"},  // specials
        {"\xC5\x93\xC5\xB8\xE2\x84\xA2", "\x9C\x9F\x99"},
        {"\xCE\xA9 \xE4\xB8\xAD \xF0\x9F\x8E\xB5", "? ? ?"},  // not in the character set
        {"tab\there\nnew", "tab?here?new"},                   // control characters
        {"\xC2\x81", "?"},                                    // C1 control
        {"bad \xFF byte", "bad ? byte"},
        {"cut \xE2\x82", "cut ?"},             // truncated sequence: one '?'
        {"\xC0\xAF overlong", "?? overlong"},  // overlong form: both bytes invalid
        {"\xED\xA0\x80 surrogate", "??? surrogate"},
        {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(toHandheldText(c.utf8, 63), c.expected);
    }
}

TEST(HandheldText, CountsCharactersAfterConversion) {
    // 40 two-byte characters are 40 characters on the handheld: 31 are kept.
    std::string utf8;
    for (int i = 0; i < 40; ++i) {
        utf8 += "\xC3\xA9";
    }
    EXPECT_EQ(toHandheldText(utf8, 31), std::string(31, '\xE9'));
    EXPECT_EQ(toHandheldText(std::string(100, 'd'), 63), std::string(63, 'd'));
    EXPECT_EQ(toHandheldText("", 31), "");
}

TEST(HandheldText, ConvertsBackToUtf8WithUndefinedBytesReplaced) {
    struct Case {
        const char* handheld;
        const char* utf8;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"caf\xE9 \xFF", "caf\xC3\xA9 \xC3\xBF"},
        {"\x80\x97\x9C", "\xE2\x82\xAC\xE2\x80\x94\xC5\x93"},
        {"\x81\x8D\x8F\x90\x9D", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handheld);
        EXPECT_EQ(handheldTextToUtf8(c.handheld), c.utf8);
    }
    // Every defined byte goes there and back unchanged.
    for (int byte = 0x20; byte < 0x100; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string utf8 = handheldTextToUtf8(one);
        if (utf8 != "\xEF\xBF\xBD") {
            EXPECT_EQ(toHandheldText(utf8, 1), one) << byte;
        }
    }
}

}  // namespace
}  // namespace zelvio
