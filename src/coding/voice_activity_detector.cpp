#include "coding/voice_activity_detector.h"

#include <bit>

namespace zelvio {

void VoiceActivityDetector::configure(std::int16_t peakLimit, std::int16_t meanLimit,
                                      std::int16_t hangoverLength) {
    peakLimit_ = peakLimit;
    meanLimit_ = meanLimit;
    hangoverLength_ = hangoverLength;
    hangoverCount_ = hangoverLength;
}

std::uint8_t VoiceActivityDetector::classifyFrame(const std::int16_t* samples, std::uint8_t& level,
                                                  std::int16_t count) {
    if (count < 1) {
        return 0;  // nothing to measure; the mean would divide by zero
    }
    // Magnitudes are 0 to 32768 (for -32768), so the sum of at most 32767 of them stays below
    // 2^30 and fits in 32 bits.
    std::int32_t peak = 0;
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t sample = samples[i];
        const std::int32_t magnitude = sample < 0 ? -sample : sample;
        peak = magnitude > peak ? magnitude : peak;
        sum += magnitude;
    }
    const std::int32_t mean = sum / count;  // the sum is never negative: rounds down

    if (peak >= peakLimit_ || mean >= meanLimit_) {
        hangoverCount_ = hangoverLength_;
        return 0;
    }
    if (hangoverCount_ > 0) {
        // Still positive before the subtraction, so the result stays above -32768.
        hangoverCount_ = static_cast<std::int16_t>(hangoverCount_ - count);
        return 0;
    }
    // The number of times the mean can be halved before it reaches 0. The mean is below
    // meanLimit here, so below 32767: at most 15.
    level = static_cast<std::uint8_t>(std::bit_width(static_cast<std::uint32_t>(mean)));
    return 1;
}

}  // namespace zelvio
