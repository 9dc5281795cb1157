// Checks the one convention every component's statuses share: each named status has a text of
// its own, and a number that names none reads "unknown status".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>

namespace zelvio::test_support {

template <typename TextOf>
void expectDistinctStatusTexts(TextOf textOf, std::initializer_list<std::uint16_t> statuses) {
    std::set<std::string> texts;
    for (const std::uint16_t status : statuses) {
        SCOPED_TRACE(status);
        const std::string text = textOf(status);
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text, "unknown status");
        EXPECT_TRUE(texts.insert(text).second) << "text used twice: " << text;
    }
    EXPECT_STREQ(textOf(0xFFFF), "unknown status");
}

}  // namespace zelvio::test_support
