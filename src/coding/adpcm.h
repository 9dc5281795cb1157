#pragma once
// Step-adaptive ADPCM coding of Frames at 4, 3, 2 or 1 bits per sample, and its inverse.
//
//     AdpcmEncoder encoder;
//     encoder.reset();                                  // once per run
//     encoder.encodeFrame(frame, chunk + 1, 200, 4);    // 100 bytes of packed codes
//
// Conventions: counts are numbers of samples; a coded Frame takes adpcmCodedSize(count, bits)
// bytes; codes are packed without gaps, least significant bit first, and every call starts at
// bit 0 of its first byte. The predictor and step index evolve from the emitted codes alone, so an
// AdpcmDecoder started from the same state follows the encoder's predictor exactly.

#include <cstdint>

namespace zelvio {

/// Bytes that coding count samples at bitsPerSample bits takes: (bitsPerSample * count + 7) / 8,
/// a partial last byte included; 0 when count is 0 or less or the width is not 1 to 4, as then
/// nothing is coded. A 200-sample Frame takes 100, 75, 50 or 25 bytes.
[[nodiscard]] constexpr std::int32_t adpcmCodedSize(std::int16_t count,
                                                    std::int16_t bitsPerSample) {
    if (count <= 0 || bitsPerSample < 1 || bitsPerSample > 4) {
        return 0;
    }
    return (static_cast<std::int32_t>(bitsPerSample) * count + 7) / 8;
}

/// The running state shared by the encoder and the decoder.
struct AdpcmState {
    std::int16_t predictor = 0;  ///< reconstructed value of the last sample, -32768 to 32767
    std::int16_t stepIndex = 0;  ///< position in kAdpcmStepSizes, 0 to 88
    std::int16_t lastCode = 0;   ///< the last sample's code in 4-bit form (sign in bit 3), 0 to 15

    friend bool operator==(const AdpcmState&, const AdpcmState&) = default;
};

/// Encodes Frames into packed ADPCM codes. One encoder serves a whole run: reset it once, then
/// hand it every coded Frame in stream order; its state runs on from Frame to Frame.
///
/// Widths: 4 bits (IMA ADPCM quantiser and adaptation), 3 and 2 bits (the same machinery forming
/// fewer magnitude bits), 1 bit (adaptive delta modulation). A width outside 1 to 4, or a count of
/// 0 or less, writes nothing and leaves the state as it was.
class AdpcmEncoder {
  public:
    /// Returns to the start-of-run state: predictor 0, step index 0 (step 7), last code 0.
    void reset();

    /// Codes count samples and writes adpcmCodedSize(count, bitsPerSample) bytes to out; a
    /// partial last byte has its unused high bits cleared.
    void encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                     std::int16_t bitsPerSample);

    /// As above, and also writes the predictor after each sample, the value a decoder will
    /// reconstruct, to reconstructed[0] to reconstructed[count - 1] (skipped when it is null).
    void encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                     std::int16_t bitsPerSample, std::int16_t* reconstructed);

    /// Reconstructed value of the last coded sample.
    [[nodiscard]] std::int16_t predictor() const { return state_.predictor; }
    /// Current position in the step-size table, 0 to 88.
    [[nodiscard]] std::int16_t stepIndex() const { return state_.stepIndex; }
    /// The last sample's code in 4-bit form.
    [[nodiscard]] std::int16_t lastCode() const { return state_.lastCode; }

    /// The whole state, e.g. to hand to a decoder.
    [[nodiscard]] AdpcmState state() const { return state_; }
    /// Continues from a given state; the step index is clamped to 0 to 88 and the code masked
    /// to 4 bits, so the coder's invariants hold whatever is passed.
    void setState(const AdpcmState& state);

  private:
    AdpcmState state_;
};

/// Decodes packed ADPCM codes back into samples, as the handheld does when it plays a database.
/// It holds the same state as the encoder and advances it with the encoder's own reconstruction
/// and step adaptation, so from the same start it reproduces the encoder's predictor exactly.
class AdpcmDecoder {
  public:
    /// Returns to the start-of-run state: predictor 0, step index 0, last code 0.
    void reset();

    /// Reads adpcmCodedSize(count, bitsPerSample) bytes of packed codes from in and writes the
    /// count reconstructed samples to out. A width outside 1 to 4, or a count of 0 or less,
    /// writes nothing and leaves the state as it was.
    void decodeFrame(const std::uint8_t* in, std::int16_t* out, std::int16_t count,
                     std::int16_t bitsPerSample);

    /// The last reconstructed sample.
    [[nodiscard]] std::int16_t predictor() const { return state_.predictor; }
    /// Current position in the step-size table, 0 to 88.
    [[nodiscard]] std::int16_t stepIndex() const { return state_.stepIndex; }
    /// The last sample's code in 4-bit form.
    [[nodiscard]] std::int16_t lastCode() const { return state_.lastCode; }

    /// The whole state.
    [[nodiscard]] AdpcmState state() const { return state_; }
    /// Continues from a given state, clamped as AdpcmEncoder::setState does.
    void setState(const AdpcmState& state);

  private:
    AdpcmState state_;
};

}  // namespace zelvio
