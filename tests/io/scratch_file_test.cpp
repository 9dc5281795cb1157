// The scratch file: private to the run, readable after writing, and never left behind.
#include "io/scratch_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "support/files.h"

namespace zelvio {
namespace {

TEST(ScratchFile, ReadsBackWhatWasWrittenAndLeavesNoNameInTheTemporaryFolder) {
    const test_support::TemporaryFolderOverride tmp;
    {
        ScratchFile scratch;
        ASSERT_TRUE(scratch.create("t"));
        ASSERT_NE(scratch.stream(), nullptr);
        const std::array<char, 5> written = {'a', 'b', 'c', 'd', 'e'};
        ASSERT_EQ(std::fwrite(written.data(), 1, 5, scratch.stream()), 5u);
        ASSERT_TRUE(scratch.rewindForReading());
        std::array<char, 5> read{};
        ASSERT_EQ(std::fread(read.data(), 1, 5, scratch.stream()), 5u);
        EXPECT_EQ(read, written);
#ifndef _WIN32
        // Windows has no nameless files: there the name stays until the stream closes.
        EXPECT_TRUE(tmp.empty());  // the open stream keeps the file, not its name
#endif
        scratch.remove();
        EXPECT_TRUE(tmp.empty());
        EXPECT_EQ(scratch.stream(), nullptr);
        EXPECT_FALSE(scratch.rewindForReading());
    }
    EXPECT_TRUE(tmp.empty());
}

}  // namespace
}  // namespace zelvio
