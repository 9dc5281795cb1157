#pragma once
// The coder of a run's Frames, chosen once before the Frame loop: 8-bit PCM, or ADPCM at 4, 3 or 2
// bits per sample, its codes chosen sample by sample (greedy) or by a search over the decoder's
// state (coding/search_encoder.h). Another coder is one more implementation and one more case in
// makeFrameCoder.
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
    /// Returns to the start-of-run state, as for a new database.
    virtual void reset() = 0;
};

/// How an ADPCM coder chooses its codes. Both write codes the one decoder reads; 8-bit PCM is
/// coded the same way under either.
enum class AdpcmCoding {
    Greedy,  ///< each sample's nearest level (AdpcmEncoder): fast, the bytes databases have always
             ///< had
    Search,  ///< the Frame's codes that decode closest to the input (SearchAdpcmEncoder): slower
};

/// The coder for bitsPerSample (8: 8-bit PCM; 4, 3 or 2: ADPCM, reset to its start-of-run state)
/// and Frames of frameSamples samples (1 to 32767). Null for any other width or length. With
/// AdpcmCoding::Search, searchPaths is the search's width (see SearchAdpcmEncoder; 0 for its
/// default at the width).
[[nodiscard]] std::unique_ptr<FrameCoder> makeFrameCoder(int bitsPerSample, int frameSamples,
                                                         AdpcmCoding coding = AdpcmCoding::Greedy,
                                                         int searchPaths = 0);

}  // namespace zelvio
