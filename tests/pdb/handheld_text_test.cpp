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

TEST(HandheldText, SaysWhatAConversionLosesForAWarning) {
    const struct {
        const char* utf8;
        std::size_t max;
        std::size_t characters;
        bool cut;
        std::vector<std::string> replaced;
    } cases[] = {
        {"Memo", 31, 4, false, {}},
        {"caf\xC3\xA9 \xE2\x82\xAC 5", 31, 8, false, {}},  // in the character set
        {"a question?", 31, 11, false, {}},                // a '?' of its own is kept
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA \xC5\x81",
         31,
         6,
         false,
         {"\xC5\x81", "\xC5\xBA"}},
        {"tab\there\tx", 31, 10, false, {"U+0009"}},
        {"bad \xFF byte", 31, 10, false, {"\\xFF"}},
        {"\xF0\x9F\x8E\xB5 song", 31, 6, false, {"\xF0\x9F\x8E\xB5"}},
        {"0123456789012345678901234567890", 31, 31, false, {}},  // 31 fit
        {"01234567890123456789012345678901", 31, 32, true, {}},
        // only the stored part's characters are listed
        {"0123456789012345678901234567890\xE4\xB8\xAD", 31, 32, true, {}},
        {"\xE4\xB8\xAD"
         "123",
         2,
         4,
         true,
         {"\xE4\xB8\xAD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        const HandheldTextLoss loss = handheldTextLoss(c.utf8, c.max);
        EXPECT_EQ(loss.characters, c.characters);
        EXPECT_EQ(loss.cut, c.cut);
        EXPECT_EQ(loss.replaced, c.replaced);
        EXPECT_EQ(loss.any(), c.cut || !c.replaced.empty());
    }
}

}  // namespace
}  // namespace zelvio
