#include "coding/frame_coder.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "coding/adpcm.h"
#include "coding/pcm8.h"
#include "coding/search_encoder.h"

namespace zelvio {
namespace {

class Pcm8FrameCoder final : public FrameCoder {
  public:
    explicit Pcm8FrameCoder(int frameSamples) : frameSamples_(frameSamples) {}
    [[nodiscard]] int bitsPerSample() const override { return 8; }
    [[nodiscard]] int frameSamples() const override { return frameSamples_; }
    void encodeFrame(const std::int16_t* samples, std::uint8_t* coded) override {
        encodePcm8(samples, frameSamples_, coded);
    }
    void reset() override {}

  private:
    int frameSamples_;
};

/// Encoder is AdpcmEncoder or SearchAdpcmEncoder: the same calls, state and bytes layout.
template <typename Encoder>
class AdpcmFrameCoder final : public FrameCoder {
  public:
    AdpcmFrameCoder(int bitsPerSample, int frameSamples, Encoder encoder = {})
        : encoder_(std::move(encoder)),
          bits_(static_cast<std::int16_t>(bitsPerSample)),
          frameSamples_(static_cast<std::int16_t>(frameSamples)) {
        encoder_.reset();
    }
    [[nodiscard]] int bitsPerSample() const override { return bits_; }
    [[nodiscard]] int frameSamples() const override { return frameSamples_; }
    void encodeFrame(const std::int16_t* samples, std::uint8_t* coded) override {
        encoder_.encodeFrame(samples, coded, frameSamples_, bits_);
    }
    void reset() override { encoder_.reset(); }

  private:
    Encoder encoder_;
    std::int16_t bits_;
    std::int16_t frameSamples_;
};

}  // namespace

std::unique_ptr<FrameCoder> makeFrameCoder(int bitsPerSample, int frameSamples, AdpcmCoding coding,
                                           int searchPaths) {
    if (frameSamples < 1 || frameSamples > INT16_MAX) {
        return nullptr;
    }
    switch (bitsPerSample) {
        case 8:
            return std::make_unique<Pcm8FrameCoder>(frameSamples);
        case 4:
        case 3:
        case 2:
            if (coding == AdpcmCoding::Search) {
                // Held to 0 (the default at the width) to the most the search keeps.
                const auto paths = static_cast<std::int16_t>(
                    std::clamp(searchPaths, 0, static_cast<int>(kSearchMaxPaths)));
                return std::make_unique<AdpcmFrameCoder<SearchAdpcmEncoder>>(
                    bitsPerSample, frameSamples, SearchAdpcmEncoder(paths));
            }
            return std::make_unique<AdpcmFrameCoder<AdpcmEncoder>>(bitsPerSample, frameSamples);
        default:
            return nullptr;
    }
}

}  // namespace zelvio
