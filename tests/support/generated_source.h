// Audio sources for tests and benchmarks that need no file: a deterministic signal of any length
// and rate, and a wrapper that hides another source's length.
//
//     auto input = std::make_unique<GeneratedSource>(GeneratedSource::Shape{.rate = 44100,
//         .channels = 2, .frames = 2 * 3600 * 44100});
//     job.readInputFrom(std::move(input));
//
// Header-only, so that any test or benchmark program that links the wave room can include it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "wave/audio_source.h"

namespace zelvio::test_support {

/// Sample frames of a tone that comes and goes (a triangle wave for 1.5 s, then 0.5 s of faint
/// noise), the same for the same shape on every run. It may state its length or hide it, and may
/// fail at a given frame as a damaged file would.
class GeneratedSource final : public AudioSource {
  public:
    struct Shape {
        std::uint32_t rate = 44100;
        std::uint16_t channels = 2;
        std::int64_t frames = 0;
        bool lengthStated = true;  ///< false: sampleFrameCount() is kUnknownFrameCount
        std::int64_t failAt = -1;  ///< the frame where reading fails; -1: never
        /// Where the frames delivered are counted too, so that they can be read from any thread
        /// and after the source is gone; may be null.
        std::shared_ptr<std::atomic<std::int64_t>> tally = nullptr;
    };

    explicit GeneratedSource(Shape shape) : shape_(shape) {}

    [[nodiscard]] std::uint32_t sampleRate() const override { return shape_.rate; }
    [[nodiscard]] std::uint16_t channels() const override { return shape_.channels; }
    [[nodiscard]] std::int64_t sampleFrameCount() const override {
        return shape_.lengthStated ? shape_.frames : kUnknownFrameCount;
    }
    [[nodiscard]] std::string formatDescription() const override { return "generated"; }
    [[nodiscard]] std::int64_t framesDelivered() const override { return delivered_; }
    [[nodiscard]] bool endReached() const override { return ended_; }
    [[nodiscard]] std::string_view errorText() const override { return error_; }

    [[nodiscard]] AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override {
        if (count < 1 || entries == nullptr) {
            error_ = "nothing to read into";
            return kAudioUnsupported;
        }
        error_.clear();
        const std::int64_t end =
            shape_.failAt >= 0 ? std::min(shape_.failAt, shape_.frames) : shape_.frames;
        const std::int64_t available = std::clamp<std::int64_t>(end - delivered_, 0, count);
        for (std::int64_t i = 0; i < available; ++i) {
            entries[i] = frameAt(delivered_ + i);
        }
        delivered_ += available;
        if (shape_.tally) {
            shape_.tally->store(delivered_, std::memory_order_relaxed);
        }
        if (available == count) {
            return kAudioOk;
        }
        if (delivered_ == shape_.frames) {
            ended_ = true;
            error_ = std::string(kEndOfSamplesText);
        } else {
            error_ = "the generated input fails here";
        }
        return kAudioBadFile;
    }

    /// The sample frame at index, as delivered.
    [[nodiscard]] SampleFrame frameAt(std::int64_t index) const {
        const std::int64_t period = std::max<std::int64_t>(shape_.rate / 330, 2);
        const std::int64_t phase = index % period;
        const std::int64_t triangle = std::abs(2 * phase - period) * 16000 / period - 8000;
        auto hash = static_cast<std::uint32_t>(index) * 2654435761u;
        hash ^= hash >> 15;
        const auto noise = static_cast<std::int16_t>(static_cast<std::int32_t>(hash & 63) - 32);
        const bool loud =
            index % (2 * std::int64_t{shape_.rate}) < 3 * std::int64_t{shape_.rate} / 2;
        const auto left = static_cast<std::int16_t>(loud ? triangle + noise : noise);
        const auto right = static_cast<std::int16_t>(loud ? triangle / 2 - noise : -noise);
        return {left, shape_.channels == 2 ? right : std::int16_t{0}};
    }

  private:
    Shape shape_;
    std::int64_t delivered_ = 0;
    bool ended_ = false;
    std::string error_;
};

/// Another source with its length hidden: sampleFrameCount() is kUnknownFrameCount, everything
/// else is the inner source's.
class HiddenLength final : public AudioSource {
  public:
    explicit HiddenLength(std::unique_ptr<AudioSource> inner) : inner_(std::move(inner)) {}

    [[nodiscard]] std::uint32_t sampleRate() const override { return inner_->sampleRate(); }
    [[nodiscard]] std::uint16_t channels() const override { return inner_->channels(); }
    [[nodiscard]] std::int64_t sampleFrameCount() const override { return kUnknownFrameCount; }
    [[nodiscard]] std::string formatDescription() const override {
        return inner_->formatDescription();
    }
    [[nodiscard]] AudioStatus readSamples(std::int64_t count, SampleFrame* entries) override {
        return inner_->readSamples(count, entries);
    }
    [[nodiscard]] std::int64_t framesDelivered() const override {
        return inner_->framesDelivered();
    }
    [[nodiscard]] bool endReached() const override { return inner_->endReached(); }
    [[nodiscard]] std::string_view errorText() const override { return inner_->errorText(); }

  private:
    std::unique_ptr<AudioSource> inner_;
};

}  // namespace zelvio::test_support
