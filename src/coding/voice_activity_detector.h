#pragma once
// Per-Frame silence decision for the "Voice Activity Detection" option.

#include <cstdint>

namespace zelvio {

/// Decides, Frame by Frame, whether a Frame is quiet enough to be stored as a one-byte silence
/// chunk instead of being coded.
///
/// A Frame is loud when its peak magnitude reaches peakLimit or its mean magnitude reaches
/// meanLimit (the limits themselves count as loud). After every loud Frame, and at the start of
/// a run, a hangover of hangoverLength samples runs during which quiet Frames are still coded.
/// Quiet Frames after the hangover are silent and get a silence level: the number of
/// significant bits of their mean magnitude (0 for a mean of 0, otherwise floor(log2(mean)) + 1).
///
/// The conversion job configures it with (1024, 256, 1400): seven 200-sample Frames of hangover.
/// Until configure is called every Frame counts as loud.
class VoiceActivityDetector {
  public:
    /// Stores the limits and arms the hangover in full (hangoverCount = hangoverLength).
    void configure(std::int16_t peakLimit, std::int16_t meanLimit, std::int16_t hangoverLength);

    /// Classifies count samples. Returns 1 when the Frame is silent and then writes its silence
    /// level to level; returns 0 otherwise and leaves level untouched. A count below 1 has no
    /// mean: it returns 0 and changes nothing.
    [[nodiscard]] std::uint8_t classifyFrame(const std::int16_t* samples, std::uint8_t& level,
                                             std::int16_t count);

    /// Samples of hangover still to run; 0 or less means the hangover is over.
    [[nodiscard]] std::int16_t hangoverCount() const { return hangoverCount_; }

  private:
    std::int16_t peakLimit_ = 0;       ///< a Frame whose peak magnitude reaches this is loud
    std::int16_t meanLimit_ = 0;       ///< a Frame whose mean magnitude reaches this is loud
    std::int16_t hangoverLength_ = 0;  ///< samples of quiet still coded after a loud Frame
    std::int16_t hangoverCount_ = 0;   ///< samples of hangover left to run
};

}  // namespace zelvio
