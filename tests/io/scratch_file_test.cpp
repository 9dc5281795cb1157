// The scratch file: private to the run, readable after writing, and never left behind.
#include "io/scratch_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <optional>
#include <string>

#include "support/wave_builder.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;

TEST(ScratchFile, ReadsBackWhatWasWrittenAndLeavesNoNameInTheTemporaryFolder) {
    test_support::TempDirectory dir;
    const char* old = std::getenv("TMPDIR");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("TMPDIR", dir.path().c_str(), 1);
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
        EXPECT_TRUE(fs::is_empty(dir.path()));  // the open stream keeps the file, not its name
        scratch.remove();
        EXPECT_EQ(scratch.stream(), nullptr);
        EXPECT_FALSE(scratch.rewindForReading());
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    if (saved) {
        ::setenv("TMPDIR", saved->c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

}  // namespace
}  // namespace zelvio
