#pragma once
// Turning a checked audio database back into 16-bit samples, Frame by Frame, as the handheld
// plays it.
//
//     DatabaseDecoder decoder(reader);              // reader: a DatabaseReader that read OK
//     std::array<std::int16_t, kFrameSamples> frame;
//     while (decoder.nextFrame(frame.data())) { sink.write(frame.data(), frame.size()); }
//
// Audio chunks: an 8-bit PCM byte is a signed byte scaled by 256; ADPCM codes go through one
// AdpcmDecoder for the whole stream, its state carried across chunks and records. Silence chunks:
// 200 samples of 0, or with comfort noise low noise whose mean magnitude matches the chunk's
// silence level; they never touch the ADPCM state, just as the encoder never saw those Frames.

#include <cstdint>
#include <vector>

#include "coding/adpcm.h"
#include "pdb/database_reader.h"
#include "pdb/stream_format.h"

namespace zelvio {

/// How silence chunks are played.
struct DecodeOptions {
    bool comfortNoise = false;             ///< low noise at the chunk's level instead of 0
    std::uint32_t noiseSeed = 0x5EED1234;  ///< start of the noise sequence; same seed, same noise
};

/// The peak of the comfort noise for a silence level: 0 for level 0, otherwise twice the middle
/// of the mean magnitudes that give the level (2^(level-1) to 2^level - 1), so that uniform noise
/// from -peak to peak has about that mean magnitude. Level 1 gives 2, level 8 gives 384.
[[nodiscard]] std::int16_t comfortNoisePeak(std::uint8_t level);

/// Decodes the stream of one database. The reader must have read the database successfully and
/// outlive the decoder.
class DatabaseDecoder {
  public:
    explicit DatabaseDecoder(const DatabaseReader& reader, DecodeOptions options = {});

    /// Writes the next Frame's kFrameSamples samples to samples and returns true; false (nothing
    /// written) after the last chunk.
    [[nodiscard]] bool nextFrame(std::int16_t* samples);

    /// Frames in the whole stream (its chunk count).
    [[nodiscard]] std::uint64_t frameCount() const { return frameCount_; }
    /// Frames delivered so far.
    [[nodiscard]] std::uint64_t framesDecoded() const { return framesDecoded_; }
    /// The ADPCM state after the Frames delivered so far.
    [[nodiscard]] AdpcmState adpcmState() const { return adpcm_.state(); }

  private:
    void fillSilence(std::uint8_t level, std::int16_t* samples);

    const DatabaseReader& reader_;
    DecodeOptions options_;
    std::uint16_t bits_ = 0;          ///< 8 for PCM, else the ADPCM width
    std::size_t recordPosition_ = 0;  ///< position in reader_.streamRecords()
    ChunkWalker walker_;
    AdpcmDecoder adpcm_;
    std::uint32_t noise_ = 0;  ///< state of the noise generator
    std::uint64_t frameCount_ = 0;
    std::uint64_t framesDecoded_ = 0;
};

}  // namespace zelvio
