#pragma once
// Reading RIFF WAVE files as signed 16-bit sample frames.
//
//     WaveFile wave;
//     if (wave.open(path) != kWaveOk) { show(wave.errorText()); return; }
//     std::array<SampleFrame, 200> block;
//     while (wave.readSamples(200, block.data()) == kWaveOk) { ... }
//     wave.close();
//
// Supported: 1 or 2 channels at any sample rate; integer PCM of 8, 16, 24 or 32 bits; IEEE
// floating point of 32 or 64 bits; the extensible header when its sub-format is PCM or floating
// point. Not supported: compressed encodings (ADPCM, A-law, u-law, MP3, ...), other sample widths,
// more than two channels.
//
// Layout: after the 12-byte RIFF header ("WAVE" at offset 8) the file is walked chunk by chunk
// (four-character id, little-endian 32-bit size, body, one pad byte after an odd-sized body). The
// first "fmt " chunk describes the samples and must precede "data"; every other chunk before the
// data is skipped. Samples come from the "data" chunk only: its declared size, cut to what the file
// holds, or the rest of the file when the size is a placeholder (0 or 0xFFFFFFFF) left by a writer
// that could not go back to fill it in. Whatever follows the data chunk is never read.
//
// Conventions: counts are sample frames (one sample per channel) and are 64-bit; every value is
// decoded from little-endian bytes whatever the host's byte order.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wave/audio_source.h"
#include "wave/input_file.h"

namespace zelvio {

/// Outcome of a WaveFile or WaveWriter operation: the audio source statuses.
using WaveStatus = AudioStatus;
inline constexpr WaveStatus kWaveOk = kAudioOk;                    ///< see kAudioOk
inline constexpr WaveStatus kWaveBadFile = kAudioBadFile;          ///< see kAudioBadFile
inline constexpr WaveStatus kWaveUnsupported = kAudioUnsupported;  ///< see kAudioUnsupported

/// Format tags of the "fmt " chunk that the reader understands.
inline constexpr std::uint16_t kWaveFormatPcm = 1;              ///< integer PCM
inline constexpr std::uint16_t kWaveFormatIeeeFloat = 3;        ///< IEEE 754 floating point
inline constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;  ///< sub-format in a GUID

/// A chunk code: the first four characters of text (padded with spaces when shorter) packed into
/// 32 bits, the first character in the lowest byte, so that the value stored little-endian reads
/// as the characters in file order. fourCC("fmt") is the code of "fmt ".
[[nodiscard]] std::uint32_t fourCC(std::string_view text);

/// Reads the sample frames of one WAVE file, front to back, converting every sample to signed
/// 16 bits:
///   - 8-bit (unsigned) samples are centred and scaled: byte u becomes (u - 128) * 256;
///   - 16-bit samples are taken as they are;
///   - 24- and 32-bit samples keep their top 16 bits (an arithmetic shift right by 8 or 16);
///   - floating-point samples x become x * 32768 rounded to nearest (ties to even), clamped to
///     -32768..32767; NaN becomes 0.
/// Reading goes through a block buffer, so a request costs a few large reads, not one per sample.
///
/// A reader is closed or open. A failed open leaves it closed, with errorText() saying why.
class WaveFile final : public AudioSource {
  public:
    /// A closed reader describing an empty 44100 Hz 16-bit stereo PCM file.
    WaveFile();
    /// Closes the file if still open.
    ~WaveFile() override;
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    /// Opens the file and reads its header up to the first sample. A reader that is open closes
    /// its previous file first. Returns kWaveOk when samples can be read; kWaveUnsupported for an
    /// empty path, a compressed encoding or an unsupported sample width; kWaveBadFile when the file
    /// cannot be opened or read, is not a RIFF WAVE file, has no "fmt " chunk before its "data"
    /// chunk or no "data" chunk, has other than 1 or 2 channels, or states a byte rate or block
    /// alignment that disagrees with its channels and sample width.
    [[nodiscard]] WaveStatus open(const std::filesystem::path& path);
    /// The same for a file already open (shared with whoever opened it; this reader moves its
    /// position). kWaveUnsupported for a null or closed file.
    [[nodiscard]] WaveStatus open(std::shared_ptr<InputFile> file);

    /// Delivers the next count sample frames into entries[0] to entries[count - 1], continuing
    /// where the previous call stopped. Returns kWaveOk when all count were delivered;
    /// kWaveBadFile at the end of the sample data or on a read failure, in which case the frames
    /// delivered before that point hold their samples and the later entries are left as they were;
    /// kWaveUnsupported, delivering nothing, when count is below 1, entries is null or no file is
    /// open.
    [[nodiscard]] WaveStatus readSamples(std::int64_t count, SampleFrame* entries) override;

    /// Closes the file; a closed reader stays closed. Returns kWaveOk.
    WaveStatus close();

    /// True between a successful open and close.
    [[nodiscard]] bool isOpen() const { return open_; }

    /// Sample frames per second, as the file states it (0 included).
    [[nodiscard]] std::uint32_t sampleRate() const override { return sampleRate_; }
    /// 1 (mono) or 2 (stereo).
    [[nodiscard]] std::uint16_t channels() const override { return channels_; }
    /// Width of one stored sample in bits: 8, 16, 24, 32 or 64.
    [[nodiscard]] std::uint16_t bitsPerSample() const { return bitsPerSample_; }
    /// The format tag as the file states it: 1, 3 or 0xFFFE.
    [[nodiscard]] std::uint16_t formatTag() const { return formatTag_; }
    /// How the samples are stored: kWaveFormatPcm or kWaveFormatIeeeFloat (for the extensible
    /// header, the tag its sub-format names).
    [[nodiscard]] std::uint16_t sampleFormat() const { return sampleFormat_; }
    /// Whole sample frames in the data chunk; a partial last frame is not counted.
    [[nodiscard]] std::int64_t sampleFrameCount() const override { return sampleFrameCount_; }
    /// "WAVE, " and the sample format: "16-bit PCM", "32-bit float", with " (extensible)" when
    /// the header is the extensible one.
    [[nodiscard]] std::string formatDescription() const override;
    /// True once a read has found the end of the sample data (not a failure to read).
    [[nodiscard]] bool endReached() const override { return endReached_; }
    /// Sample frames not yet delivered; 0 after a read failed.
    [[nodiscard]] std::int64_t framesRemaining() const {
        return readFailed_ ? 0 : sampleFrameCount_ - framesDelivered_;
    }
    /// Sample frames delivered since the file was opened.
    [[nodiscard]] std::int64_t framesDelivered() const override { return framesDelivered_; }

    /// After a failed open or read: one plain sentence saying what is wrong, such as
    /// "no \"data\" chunk" or "unsupported sample width: 12 bits". Empty after a success.
    [[nodiscard]] std::string_view errorText() const override { return errorText_; }
    /// After a successful open of a file whose "data" chunk states more bytes than the file
    /// holds (a recording cut short): says so; what is there is read. Empty otherwise.
    [[nodiscard]] std::string notice() const override { return notice_; }

  private:
    [[nodiscard]] WaveStatus failOpen(WaveStatus status, std::string text);
    [[nodiscard]] WaveStatus readHeader();
    [[nodiscard]] WaveStatus readFormatChunk(std::uint32_t size);
    [[nodiscard]] bool readExactly(std::uint8_t* destination, std::int64_t byteCount);
    [[nodiscard]] bool skip(std::int64_t byteCount);
    [[nodiscard]] std::int64_t bytesLeft() const { return fileLength_ - position_; }
    void resetHeader();

    std::shared_ptr<InputFile> file_;  ///< the open file, or null
    bool open_ = false;
    std::int64_t fileLength_ = 0;  ///< bytes in the file when it was opened
    std::int64_t position_ = 0;    ///< offset of the next byte to read

    std::uint16_t formatTag_ = kWaveFormatPcm;
    std::uint16_t sampleFormat_ = kWaveFormatPcm;
    std::uint16_t channels_ = 2;
    std::uint32_t sampleRate_ = 44100;
    std::uint32_t byteRate_ = 176400;
    std::uint16_t blockAlignment_ = 4;  ///< bytes per sample frame
    std::uint16_t bitsPerSample_ = 16;
    std::int64_t sampleFrameCount_ = 0;
    std::int64_t framesDelivered_ = 0;
    bool endReached_ = false;
    bool readFailed_ = false;  ///< the sample data could not be read to its end

    /// Turns frameCount stored sample frames into SampleFrames; chosen by open for the format.
    void (*decodeFrames_)(const std::uint8_t* bytes, std::int64_t frameCount,
                          SampleFrame* entries) = nullptr;
    std::vector<std::uint8_t> buffer_;  ///< raw bytes of whole sample frames, reused per read
    std::string errorText_;
    std::string notice_;
};

}  // namespace zelvio
