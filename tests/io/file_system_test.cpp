// Private temporary files, the permissions of a published file, saves that never replace a file
// they may not, links that count as entries, the same file through other names, the system's
// reason in messages, and text made safe for a terminal.
#include "io/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "io/atomic_file.h"
#include "io/fault_injection.h"
#include "io/path_text.h"
#include "io/scratch_file.h"
#include "support/files.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;
using test_support::TemporaryFolderOverride;

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

/// Writes bytes through an AtomicFile; true when the commit succeeded.
bool save(const fs::path& target, const Bytes& bytes, bool replace, AtomicFile* keep = nullptr) {
    AtomicFile own(target);
    AtomicFile& file = keep != nullptr ? *keep : own;
    file.setReplaceExisting(replace);
    return file.open() && file.write(bytes.data(), bytes.size()) && file.commit();
}

// Another user watching the temporary folder must never get to open a scratch file: it has no
// name at all, or none for longer than its creation takes, and its mode lets only its owner in.
TEST(PrivateFiles, ScratchFilesHaveNoNameOthersCanOpenAndOnlyTheOwnerMayReadThem) {
    const TemporaryFolderOverride tmp;
    ScratchFile scratch;
    ASSERT_TRUE(scratch.create("test")) << scratch.errorText();
    EXPECT_TRUE(tmp.empty());
    struct stat status {};
    ASSERT_EQ(::fstat(::fileno(scratch.stream()), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_nlink, 0u);  // no name in any folder
}

TEST(PrivateFiles, TheTemporaryFileBesideTheTargetIsPrivateUntilItIsComplete) {
    TempDirectory dir;
    AtomicFile file(dir / "out.pdb");
    ASSERT_TRUE(file.open());
    EXPECT_EQ(modeOf(file.temporaryPath()), 0600u);
    const std::uint8_t byte = 1;
    ASSERT_TRUE(file.write(&byte, 1));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(modeOf(dir / "out.pdb"), 0666u & ~currentUmask());
}

TEST(PrivateFiles, AReplacedFileKeepsItsPermissions) {
    for (const mode_t mode : {0600u, 0640u, 0644u, 0664u}) {
        SCOPED_TRACE(mode);
        TempDirectory dir;
        const fs::path target = dir.write("out.pdb", {'o', 'l', 'd'});
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        ASSERT_TRUE(save(target, {'n', 'e', 'w'}, true));
        EXPECT_EQ(modeOf(target), mode);
        EXPECT_EQ(readFileBytes(target), (Bytes{'n', 'e', 'w'}));
    }
}

TEST(PrivateFiles, ScratchFailuresNameTheFolderAndTheReason) {
    const TemporaryFolderOverride tmp;
    FaultInjection::failAt(1, true);  // no O_TMPFILE and no named file either
    ScratchFile scratch;
    const bool created = scratch.create("test");
    FaultInjection::failAt(0);
    EXPECT_FALSE(created);
    EXPECT_NE(scratch.errorText().find(tmp.path().string()), std::string::npos)
        << scratch.errorText();
    EXPECT_NE(scratch.errorText().find("Input/output error"), std::string::npos)
        << scratch.errorText();
}

// What may stand at the target when a save without replacing is published: each one is kept
// and the save fails with "exists already", leaving nothing behind.
TEST(PublishWithoutReplacing, KeepsWhateverStandsAtTheTargetByThenAndLeavesNothing) {
    enum class Occupant { File, DanglingLink, LinkToFile, Folder };
    for (const Occupant occupant :
         {Occupant::File, Occupant::DanglingLink, Occupant::LinkToFile, Occupant::Folder}) {
        SCOPED_TRACE(static_cast<int>(occupant));
        TempDirectory dir;
        const fs::path target = dir / "out.pdb";
        AtomicFile file(target);
        file.setReplaceExisting(false);
        ASSERT_TRUE(file.open());
        const std::uint8_t byte = 7;
        ASSERT_TRUE(file.write(&byte, 1));
        // The occupant appears while the file is being written.
        switch (occupant) {
            case Occupant::File:
                (void)dir.write("out.pdb", {'o', 'l', 'd'});
                break;
            case Occupant::DanglingLink:
                fs::create_symlink(dir / "nowhere", target);
                break;
            case Occupant::LinkToFile:
                (void)dir.write("other", {'o'});
                fs::create_symlink(dir / "other", target);
                break;
            case Occupant::Folder:
                fs::create_directory(target);
                break;
        }
        std::vector<std::string> before = dir.entries();
        std::erase(before, file.temporaryPath().filename().string());
        EXPECT_FALSE(file.commit());
        EXPECT_TRUE(file.targetExisted());
        EXPECT_EQ(file.errorText(), quotedPath(target) + " exists already");
        EXPECT_EQ(dir.entries(), before);
        if (occupant == Occupant::File) {
            EXPECT_EQ(readFileBytes(target), (Bytes{'o', 'l', 'd'}));
        }
    }
}

TEST(PublishWithoutReplacing, OfWritersRacingForOneNewNameExactlyOneWins) {
    TempDirectory dir;
    constexpr int kWriters = 8;
    std::atomic<int> won{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.emplace_back([&, i] {
            AtomicFile file(dir / "out.pdb");
            const Bytes bytes(1000, static_cast<std::uint8_t>(i));
            if (save(dir / "out.pdb", bytes, false, &file)) {
                ++won;
            } else if (file.targetExisted()) {
                ++refused;
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(won.load(), 1);
    EXPECT_EQ(refused.load(), kWriters - 1);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.pdb"});
    EXPECT_EQ(readFileBytes(dir / "out.pdb").size(), 1000u);
}

TEST(FileNames, EntriesAndSameFilesAreJudgedWithoutFollowingOrMissingLinks) {
    TempDirectory dir;
    const fs::path input = dir.write("in.wav", {'a'});
    const fs::path other = dir.write("other.wav", {'a'});
    fs::create_hard_link(input, dir / "hard.wav");
    fs::create_symlink(input, dir / "soft.wav");
    fs::create_symlink(dir / "nowhere", dir / "dangling.pdb");
    fs::create_directory(dir / "sub");
    struct Case {
        fs::path path;
        bool exists;
        bool sameAsInput;
    };
    const Case cases[] = {
        {input, true, true},
        {dir / "sub" / ".." / "in.wav", true, true},
        {dir / "hard.wav", true, true},
        {dir / "soft.wav", true, true},
        {other, true, false},
        {dir / "dangling.pdb", true, false},
        {dir / "missing.pdb", false, false},
        {dir / "in.wav" / "x", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(entryExists(c.path), c.exists);
        EXPECT_EQ(sameFile(c.path, input), c.sameAsInput);
    }
}

TEST(FileErrors, SayWhichFileAndTheSystemsReason) {
    TempDirectory dir;
    {
        AtomicFile file(dir / "missing" / "out.pdb");
        EXPECT_FALSE(file.open());
        EXPECT_EQ(file.errorText(), "cannot create " + quotedPath(dir / "missing" / "out.pdb") +
                                        ": No such file or directory");
    }
    // A full disk at the first write, at the flush and sync before the rename, and at the rename.
    struct Case {
        std::uint64_t failingOperation;
        const char* text;
    };
    const Case cases[] = {
        {2, "cannot write \"OUT\": No space left on device"},
        {3, "cannot write \"OUT\": No space left on device"},
        {4, "cannot put the new file in place as \"OUT\": Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingOperation);
        const fs::path target = dir / "out.pdb";
        std::string expected = c.text;
        expected.replace(expected.find("\"OUT\""), 5, quotedPath(target));
        {
            AtomicFile file(target);
            FaultInjection::failAt(c.failingOperation);  // 1 open, 2 write, 3 sync, 4 rename
            const std::uint8_t byte = 1;
            const bool saved = file.open() && file.write(&byte, 1) && file.commit();
            FaultInjection::failAt(0);
            EXPECT_FALSE(saved);
            EXPECT_EQ(file.errorText(), expected);
        }
        EXPECT_TRUE(dir.entries().empty());
    }
}

TEST(TerminalSafeText, WritesOutWhatATerminalWouldActOnAndKeepsEveryLetter) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"talk.wav", "talk.wav"},
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},  // sets the window title
        {"a\x1b[2Jb", "a\\x1b[2Jb"},                 // clears the screen
        {"line\nnext\rover\ttab", "line\\x0anext\\x0dover\\x09tab"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\xc2\\x9b31m"},  // the C1 control sequence introducer
        {"caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x8e\xb5", "caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x8e\xb5"},
        {"\xa0\xc2\xa0", "\\xa0\xc2\xa0"},    // a stray byte, then a no-break space
        {"\xff\xe4\xb8", "\\xff\\xe4\\xb8"},  // not UTF-8, a cut sequence
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},  // a surrogate
        {"C:\\memo\\talk.wav", "C:\\memo\\talk.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(terminalSafeText(c.text), c.shown);
        EXPECT_EQ(terminalSafeText(terminalSafeText(c.text)), c.shown);
    }
}

}  // namespace
}  // namespace zelvio
