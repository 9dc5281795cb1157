#pragma once
// The coder of a run's Frames, chosen once before the Frame loop: 8-bit PCM, or ADPCM at 4, 3 or 2
// bits per sample. Another coder (a searching ADPCM encoder, say) is one more implementation and
// one more case in makeFrameCoder.
//
//     std::unique_ptr<FrameCoder> coder = makeFrameCoder(4, 200);
//     for (each Frame) coder->encodeFrame(frame, chunk + 1);   // coder->codedBytes() bytes

#include <cstdint>
#include <memory>

namespace zelvio {

/// Codes Frames of a fixed length, one after the other in stream order. A coder with state
/// (ADPCM) starts from its start-of-run state and carries it from Frame to Frame; Frames that are
/// not handed to it (silence) leave the state alone.
class FrameCoder {
  public:
    virtual ~FrameCoder() = default;

    /// Bits per sample of a coded Frame: 8, 4, 3 or 2.
    [[nodiscard]] virtual int bitsPerSample() const = 0;
    /// Samples in every Frame.
    [[nodiscard]] virtual int frameSamples() const = 0;
    /// Bytes one coded Frame takes: bitsPerSample() x frameSamples() / 8, rounded up.
    [[nodiscard]] int codedBytes() const { return (bitsPerSample() * frameSamples() + 7) / 8; }

    /// Codes the frameSamples() samples at samples into codedBytes() bytes at coded.
    virtual void encodeFrame(const std::int16_t* samples, std::uint8_t* coded) = 0;
};

/// The coder for bitsPerSample (8: 8-bit PCM; 4, 3 or 2: ADPCM, reset to its start-of-run state)
/// and Frames of frameSamples samples (1 to 32767). Null for any other width or length.
[[nodiscard]] std::unique_ptr<FrameCoder> makeFrameCoder(int bitsPerSample, int frameSamples);

}  // namespace zelvio
