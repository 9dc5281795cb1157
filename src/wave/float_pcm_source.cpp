#include "wave/float_pcm_source.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "wave/sample_conversion.h"

namespace zelvio {
namespace {

/// Sample frames asked of the reader at a time.
constexpr std::int64_t kBlockFrames = 8192;

class FloatPcmSource final : public AudioSource {
  public:
    FloatPcmSource(FloatPcmFormat format, FloatPcmReader reader)
        : format_(std::move(format)),
          reader_(std::move(reader)),
          left_(static_cast<std::size_t>(kBlockFrames)),
          right_(format_.channels == 2 ? static_cast<std::size_t>(kBlockFrames) : 0) {}

    std::uint32_t sampleRate() const override { return format_.sampleRate; }
    std::uint16_t channels() const override { return format_.channels; }
    std::int64_t sampleFrameCount() const override { return format_.frameCount; }
    std::string formatDescription() const override { return format_.description; }
    std::string notice() const override { return format_.notice; }
    std::int64_t framesDelivered() const override { return delivered_; }
    bool endReached() const override { return endReached_; }
    std::string_view errorText() const override { return errorText_; }

    AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override {
        if (count < 1 || entries == nullptr) {
            return kAudioUnsupported;
        }
        errorText_.clear();
        const bool stereo = format_.channels == 2;
        while (count > 0) {
            if (delivered_ == format_.frameCount) {
                endReached_ = true;
                errorText_ = kEndOfSamplesText;
                return kAudioBadFile;
            }
            const std::int64_t take =
                std::min({count, kBlockFrames, format_.frameCount - delivered_});
            if (!reader_(delivered_, take, left_.data(), stereo ? right_.data() : nullptr)) {
                errorText_ = "the decoded samples could not be read";
                return kAudioBadFile;
            }
            for (std::int64_t i = 0; i < take; ++i) {
                const auto at = static_cast<std::size_t>(i);
                entries[at].left = sampleFromReal(left_[at]);
                if (stereo) {
                    entries[at].right = sampleFromReal(right_[at]);
                }
            }
            entries += take;
            count -= take;
            delivered_ += take;
        }
        return kAudioOk;
    }

  private:
    FloatPcmFormat format_;
    FloatPcmReader reader_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::int64_t delivered_ = 0;
    bool endReached_ = false;
    std::string errorText_;
};

}  // namespace

OpenedAudio openFloatPcmSource(FloatPcmFormat format, FloatPcmReader reader) {
    if (format.channels != 1 && format.channels != 2) {
        return OpenedAudio::refused(
            kAudioUnsupported,
            std::to_string(format.channels) + " channels (only mono and stereo are supported)",
            true);
    }
    if (format.sampleRate == 0) {
        return OpenedAudio::refused(kAudioUnsupported, "the sample rate is 0", true);
    }
    if (format.frameCount < 0) {
        return OpenedAudio::refused(kAudioUnsupported, "the length is negative", true);
    }
    if (!reader) {
        return OpenedAudio::refused(kAudioUnsupported, "nothing delivers the samples", true);
    }
    return OpenedAudio::accepted(
        std::make_unique<FloatPcmSource>(std::move(format), std::move(reader)));
}

}  // namespace zelvio
