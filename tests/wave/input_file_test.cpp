// InputFile: the bytes every reader reads, from a path or from a stream the caller keeps.
#include "wave/input_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "io/fault_injection.h"
#include "support/files.h"
#include "support/wave_builder.h"

namespace zelvio {
namespace {

using test_support::Bytes;
using test_support::TempDirectory;

/// An input whose bytes are held in memory, as a page's File is held by the browser; reads from
/// failFrom on fail, as a file changed since it was chosen does.
class HeldFile final : public InputFile {
  public:
    explicit HeldFile(Bytes bytes, std::int64_t failFrom = -1)
        : InputFile(static_cast<std::int64_t>(bytes.size())),
          bytes_(std::move(bytes)),
          failFrom_(failFrom) {}

    std::int64_t read(void* destination, std::int64_t count) override {
        count = std::min(count, size() - position());
        if (count <= 0) {
            return 0;
        }
        if (failFrom_ >= 0 && position() + count > failFrom_) {
            countFailedRead();
            return 0;
        }
        std::copy_n(bytes_.begin() + position(), count, static_cast<std::uint8_t*>(destination));
        setPosition(position() + count);
        return count;
    }
    bool seek(std::int64_t offset) override {
        if (offset < 0) {
            return false;
        }
        setPosition(offset);
        return true;
    }

  private:
    Bytes bytes_;
    std::int64_t failFrom_;
};

TEST(InputFile, RefusesWhatCannotBeOpenedAndSaysWhy) {
    TempDirectory dir;
    const auto plain = dir.write("plain.wav", Bytes(10, 'x'));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
#endif
    struct Case {
        std::filesystem::path path;
        AudioStatus status;
        const char* errorText;
    };
    const Case cases[] = {
        {"", kAudioUnsupported, "no input file was named"},
        {dir / "missing.wav", kAudioBadFile, "cannot open file: no such file or directory"},
        {dir.path(), kAudioBadFile, "cannot open file: it is a directory"},
#ifndef _WIN32
        {dir / "fifo", kAudioBadFile, "cannot open file: not a regular file"},
#endif
        // A path through a file is missing, as the system sees it.
        {plain / "inside", kAudioBadFile, "cannot open file: no such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        InputFile file;
        EXPECT_EQ(file.open(c.path), c.status);
        EXPECT_EQ(file.errorText(), c.errorText);
        EXPECT_FALSE(file.isOpen());
        std::array<std::uint8_t, 4> bytes{};
        EXPECT_EQ(file.read(bytes.data(), 4), 0);
    }
#ifndef _WIN32
    if (::geteuid() != 0) {  // root reads every file
        ASSERT_EQ(::chmod(plain.c_str(), 0), 0);
        InputFile file;
        EXPECT_EQ(file.open(plain), kAudioBadFile);
        EXPECT_EQ(file.errorText(), "cannot open file: Permission denied");
    }
#endif
}

TEST(InputFile, ReadsAndSeeksWithinWhatItHolds) {
    TempDirectory dir;
    Bytes content(100);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i);
    }
    InputFile file;
    ASSERT_EQ(file.open(dir.write("in.bin", content)), kAudioOk);
    EXPECT_EQ(file.size(), 100);
    std::array<std::uint8_t, 64> bytes{};
    EXPECT_EQ(file.read(bytes.data(), 10), 10);
    EXPECT_EQ(bytes[9], 9);
    EXPECT_EQ(file.position(), 10);
    ASSERT_TRUE(file.seek(95));
    EXPECT_EQ(file.read(bytes.data(), 64), 5);  // cut at the end
    EXPECT_EQ(bytes[0], 95);
    EXPECT_EQ(file.position(), 100);
    EXPECT_EQ(file.read(bytes.data(), 1), 0);
    ASSERT_TRUE(file.seek(200));  // past the end: nothing to read there
    EXPECT_EQ(file.read(bytes.data(), 1), 0);
    ASSERT_TRUE(file.seek(0));  // and back, after the end was met
    EXPECT_EQ(file.read(bytes.data(), 3), 3);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_FALSE(file.seek(-1));
}

// A reader that gets fewer bytes than it asked for must tell a failed read from the end of the
// file: only failures count, the count goes on after a failure, and opening again starts anew.
TEST(InputFile, CountsFailedReadsButNotTheEnd) {
    TempDirectory dir;
    const auto path = dir.write("in.bin", Bytes(100, 7));
    struct Step {
        const char* what;
        std::int64_t seekTo;
        std::int64_t count;
        bool fault;  ///< the read is made to fail
        std::int64_t got;
        std::uint64_t failedReads;  ///< after the step
    };
    const Step steps[] = {
        {"a whole read", 0, 10, false, 10, 0},
        {"cut at the end", 95, 10, false, 5, 0},
        {"past the end", 200, 10, false, 0, 0},
        {"a failed read", 0, 10, true, 0, 1},
        {"the next read after it", 0, 10, false, 10, 1},
        {"another failed read", 50, 10, true, 0, 2},
    };
    InputFile file;
    ASSERT_EQ(file.open(path), kAudioOk);
    std::array<std::uint8_t, 16> bytes{};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(file.seek(step.seekTo));
        FaultInjection::failAt(step.fault ? 1 : 0);
        EXPECT_EQ(file.read(bytes.data(), step.count), step.got);
        FaultInjection::failAt(0);
        EXPECT_EQ(file.failedReads(), step.failedReads);
        if (step.fault) {
            EXPECT_EQ(file.position(), step.seekTo);  // nothing was read
        }
    }
    file.close();
    ASSERT_EQ(file.open(path), kAudioOk);
    EXPECT_EQ(file.failedReads(), 0u);
}

// A subclass's bytes open as a file's do: the same samples, the same refusals.
TEST(InputFile, BytesFromElsewhereOpenAsAFilesDo) {
    Bytes samples;
    for (int i = 0; i < 400; ++i) {
        test_support::appendLe16(samples, static_cast<std::uint16_t>(i * 37));
    }
    const Bytes wave = test_support::canonicalWave({.channels = 2, .sampleRate = 22050}, samples);
    const auto held = [](Bytes bytes, std::int64_t failFrom = -1) {
        return openAudioSource(std::make_shared<HeldFile>(std::move(bytes), failFrom));
    };

    TempDirectory dir;
    OpenedAudio fromFile = openAudioSource(dir.write("in.wav", wave));
    OpenedAudio fromBytes = held(wave);
    ASSERT_EQ(fromFile.status, kAudioOk) << fromFile.errorText;
    ASSERT_EQ(fromBytes.status, kAudioOk) << fromBytes.errorText;
    EXPECT_EQ(fromBytes.source->sampleRate(), 22050u);
    EXPECT_EQ(fromBytes.source->sampleFrameCount(), 200);
    std::array<SampleFrame, 200> a{};
    std::array<SampleFrame, 200> b{};
    ASSERT_EQ(fromFile.source->readSamples(200, a.data()), kAudioOk);
    ASSERT_EQ(fromBytes.source->readSamples(200, b.data()), kAudioOk);
    EXPECT_EQ(a, b);

    struct Refusal {
        const char* what;
        OpenedAudio opened;
        AudioStatus status;
    };
    Refusal refusals[] = {
        {"no file", openAudioSource(std::shared_ptr<InputFile>()), kAudioUnsupported},
        {"a closed file", openAudioSource(std::make_shared<InputFile>()), kAudioUnsupported},
        {"no bytes", held({}), kAudioBadFile},
        {"a header that cannot be read", held(wave, 20), kAudioBadFile},
    };
    for (Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        EXPECT_EQ(refusal.opened.status, refusal.status);
        EXPECT_FALSE(refusal.opened.errorText.empty());
        EXPECT_EQ(refusal.opened.source, nullptr);
    }

    // A read that fails inside the samples ends them with an error, not as their end.
    OpenedAudio failing = held(wave, 44 + 400);
    ASSERT_EQ(failing.status, kAudioOk) << failing.errorText;
    EXPECT_NE(failing.source->readSamples(200, b.data()), kAudioOk);
    EXPECT_FALSE(failing.source->endReached());
}

TEST(InputFile, BorrowsASeekableStreamAndLeavesItOpen) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const std::string text = "RIFF and more";
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), stream), text.size());
    {
        InputFile file;
        ASSERT_EQ(file.borrow(stream), kAudioOk) << file.errorText();
        EXPECT_EQ(file.size(), static_cast<std::int64_t>(text.size()));
        std::array<char, 4> head{};
        EXPECT_EQ(file.read(head.data(), 4), 4);  // from the start, wherever the stream was
        EXPECT_EQ(std::string(head.data(), 4), "RIFF");
    }
    EXPECT_EQ(std::fseek(stream, 0, SEEK_SET), 0);  // still open
    std::fclose(stream);

    InputFile none;
    EXPECT_EQ(none.borrow(nullptr), kAudioUnsupported);
    int ends[2];
    ASSERT_EQ(test_support::makePipe(ends), 0);
    std::FILE* pipe = ::fdopen(ends[0], "rb");
    InputFile unseekable;
    EXPECT_EQ(unseekable.borrow(pipe), kAudioBadFile);
    EXPECT_EQ(unseekable.errorText(), "cannot read the input: it cannot seek");
    std::fclose(pipe);
    ::close(ends[1]);
}

}  // namespace
}  // namespace zelvio
