#include "wave/audio_source.h"

#include <algorithm>
#include <array>
#include <vector>

#include "wave/format_readers.h"
#include "wave/input_file.h"
#include "wave/input_formats.h"
#include "wave/wave_file.h"

namespace zelvio {

const char* audioStatusText(AudioStatus status) {
    switch (status) {
        case kAudioOk:
            return "success";
        case kAudioBadFile:
            return "cannot read the file or its header";
        case kAudioUnsupported:
            return "unsupported format or bad argument";
        default:
            return "unknown status";
    }
}

namespace {

/// True when the first bytes are those of a RIFF WAVE file, RF64 and the like included (our own
/// reader takes them), or of a file too short to be anything else: "WAVE" at offset 8 under any
/// outer id but the big-endian "RIFX"; a shorter file that starts like "RIFF"; an empty file.
bool isOurWave(const std::uint8_t* head, std::int64_t length) {
    const auto matches = [head](std::size_t at, std::string_view text, std::int64_t available) {
        const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(
            available - static_cast<std::int64_t>(at), 0, static_cast<std::int64_t>(text.size())));
        return std::equal(text.begin(), text.begin() + n, head + at);
    };
    if (length < 12) {
        return matches(0, "RIFF", length);
    }
    return matches(8, "WAVE", length) && !matches(0, "RIFX", length);
}

/// A source that reports a length counted beforehand by reading the input once.
class CountedSource final : public AudioSource {
  public:
    CountedSource(std::unique_ptr<AudioSource> source, std::int64_t frames)
        : source_(std::move(source)), frames_(frames) {}
    std::uint32_t sampleRate() const override { return source_->sampleRate(); }
    std::uint16_t channels() const override { return source_->channels(); }
    std::int64_t sampleFrameCount() const override { return frames_; }
    std::string formatDescription() const override { return source_->formatDescription(); }
    std::string notice() const override { return source_->notice(); }
    AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override {
        return source_->readSamples(count, entries);
    }
    std::int64_t framesDelivered() const override { return source_->framesDelivered(); }
    bool endReached() const override { return source_->endReached(); }
    std::string_view errorText() const override { return source_->errorText(); }

  private:
    std::unique_ptr<AudioSource> source_;
    std::int64_t frames_;
};

/// True when the first bytes are those of an Ogg stream or of MPEG audio (an ID3 tag, or a frame
/// sync: eleven set bits; ADTS AAC has one too).
bool isOggOrMpeg(const std::uint8_t* head, std::int64_t length) {
    if (length >= 4 && std::equal(head, head + 4, "OggS")) {
        return true;
    }
    if (length >= 3 && std::equal(head, head + 3, "ID3")) {
        return true;
    }
    return length >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
}

/// Opens an open file with the reader its content calls for: RIFF WAVE to our own reader,
/// anything else to the readers of other formats when the build has them (wave/format_readers.h).
OpenedAudio openContent(const std::shared_ptr<InputFile>& file) {
    std::array<std::uint8_t, 12> head{};
    const std::int64_t got =
        file->seek(0) ? std::min(file->read(head.data(), head.size()), file->size()) : 0;
    const InputReaders readers = inputReaders();
    const bool looksLikeWave = isOurWave(head.data(), got);
    if (looksLikeWave || (!readers.libsndfile && !readers.ffmpeg)) {
        auto wave = std::make_unique<WaveFile>();
        if (const AudioStatus status = wave->open(file); status != kAudioOk) {
            return OpenedAudio::refused(status, wave->errorText(),
                                        looksLikeWave && file->size() > 0);
        }
        return OpenedAudio::accepted(std::move(wave));
    }
#ifdef ZELVIO_FORMAT_MODULE
    return openThroughFormatModule(file, isOggOrMpeg(head.data(), got));
#else
    return openWithFormatReaders(file, isOggOrMpeg(head.data(), got));
#endif
}

/// Reads the source to its end and counts its sample frames; 0, with error set, when it cannot
/// be read to its end.
std::int64_t countFrames(AudioSource& source, std::string& error) {
    constexpr std::int64_t kBlockFrames = 4096;
    std::vector<SampleFrame> block(kBlockFrames);
    while (source.readSamples(kBlockFrames, block.data()) == kAudioOk) {
    }
    if (!source.endReached()) {
        error = std::string(source.errorText());
        return 0;
    }
    return source.framesDelivered();
}

OpenedAudio openInputFile(const std::shared_ptr<InputFile>& file, LengthRule rule) {
    OpenedAudio opened = openContent(file);
    if (opened.status != kAudioOk || rule != LengthRule::Counted ||
        opened.source->sampleFrameCount() != kUnknownFrameCount) {
        return opened;
    }
    std::string error;
    const std::int64_t frames = countFrames(*opened.source, error);
    opened.source.reset();
    if (frames == 0) {
        return OpenedAudio::refused(
            kAudioBadFile, error.empty() ? "the file holds no audio (it may be cut short)" : error,
            true);
    }
    OpenedAudio again = openContent(file);
    if (again.status == kAudioOk) {
        again.source = std::make_unique<CountedSource>(std::move(again.source), frames);
    }
    return again;
}

}  // namespace

OpenedAudio openAudioSource(const std::filesystem::path& path, LengthRule rule) {
    auto file = std::make_shared<InputFile>();
    if (const AudioStatus status = file->open(path); status != kAudioOk) {
        return OpenedAudio::refused(status, file->errorText(), false);
    }
    return openInputFile(file, rule);
}

OpenedAudio openAudioSource(std::FILE* stream, LengthRule rule) {
    auto file = std::make_shared<InputFile>();
    if (const AudioStatus status = file->borrow(stream); status != kAudioOk) {
        return OpenedAudio::refused(status, file->errorText(), false);
    }
    return openInputFile(file, rule);
}

OpenedAudio openAudioSource(std::shared_ptr<InputFile> file, LengthRule rule) {
    if (file == nullptr || !file->isOpen()) {
        return OpenedAudio::refused(kAudioUnsupported, "no input file was named", false);
    }
    return openInputFile(file, rule);
}

}  // namespace zelvio
