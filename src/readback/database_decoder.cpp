#include "readback/database_decoder.h"

#include "coding/pcm8.h"

namespace zelvio {
namespace {

/// Every stream record holds at least a header, so a walker over nothing stands in before the
/// first record is reached.
ChunkWalker emptyWalker() {
    return ChunkWalker({}, 0, 0);
}

}  // namespace

std::int16_t comfortNoisePeak(std::uint8_t level) {
    if (level == 0) {
        return 0;
    }
    if (level == 1) {
        return 2;  // a mean magnitude of exactly 1
    }
    // Means 2^(level-1) to 2^level - 1 give the level; the middle is 3 x 2^(level-2), and uniform
    // noise from -peak to peak has a mean magnitude of peak / 2.
    return static_cast<std::int16_t>(3 << (level - 1));
}

DatabaseDecoder::DatabaseDecoder(const DatabaseReader& reader, DecodeOptions options)
    : reader_(reader),
      options_(options),
      bits_(codecBits(reader.streamFormat().codec)),
      walker_(emptyWalker()),
      noise_(options.noiseSeed),
      frameCount_(reader.totalChunks()) {
    adpcm_.reset();
    if (!reader_.streamRecords().empty()) {
        walker_ = reader_.chunks(reader_.streamRecords().front());
    }
}

bool DatabaseDecoder::nextFrame(std::int16_t* samples) {
    Chunk chunk;
    while (!walker_.next(chunk)) {
        if (++recordPosition_ >= reader_.streamRecords().size()) {
            recordPosition_ = reader_.streamRecords().size();
            return false;
        }
        walker_ = reader_.chunks(reader_.streamRecords()[recordPosition_]);
    }
    if (chunk.silent()) {
        fillSilence(chunk.silenceLevel(), samples);
    } else if (bits_ == 8) {
        decodePcm8(chunk.coded.data(), kFrameSamples, samples);
    } else {
        adpcm_.decodeFrame(chunk.coded.data(), samples, kFrameSamples,
                           static_cast<std::int16_t>(bits_));
    }
    ++framesDecoded_;
    return true;
}

void DatabaseDecoder::fillSilence(std::uint8_t level, std::int16_t* samples) {
    const std::int32_t peak = options_.comfortNoise ? comfortNoisePeak(level) : 0;
    for (int i = 0; i < kFrameSamples; ++i) {
        if (peak == 0) {
            samples[i] = 0;
            continue;
        }
        // A 32-bit linear congruential generator (Numerical Recipes constants); its top 16 bits
        // are spread evenly over -peak to peak.
        noise_ = noise_ * 1664525u + 1013904223u;
        const std::int32_t top = static_cast<std::int32_t>(noise_ >> 16);  // 0 to 65535
        samples[i] = static_cast<std::int16_t>(top * (2 * peak + 1) / 65536 - peak);
    }
}

}  // namespace zelvio
