#include "job/database_title.h"

#include <gtest/gtest.h>

namespace zelvio {
namespace {

TEST(DatabaseTitle, EmptyTitleFallsBackToTheInputNameThenToAudio) {
    EXPECT_EQ(databaseTitle("Memo", "recording"), "Memo");
    EXPECT_EQ(databaseTitle("", "recording"), "recording");
    EXPECT_EQ(databaseTitle("", std::string(40, 'r')), std::string(31, 'r'));
    EXPECT_EQ(databaseTitle("", ""), "Audio");
}

}  // namespace
}  // namespace zelvio
