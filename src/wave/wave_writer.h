#pragma once
// Writing mono 16-bit PCM WAVE files.
//
//     WaveWriter writer;
//     if (writer.open(path, 10000) != kWaveOk) { show(writer.errorText()); return; }
//     writer.writeSamples(samples, count);   // as often as needed
//     if (writer.close() != kWaveOk) { ... }  // fills in the sizes
//
// The file is the canonical 44-byte header ("RIFF", "WAVE", a 16-byte "fmt " chunk, "data")
// followed by the samples, little-endian whatever the host's byte order. The sizes in the header
// are written when the file is closed. The file is written through an AtomicFile: it replaces the
// target only when it is complete, so a run that fails leaves no partial file and keeps what was
// at the path before. It can also be written into an open stream the caller keeps (a scratch
// file whose bytes go on to standard output once complete).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/atomic_file.h"
#include "wave/wave_file.h"

namespace zelvio {

/// How the file states its sizes.
enum class WaveLayout {
    Plain,  ///< the canonical 44-byte header, 32-bit sizes: at most kMaxDataBytes of samples
    /// RF64: "RF64" in place of "RIFF" and a "ds64" chunk before "fmt " holding the 64-bit
    /// sizes (the 32-bit ones then read 0xFFFFFFFF); an 80-byte header, no limit in practice
    Rf64,
};

/// Writes one mono 16-bit PCM WAVE file, front to back. Statuses are those of WaveFile:
/// kWaveOk, kWaveBadFile (cannot create or write) and kWaveUnsupported (bad argument).
class WaveWriter {
  public:
    /// The most sample bytes a plain WAVE file can state: its sizes are 32-bit.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFu - 36;

    /// The layout a file of sampleCount samples needs: Plain while its sizes fit in 32 bits.
    [[nodiscard]] static WaveLayout layoutFor(std::uint64_t sampleCount) {
        return sampleCount * 2 > kMaxDataBytes ? WaveLayout::Rf64 : WaveLayout::Plain;
    }

    WaveWriter() = default;
    /// Removes an unfinished file.
    ~WaveWriter() = default;
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    /// Starts the file (beside the target until close) and writes the header for sampleRate
    /// samples per second.
    /// Returns kWaveOk, kWaveUnsupported for an empty path, a rate of 0 or a writer already open,
    /// kWaveBadFile when the file cannot be created.
    [[nodiscard]] WaveStatus open(const std::filesystem::path& path, std::uint32_t sampleRate,
                                  WaveLayout layout = WaveLayout::Plain);
    /// Starts the file at the start of stream (open for writing in binary mode, able to seek;
    /// the caller keeps it and closes it). close() then fills in the sizes and flushes the stream
    /// but leaves it open. Returns as open(path, ...), kWaveBadFile when stream cannot be written.
    [[nodiscard]] WaveStatus open(std::FILE* stream, std::uint32_t sampleRate,
                                  WaveLayout layout = WaveLayout::Plain);
    /// Whether open(path, ...) may end by replacing a file at path (true until set otherwise).
    /// When false, close() fails with kWaveBadFile and leaves nothing when a file stands at the
    /// path by then, even one made by another process during the writing (targetExisted()).
    void setReplaceExisting(bool replace) { replaceExisting_ = replace; }
    /// True when the last close() failed because a file stood at the path (see
    /// setReplaceExisting).
    [[nodiscard]] bool targetExisted() const { return targetExisted_; }
    /// Appends count samples. Returns kWaveOk, kWaveUnsupported when no file is open or samples
    /// is null with count > 0, kWaveBadFile when the write fails or a Plain file would pass the
    /// 4 GiB that its sizes can state (the file is then removed at close).
    [[nodiscard]] WaveStatus writeSamples(const std::int16_t* samples, std::size_t count);
    /// Writes the sizes into the header, closes the file and puts it in place of the target.
    /// Returns kWaveOk when the whole file is there; otherwise kWaveBadFile, the unfinished file
    /// is removed and the target is left as it was. kWaveUnsupported when no file
    /// is open.
    [[nodiscard]] WaveStatus close();

    /// Samples written so far.
    [[nodiscard]] std::uint64_t samplesWritten() const { return samplesWritten_; }
    /// After a failure: one plain sentence saying what went wrong. Empty after a success.
    [[nodiscard]] std::string_view errorText() const { return errorText_; }

  private:
    WaveStatus fail(WaveStatus status, std::string text);
    WaveStatus start(std::uint32_t sampleRate, WaveLayout layout);
    [[nodiscard]] std::vector<std::uint8_t> header() const;
    [[nodiscard]] bool put(const std::uint8_t* bytes, std::size_t count);
    [[nodiscard]] std::string targetName() const;

    std::unique_ptr<AtomicFile> file_;  ///< the file being written, until close()
    std::FILE* stream_ = nullptr;       ///< or the caller's stream being written, until close()
    std::uint32_t sampleRate_ = 0;
    WaveLayout layout_ = WaveLayout::Plain;
    bool replaceExisting_ = true;
    bool targetExisted_ = false;
    std::uint64_t samplesWritten_ = 0;
    bool failed_ = false;  ///< a write failed or would pass kMaxDataBytes
    std::string errorText_;
};

}  // namespace zelvio
