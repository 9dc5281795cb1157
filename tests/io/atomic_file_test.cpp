// The atomic file: nothing at the target until commit, the temporary file gone on every way out,
// long target names, and completing a header in place.
#include "io/atomic_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;

TEST(AtomicFile, LeavesTheTargetAloneUntilCommitAndRemovesAnUncommittedFile) {
    TempDirectory dir;
    const fs::path target = dir.write("out.bin", {'o', 'l', 'd'});
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        EXPECT_EQ(file.temporaryPath().parent_path(), dir.path());
        ASSERT_TRUE(file.write(bytes, 4));
        EXPECT_EQ(dir.entries().size(), 2u);
        EXPECT_EQ(readFileBytes(target), (Bytes{'o', 'l', 'd'}));
    }
    EXPECT_EQ(dir.entries().size(), 1u);
    EXPECT_EQ(readFileBytes(target), (Bytes{'o', 'l', 'd'}));

    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write(bytes, 4));
    ASSERT_TRUE(file.commit());
    EXPECT_TRUE(file.temporaryPath().empty());
    EXPECT_EQ(readFileBytes(target), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(dir.entries().size(), 1u);
    EXPECT_FALSE(file.write(bytes, 1));  // committed: closed
    EXPECT_FALSE(file.commit());
}

TEST(AtomicFile, WritesTargetsWithTheLongestNamesTheFolderTakes) {
    // File names may be up to 255 bytes long; the temporary file beside the target must fit too.
    TempDirectory dir;
    for (const std::size_t length : {1u, 200u, 240u, 255u}) {
        SCOPED_TRACE(length);
        const fs::path target = dir.path() / std::string(length, 'n');
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        EXPECT_LE(file.temporaryPath().filename().native().size(), 255u);
        const std::uint8_t byte = 7;
        ASSERT_TRUE(file.write(&byte, 1));
        ASSERT_TRUE(file.commit());
        EXPECT_EQ(readFileBytes(target), Bytes{7});
        fs::remove(target);
        EXPECT_EQ(dir.entries().size(), 0u);
    }
}

TEST(AtomicFile, WriteAtCompletesAHeaderAndAppendingGoesOnAtTheEnd) {
    TempDirectory dir;
    AtomicFile file(dir.path() / "out.bin");
    ASSERT_TRUE(file.open());
    const std::uint8_t zeros[4] = {};
    const std::uint8_t body[] = {5, 6};
    const std::uint8_t size[] = {9, 9};
    ASSERT_TRUE(file.write(zeros, 4));
    ASSERT_TRUE(file.write(body, 2));
    ASSERT_TRUE(file.writeAt(1, size, 2));
    ASSERT_TRUE(file.write(body, 1));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(readFileBytes(dir.path() / "out.bin"), (Bytes{0, 9, 9, 0, 5, 6, 5}));
}

TEST(AtomicFile, RefusesAFolderThatDoesNotExistAndLeavesNothing) {
    TempDirectory dir;
    AtomicFile file(dir.path() / "missing" / "out.bin");
    EXPECT_FALSE(file.open());
    EXPECT_FALSE(file.isOpen());
    const std::uint8_t byte = 1;
    EXPECT_FALSE(file.write(&byte, 1));
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(dir.entries().size(), 0u);
}

}  // namespace
}  // namespace zelvio
