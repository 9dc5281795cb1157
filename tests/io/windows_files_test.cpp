// The Windows branch of the file helpers, under Windows or Wine: a save around a target another
// program holds open, a file that appears while a save runs, reserved device names, and names in
// every script.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "io/atomic_file.h"
#include "io/path_text.h"
#include "support/files.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;

/// Opens path as another program might while it lives: for reading, sharing nothing.
class HeldOpen {
  public:
    explicit HeldOpen(const fs::path& path)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    [[nodiscard]] bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

/// Writes bytes to target through an AtomicFile; the file is returned for its error texts.
bool save(AtomicFile& file, const Bytes& bytes) {
    return file.open() && file.write(bytes.data(), bytes.size()) && file.commit();
}

TEST(WindowsFiles, ATargetHeldOpenElsewhereIsLeftAloneWithAMessageThatSaysSo) {
    TempDirectory dir;
    const fs::path target = dir.write("held.pdb", {'o', 'l', 'd'});
    const HeldOpen other(target);
    ASSERT_TRUE(other.held());
    AtomicFile file(target);
    EXPECT_FALSE(save(file, {1, 2, 3}));
    EXPECT_EQ(file.errorText(),
              "cannot put the new file in place as " + quotedPath(target) +
                  ": the file is in use by another program (close it there and try again)");
    EXPECT_EQ(file.error(), std::errc::device_or_resource_busy);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"held.pdb"});  // no temporary file left
}

TEST(WindowsFiles, ReplacesOnlyWhenAllowedAndNeverAFileThatAppearedMeanwhile) {
    for (const bool replace : {true, false}) {
        SCOPED_TRACE(replace ? "replacing" : "not replacing");
        TempDirectory dir;
        const fs::path target = dir / "out.pdb";
        AtomicFile file(target);
        file.setReplaceExisting(replace);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write(Bytes{1, 2}.data(), 2));
        test_support::writeFile(target, {'n', 'e', 'w'});  // another program, just now
        EXPECT_EQ(file.commit(), replace);
        const Bytes expected = replace ? Bytes{1, 2} : Bytes{'n', 'e', 'w'};
        EXPECT_EQ(readFileBytes(target), expected);
        EXPECT_EQ(file.targetExisted(), !replace);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.pdb"});
    }
}

TEST(WindowsFiles, RefusesDeviceNamesBeforeWritingAnything) {
    TempDirectory dir;
    for (const char* name : {"NUL", "con", "aux.pdb", "COM1.wav", "lpt1 .pdb"}) {
        SCOPED_TRACE(name);
        AtomicFile file(dir / name);
        EXPECT_FALSE(file.open());
        EXPECT_EQ(file.errorText(), quotedPath(fs::path(name).filename()) +
                                        " is a device name Windows reserves: choose another name");
        EXPECT_TRUE(dir.entries().empty());
    }
}

TEST(WindowsFiles, WritesNamesInEveryScriptAndAMissingFolderFailsCleanly) {
    TempDirectory dir;
    // "Größe – 録音.pdb" in UTF-8: outside every ANSI code page.
    const fs::path target = dir / pathFromUtf8(
                                      "Gr\xC3\xB6\xC3\x9F"
                                      "e \xE2\x80\x93 \xE9\x8C\xB2\xE9\x9F\xB3.pdb");
    AtomicFile file(target);
    ASSERT_TRUE(save(file, {7, 8, 9}));
    EXPECT_EQ(readFileBytes(target), (Bytes{7, 8, 9}));
    EXPECT_EQ(utf8FromPath(target.filename()),
              "Gr\xC3\xB6\xC3\x9F"
              "e \xE2\x80\x93 \xE9\x8C\xB2\xE9\x9F\xB3.pdb");

    AtomicFile nowhere(dir / "missing" / "out.pdb");
    EXPECT_FALSE(nowhere.open());
    EXPECT_NE(nowhere.errorText().find("cannot create"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

}  // namespace
}  // namespace zelvio
