// The Windows branch of the file helpers: publishing with and without replacing.
#include <gtest/gtest.h>

#include "io/atomic_file.h"
#include "support/files.h"

namespace zelvio {
namespace {

using test_support::TempDirectory;

TEST(WindowsFiles, Placeholder) {
    TempDirectory dir;
    EXPECT_TRUE(std::filesystem::exists(dir.path()));
}

}  // namespace
}  // namespace zelvio
