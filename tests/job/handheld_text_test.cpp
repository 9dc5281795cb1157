#include "job/handheld_text.h"

#include <gtest/gtest.h>

namespace zelvio {
namespace {

TEST(HandheldText, convertsUtf8ToWindows1252AndReplacesWhatItLacks) {
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

TEST(HandheldText, countsCharactersAfterConversion) {
    // 40 two-byte characters are 40 characters on the handheld: 31 are kept.
    std::string utf8;
    for (int i = 0; i < 40; ++i) {
        utf8 += "\xC3\xA9";
    }
    EXPECT_EQ(toHandheldText(utf8, 31), std::string(31, '\xE9'));
    EXPECT_EQ(toHandheldText(std::string(100, 'd'), 63), std::string(63, 'd'));
    EXPECT_EQ(toHandheldText("", 31), "");
}

TEST(HandheldText, emptyTitleFallsBackToTheInputNameThenToAudio) {
    EXPECT_EQ(databaseTitle("Memo", "recording"), "Memo");
    EXPECT_EQ(databaseTitle("", "recording"), "recording");
    EXPECT_EQ(databaseTitle("", std::string(40, 'r')), std::string(31, 'r'));
    EXPECT_EQ(databaseTitle("", ""), "Audio");
}

}  // namespace
}  // namespace zelvio
