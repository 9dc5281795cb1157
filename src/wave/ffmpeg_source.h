#pragma once
// Reading what FFmpeg's libraries know and libsndfile does not (M4A/AAC, WMA, MP3 and the audio
// track of a video file) as signed 16-bit sample frames, by the rules of
// wave/sample_conversion.h: integer sample formats keep their top 16 bits (unsigned 8-bit is
// centred), floating-point ones (every lossy decoder's) are rounded by the float rule. No
// resampling and no channel remixing happen here.
//
// The file is read through a custom I/O context from an InputFile: FFmpeg never sees a file name,
// so its probing goes by the content alone. Of several audio tracks the one marked default is
// taken (FFmpeg's best one when none is marked), and notice() says so. Damage is not passed
// over: the first error the libraries report while reading (a packet that does not decode, a
// CRC mismatch, a hole in the stream) ends the read with a failure, and so does a stream that
// ends clearly before the length its container states. FFmpeg's log is taken over for this, once
// for the whole process: nothing of it is printed.
//
// Length: always kUnknownFrameCount. A container's duration is an estimate for some formats
// (MP3 without a frame index, ADTS AAC) and leaves out encoder delay for others; only decoding
// to the end gives the exact count.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "wave/audio_source.h"
#include "wave/input_file.h"

namespace zelvio {

/// One file read through FFmpeg's libraries. A failed open leaves it closed, with errorText()
/// saying why and recognised() whether FFmpeg knew the container at all.
class FfmpegSource final : public AudioSource {
  public:
    FfmpegSource();
    ~FfmpegSource() override;
    FfmpegSource(const FfmpegSource&) = delete;
    FfmpegSource& operator=(const FfmpegSource&) = delete;

    /// Opens the file (shared with whoever opened it; this source moves its position) from its
    /// first byte and prepares the decoder of its audio track. Returns kAudioOk;
    /// kAudioUnsupported for a null or closed file; kAudioBadFile when FFmpeg does not know the
    /// content, finds no audio track, has no decoder for it, or the track has other than 1 or 2
    /// channels.
    [[nodiscard]] AudioStatus open(std::shared_ptr<InputFile> file);

    /// After open(): FFmpeg knew the container (even if it then refused the file).
    [[nodiscard]] bool recognised() const { return recognised_; }

    [[nodiscard]] std::uint32_t sampleRate() const override { return sampleRate_; }
    [[nodiscard]] std::uint16_t channels() const override { return channels_; }
    [[nodiscard]] std::int64_t sampleFrameCount() const override { return kUnknownFrameCount; }
    /// The container and codec, e.g. "M4A/MP4, AAC", with the track when there are several.
    [[nodiscard]] std::string formatDescription() const override;
    /// Which track is read, when the file has more than one audio track.
    [[nodiscard]] std::string notice() const override;
    [[nodiscard]] AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override;
    [[nodiscard]] std::int64_t framesDelivered() const override { return framesDelivered_; }
    [[nodiscard]] bool endReached() const override { return endReached_; }
    [[nodiscard]] std::string_view errorText() const override { return errorText_; }

  private:
    struct Decoder;
    AudioStatus failOpen(std::string text);
    /// Makes the next decoded frame current. False at the end (endReached_) or on a failure
    /// (errorText_).
    bool nextFrame();
    /// At the end of the decoded stream: endReached_, or a failure when the container stated a
    /// clearly longer stream. Returns false.
    bool endOfStream();
    /// frames as seconds at the source's rate, e.g. "12.345 s".
    [[nodiscard]] std::string secondsText(std::int64_t frames) const;
    void close();

    std::shared_ptr<InputFile> file_;
    std::uint64_t failedReadsBefore_ = 0;  ///< file_'s failed reads when this reader took it
    std::unique_ptr<Decoder> decoder_;
    bool recognised_ = false;
    std::uint32_t sampleRate_ = 0;
    std::uint16_t channels_ = 0;
    std::string container_;
    std::string codec_;
    int trackNumber_ = 0;  ///< 1-based among the audio tracks
    int trackCount_ = 0;   ///< audio tracks in the file
    std::int64_t framesDelivered_ = 0;
    bool endReached_ = false;
    bool failed_ = false;
    std::string errorText_;
};

}  // namespace zelvio
