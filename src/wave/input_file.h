#pragma once
// The bytes of one input, read with 64-bit offsets: a file opened by path, an open stream that
// the caller keeps (the command line's standard input, spooled to a scratch file), or bytes that a
// subclass fetches from elsewhere (the web page's File). Every reader behind openAudioSource()
// reads through one, so that a stream is read like a file.
//
//     auto file = std::make_shared<InputFile>();
//     if (file->open(path) != kAudioOk) { show(file->errorText()); return; }
//     std::array<std::uint8_t, 12> head{};
//     const std::int64_t got = file->read(head.data(), head.size());

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "wave/audio_source.h"

namespace zelvio {

/// A file open for reading whose length is taken when it is opened. Readers move its position
/// with seek() before they read, so that several of them can look at the same file in turn.
/// read() and seek() are virtual so that a reader in the reader module (wave/format_readers.h)
/// runs the program's own code for them, the one that file faults are injected into, instead of
/// a copy of its own.
class InputFile {
  public:
    InputFile() = default;
    /// Closes a file it opened; a borrowed stream stays open.
    virtual ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Opens the regular file at path. Returns kAudioOk; kAudioUnsupported for an empty path;
    /// kAudioBadFile when it does not exist, is a directory or no regular file, or cannot be
    /// opened (errorText() says which, e.g. "cannot open file: it is a directory").
    [[nodiscard]] AudioStatus open(const std::filesystem::path& path);
    /// Reads stream, which must be open for reading in binary mode and able to seek; the caller
    /// keeps it open for as long as this file is read and closes it afterwards. The length is
    /// taken from the stream's end. Returns kAudioOk; kAudioUnsupported for a null stream;
    /// kAudioBadFile when the stream cannot seek.
    [[nodiscard]] AudioStatus borrow(std::FILE* stream);
    /// Closes the file (a borrowed stream is only let go). Nothing happens when none is open.
    void close();

    /// True between a successful open() or borrow() and close(), and for a subclass's file.
    [[nodiscard]] bool isOpen() const { return stream_ != nullptr || elsewhere_; }
    /// Bytes in the file when it was opened.
    [[nodiscard]] std::int64_t size() const { return size_; }
    /// Offset of the next byte read() gives.
    [[nodiscard]] std::int64_t position() const { return position_; }

    /// Reads up to count bytes at the position into destination and moves past them. Returns
    /// how many were read: fewer than count at the end of the file or when the system fails to
    /// read, 0 when no file is open.
    [[nodiscard]] virtual std::int64_t read(void* destination, std::int64_t count);
    /// Moves the position to offset (0 to any value; past the end, reads give nothing). Returns
    /// false when the system refuses or no file is open.
    [[nodiscard]] virtual bool seek(std::int64_t offset);

    /// Reads that failed with an error (not at the end of the file) since the file was opened.
    /// A reader that gets fewer bytes than it asked for looks here to tell damage from a cut.
    [[nodiscard]] std::uint64_t failedReads() const { return failedReads_; }

    /// The sentence a reader refuses an input with when one of its reads failed.
    static constexpr std::string_view kReadFailedText =
        "the file cannot be read (an input/output error)";

    /// After a failed open() or borrow(): one plain sentence saying why. Empty otherwise.
    [[nodiscard]] std::string_view errorText() const { return errorText_; }

  protected:
    /// For a subclass whose read() and seek() fetch the bytes from elsewhere: the file is open,
    /// size bytes long, at offset 0. They keep the position and count failed reads with these.
    explicit InputFile(std::int64_t size) : elsewhere_(true), size_(size) {}
    void setPosition(std::int64_t position) { position_ = position; }
    void countFailedRead() { ++failedReads_; }

  private:
    AudioStatus fail(AudioStatus status, std::string text);

    std::FILE* stream_ = nullptr;
    bool owned_ = false;      ///< opened here, so closed here
    bool elsewhere_ = false;  ///< a subclass's bytes
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::uint64_t failedReads_ = 0;
    std::string errorText_;
};

}  // namespace zelvio
