#pragma once
// The input seam: where a conversion's samples come from. The job reads every input through
// AudioSource and opens it with openAudioSource(), the one place that knows the input formats.
// It looks at the content, never at the file name: RIFF WAVE goes to our own reader (WaveFile);
// other files go to the libsndfile source and then to the FFmpeg source, when this build has them
// (wave/input_formats.h lists what a build reads).
//
//     OpenedAudio input = openAudioSource(path);
//     if (input.status != kAudioOk) { show(input.errorText); return; }
//     std::array<SampleFrame, 4096> block;
//     while (input.source->readSamples(block.size(), block.data()) == kAudioOk) { ... }
//     if (!input.source->endReached()) { show(input.source->errorText()); }

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace zelvio {

/// Outcome of an audio source operation; 0 is success.
using AudioStatus = std::uint16_t;
/// The operation did what was asked.
inline constexpr AudioStatus kAudioOk = 0;
/// The file cannot be opened or read as far as needed, its header is not acceptable, or the
/// sample data ended before a request was met.
inline constexpr AudioStatus kAudioBadFile = 3;
/// A bad argument (empty path, count below 1, no buffer, no open file) or a format that cannot be
/// delivered (compressed encoding, unsupported sample width).
inline constexpr AudioStatus kAudioUnsupported = 4;

/// A short English text for a status, e.g. "unsupported format"; "unknown status" otherwise.
[[nodiscard]] const char* audioStatusText(AudioStatus status);

/// What AudioSource::sampleFrameCount() gives for an input whose length is known only at its
/// end.
inline constexpr std::int64_t kUnknownFrameCount = -1;

/// The errorText() of a source after a read that found the end of its samples.
inline constexpr std::string_view kEndOfSamplesText = "end of the sample data";

/// One sample frame as delivered: two signed 16-bit slots, left then right. A mono source fills
/// the left slot and leaves the right slot as it was.
struct SampleFrame {
    std::int16_t left;   ///< left (or only) channel
    std::int16_t right;  ///< right channel; untouched for mono sources

    friend bool operator==(const SampleFrame&, const SampleFrame&) = default;
};

/// An open input whose samples are delivered front to back as signed 16-bit sample frames.
/// Counts are sample frames (one sample per channel) and 64-bit.
class AudioSource {
  public:
    virtual ~AudioSource() = default;

    /// Sample frames per second, as the input states it.
    [[nodiscard]] virtual std::uint32_t sampleRate() const = 0;
    /// 1 (mono) or 2 (stereo).
    [[nodiscard]] virtual std::uint16_t channels() const = 0;
    /// Sample frames in the whole input, or kUnknownFrameCount when the input cannot know it
    /// before it has been read to its end (a stream whose header leaves the length open).
    [[nodiscard]] virtual std::int64_t sampleFrameCount() const = 0;
    /// How the input stores its samples, in a few words, e.g. "WAVE, 16-bit PCM".
    [[nodiscard]] virtual std::string formatDescription() const = 0;
    /// Something the user should know about how the input is read, as one sentence (e.g. which
    /// of several audio tracks is converted); empty for most inputs.
    [[nodiscard]] virtual std::string notice() const { return {}; }

    /// Delivers the next count sample frames into entries[0] to entries[count - 1]. Returns
    /// kAudioOk when all count were delivered; kAudioBadFile at the end of the samples or on a
    /// read failure (the frames delivered before that point hold their samples, the later
    /// entries are left as they were); kAudioUnsupported, delivering nothing, for a count below 1
    /// or a null entries.
    [[nodiscard]] virtual AudioStatus readSamples(std::int64_t count, SampleFrame* entries) = 0;
    /// Sample frames delivered since the input was opened: all of them once endReached().
    [[nodiscard]] virtual std::int64_t framesDelivered() const = 0;
    /// True once a read has stopped at the end of the samples; false before, and after a read
    /// that failed (damaged data, a read error), which errorText() then describes.
    [[nodiscard]] virtual bool endReached() const = 0;

    /// After a failure: one plain sentence saying what is wrong; kEndOfSamplesText after a read
    /// that found the end. Empty after a success.
    [[nodiscard]] virtual std::string_view errorText() const = 0;
};

/// What openAudioSource gives back.
struct OpenedAudio {
    AudioStatus status = kAudioBadFile;   ///< kAudioOk, or why the input cannot be read
    std::unique_ptr<AudioSource> source;  ///< the open input; null unless status is kAudioOk
    std::string errorText;                ///< why not, as one plain sentence; empty on success
    /// A reader knew the content's format (then errorText says what is wrong inside the file);
    /// false when no reader of this build recognised it, or it could not be opened at all.
    bool formatRecognised = false;

    /// An input refused with status and the sentence text.
    [[nodiscard]] static OpenedAudio refused(AudioStatus status, std::string_view text,
                                             bool recognised) {
        OpenedAudio opened;
        opened.status = status;
        opened.errorText = std::string(text);
        opened.formatRecognised = recognised;
        return opened;
    }
    /// An input opened by source.
    [[nodiscard]] static OpenedAudio accepted(std::unique_ptr<AudioSource> source) {
        OpenedAudio opened;
        opened.status = kAudioOk;
        opened.source = std::move(source);
        opened.formatRecognised = true;
        return opened;
    }
};

/// How openAudioSource treats an input that cannot state its length up front.
enum class LengthRule {
    AsStated,  ///< the source reports kUnknownFrameCount
    /// The input is read once to its end to count its sample frames, then opened again, and the
    /// source reports that count. An input that gives no sample frame at all, or that cannot be
    /// read to its end, is then refused.
    Counted,
};

/// Opens the input file at path in the format its content is in and reads its header.
[[nodiscard]] OpenedAudio openAudioSource(const std::filesystem::path& path,
                                          LengthRule rule = LengthRule::AsStated);

/// The same for an open stream (binary, able to seek) that holds the input from its start, such
/// as standard input spooled to a scratch file. The caller keeps the stream open while the
/// source lives and closes it afterwards.
[[nodiscard]] OpenedAudio openAudioSource(std::FILE* stream,
                                          LengthRule rule = LengthRule::AsStated);

class InputFile;

/// The same for an open input file (wave/input_file.h), such as one whose bytes a subclass
/// fetches from elsewhere. A null or closed file is refused as an empty path is.
[[nodiscard]] OpenedAudio openAudioSource(std::shared_ptr<InputFile> file,
                                          LengthRule rule = LengthRule::AsStated);

}  // namespace zelvio
