// Saving an image: whole or not at all, the earlier file intact after a failure at any step.
#include "job/save_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/database_image.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempDirectory;
using test_support::writeFile;

/// A file whose operations fail on demand: the write call numbered failingWrite (from 0) writes
/// only half its bytes and reports failure, or the close or the rename fails.
class FaultyFile : public AtomicFile {
  public:
    struct Faults {
        int failingWrite = -1;
        bool failClose = false;
        bool failRename = false;
    };
    FaultyFile(std::filesystem::path target, Faults faults)
        : AtomicFile(std::move(target)), faults_(faults) {}

  protected:
    bool writeBytes(std::FILE* file, const std::uint8_t* bytes, std::size_t count) override {
        if (writes_++ == faults_.failingWrite) {
            (void)AtomicFile::writeBytes(file, bytes, count / 2);
            return false;
        }
        return AtomicFile::writeBytes(file, bytes, count);
    }
    bool closeFile(std::FILE* file) override {
        const bool closed = AtomicFile::closeFile(file);
        return closed && !faults_.failClose;
    }
    bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return !faults_.failRename && AtomicFile::replaceFile(from, to);
    }

  private:
    Faults faults_;
    int writes_ = 0;
};

void fillSmallDatabase(PalmDatabase& db, std::uint8_t fillByte) {
    ASSERT_EQ(db.create("Save test", "three records", "", 1), kDbOk);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Adpcm2), 200);
    std::vector<std::uint8_t> chunk(51, fillByte);
    chunk[0] = 0;
    for (int i = 0; i < 1300; ++i) {  // 1254 fill record 1, the rest go to record 2
        ASSERT_EQ(db.appendChunk(0, 51, chunk.data()), kDbOk);
    }
}

TEST(Save, IntoAMissingFolderGivesStatus1AndWritesNothing) {
    TempDirectory folder;
    PalmDatabase db;
    fillSmallDatabase(db, 0x11);
    EXPECT_EQ(saveDatabase(db, folder / "missing" / "out.pdb"), kDbCannotCreate);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
    EXPECT_TRUE(folder.entries().empty());
}

TEST(Save, FailureAtAnyStepGivesStatus1AndLeavesTheEarlierFileIntact) {
    // Write calls: 0 the header, 1 to 3 the list entries, 4 to 6 the records.
    struct Case {
        const char* what;
        FaultyFile::Faults faults;
    };
    const Case cases[] = {
        {"header write", {0, false, false}},       {"list entry write", {2, false, false}},
        {"first record write", {4, false, false}}, {"last record write", {6, false, false}},
        {"flush and close", {-1, true, false}},    {"rename", {-1, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDirectory folder;
        const auto target = folder / "out.pdb";
        const Bytes earlier = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
        writeFile(target, earlier);

        PalmDatabase db;
        fillSmallDatabase(db, 0x22);
        FaultyFile file(target, c.faults);
        EXPECT_EQ(saveDatabase(db, file), kDbCannotCreate);
        EXPECT_EQ(readFileBytes(target), earlier);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.pdb"});
    }
}

/// A file that requests a stop when its write numbered stopAtWrite (from 0) is made.
class StoppingFile : public AtomicFile {
  public:
    StoppingFile(std::filesystem::path target, StopToken& stop, int stopAtWrite)
        : AtomicFile(std::move(target)), stop_(stop), stopAtWrite_(stopAtWrite) {}

  protected:
    bool writeBytes(std::FILE* file, const std::uint8_t* bytes, std::size_t count) override {
        if (writes_++ == stopAtWrite_) {
            stop_.request();
        }
        return AtomicFile::writeBytes(file, bytes, count);
    }

  private:
    StopToken& stop_;
    int stopAtWrite_;
    int writes_ = 0;
};

TEST(Save, AStopBeforeOrDuringTheSaveLeavesTheEarlierFileAndNoTemporaryFile) {
    // A stop before the save, at the header's write, at a record's and at the last write: the
    // temporary file goes, whatever was written into it.
    for (const int stopAt : {-2, 0, 5, 6}) {
        SCOPED_TRACE(stopAt);
        TempDirectory folder;
        const auto target = folder / "out.pdb";
        const Bytes earlier = {'o', 'l', 'd'};
        writeFile(target, earlier);
        PalmDatabase db;
        fillSmallDatabase(db, 0x77);
        StopToken stop;
        if (stopAt == -2) {
            stop.request();
        }
        StoppingFile file(target, stop, stopAt);
        EXPECT_EQ(saveDatabase(db, file, &stop), kDbCannotCreate);
        EXPECT_EQ(readFileBytes(target), earlier);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.pdb"});
    }
}

TEST(Save, ReplacesAnEarlierLongerFileWhole) {
    TempDirectory folder;
    const auto target = folder / "out.pdb";
    writeFile(target, Bytes(200000, 0xEE));
    PalmDatabase db;
    fillSmallDatabase(db, 0x33);
    FaultyFile unfaulty(target, {});  // no faults: the seam itself changes nothing
    ASSERT_EQ(saveDatabase(db, unfaulty), kDbOk);
    const Bytes file = readFileBytes(target);
    EXPECT_EQ(file.size(), db.fileSize());
    EXPECT_EQ(file.size(), 78u + 3 * 8 + 136 + 63986 + 32 + 46 * 51);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.pdb"});
}

TEST(Save, TargetWithTheLongestFileNameTheFolderTakesIsWritten) {
    // File names may be up to 255 bytes long; the temporary file beside the target must fit too.
    TempDirectory folder;
    for (const std::size_t length : {200u, 240u, 255u}) {
        SCOPED_TRACE(length);
        const auto target = folder / (std::string(length - 4, 'n') + ".pdb");
        PalmDatabase db;
        fillSmallDatabase(db, 0x66);
        ASSERT_EQ(saveDatabase(db, target), kDbOk);
        EXPECT_EQ(readFileBytes(target).size(), db.fileSize());
        std::filesystem::remove(target);
        EXPECT_TRUE(folder.entries().empty());
    }
}

TEST(Save, OverAFolderGivesStatus1AndLeavesTheFolderAlone) {
    TempDirectory folder;
    std::filesystem::create_directory(folder / "taken");
    writeFile(folder / "taken" / "inside", {1});
    PalmDatabase db;
    fillSmallDatabase(db, 0x44);
    EXPECT_EQ(saveDatabase(db, folder / "taken"), kDbCannotCreate);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken"));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken"});
}

TEST(Save, ConversionsSavingIntoOneFolderAtOnceAllSucceed) {
    TempDirectory folder;
    constexpr int kSavers = 4;
    PalmDatabase images[kSavers];
    for (int i = 0; i < kSavers; ++i) {
        fillSmallDatabase(images[i], static_cast<std::uint8_t>(0x50 + i));
    }
    DbStatus statuses[kSavers] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kSavers; ++i) {
        // Two savers aim at each target: each file must come out whole from one of them.
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20 && statuses[i] == kDbOk; ++round) {
                statuses[i] =
                    saveDatabase(images[i], folder / ("out" + std::to_string(i % 2) + ".pdb"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kSavers; ++i) {
        EXPECT_EQ(statuses[i], kDbOk) << "saver " << i;
    }
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"out0.pdb", "out1.pdb"}));
    for (int target = 0; target < 2; ++target) {
        const Bytes file = readFileBytes(folder / ("out" + std::to_string(target) + ".pdb"));
        ASSERT_EQ(file.size(), images[0].fileSize());
        const std::uint8_t fill = file.back();
        EXPECT_TRUE(fill == 0x50 + target || fill == 0x52 + target);
        EXPECT_EQ(std::count(file.end() - 50, file.end(), fill), 50);
    }
}

}  // namespace
}  // namespace zelvio
