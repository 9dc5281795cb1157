#pragma once
// Reading the containers libsndfile knows (FLAC, Ogg Vorbis and Opus, AIFF and AIFC, CAF, W64,
// AU, MP3 and more) as signed 16-bit sample frames, by the rules of wave/sample_conversion.h:
// integer content (PCM, FLAC, ALAC, the ADPCM and companding codecs) is read as left-aligned
// 32-bit integers and keeps its top 16 bits; floating-point and lossy content (float, double,
// Vorbis, Opus, MPEG) is read as double at full scale 1.0 and rounded by the float rule. So a
// FLAC, AIFF or W64 copy of a WAVE file delivers exactly the samples WaveFile delivers from it.
//
// The file is read through libsndfile's virtual I/O from an InputFile: libsndfile never sees a
// file name, so it goes by the content alone.
//
// Length: the count a header states (PCM containers, FLAC with its total) is reported as it is;
// Ogg and MPEG streams, and FLAC streams written without a total, report kUnknownFrameCount,
// because libsndfile derives their length from the end of the file or the first frame, which a
// cut, chained or variable-rate file makes wrong.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wave/audio_source.h"
#include "wave/input_file.h"

namespace zelvio {

/// One file read through libsndfile. A failed open leaves it closed, with errorText() saying why
/// and recognised() whether libsndfile knew the format at all.
class SndfileSource final : public AudioSource {
  public:
    SndfileSource();
    ~SndfileSource() override;
    SndfileSource(const SndfileSource&) = delete;
    SndfileSource& operator=(const SndfileSource&) = delete;

    /// Opens the file (shared with whoever opened it; this source moves its position) from its
    /// first byte. Returns kAudioOk; kAudioUnsupported for a null or closed file; kAudioBadFile
    /// when libsndfile does not know the content or finds it malformed, when it has other than 1
    /// or 2 channels, or no sample rate.
    [[nodiscard]] AudioStatus open(std::shared_ptr<InputFile> file);

    /// After open(): libsndfile knew the content's format (even if it then refused the file).
    [[nodiscard]] bool recognised() const { return recognised_; }
    /// After a successful open(): the content is an Ogg or MPEG audio stream, whose length
    /// libsndfile derives rather than reads (and at which it stops reading), and whose damage
    /// libsndfile passes over without an error.
    [[nodiscard]] bool isDerivedLengthStream() const;

    [[nodiscard]] std::uint32_t sampleRate() const override { return sampleRate_; }
    [[nodiscard]] std::uint16_t channels() const override { return channels_; }
    [[nodiscard]] std::int64_t sampleFrameCount() const override { return frameCount_; }
    /// The container and the encoding, e.g. "FLAC, 24-bit PCM", "Ogg Vorbis", "AIFF, 8-bit PCM".
    [[nodiscard]] std::string formatDescription() const override;
    [[nodiscard]] AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override;
    [[nodiscard]] std::int64_t framesDelivered() const override { return framesDelivered_; }
    [[nodiscard]] bool endReached() const override { return endReached_; }
    [[nodiscard]] std::string_view errorText() const override { return errorText_; }

  private:
    struct Handle;
    AudioStatus failOpen(std::string text);
    void close();

    std::shared_ptr<InputFile> file_;
    std::uint64_t failedReadsBefore_ = 0;  ///< file_'s failed reads when this reader took it
    std::unique_ptr<Handle> handle_;
    bool recognised_ = false;
    bool realSamples_ = false;  ///< read as double by the float rule, not as integers
    int format_ = 0;            ///< libsndfile's format word: container | encoding
    std::uint32_t sampleRate_ = 0;
    std::uint16_t channels_ = 0;
    std::int64_t statedFrames_ = 0;  ///< what libsndfile says the file holds
    std::int64_t frameCount_ = 0;    ///< statedFrames_, or kUnknownFrameCount
    std::int64_t framesDelivered_ = 0;
    bool endReached_ = false;
    std::vector<std::int32_t> integers_;  ///< one block of interleaved samples
    std::vector<double> reals_;
    std::string errorText_;
};

}  // namespace zelvio
