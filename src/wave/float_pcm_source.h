#pragma once
// An input whose samples someone else has already decoded to floating point, at full scale 1.0,
// one plane per channel: what a web browser's own audio decoder gives. The source asks for the
// samples block by block as the conversion reads them, so that the planes need not be copied
// whole, and turns them into 16-bit samples by the same rule as every other reader
// (wave/sample_conversion.h).
//
//     FloatPcmFormat format{44100, 2, frameCount, "MP3, decoded by the browser", ""};
//     OpenedAudio input = openFloatPcmSource(format, [&](std::int64_t first, std::int64_t count,
//                                                        float* left, float* right) {
//         copy(planes, first, count, left, right);   // right is null for mono
//         return true;
//     });

#include <cstdint>
#include <functional>
#include <string>

#include "wave/audio_source.h"

namespace zelvio {

/// What the decoder found in the input.
struct FloatPcmFormat {
    std::uint32_t sampleRate = 0;  ///< sample frames per second
    std::uint16_t channels = 0;    ///< 1 or 2; any other count is refused
    std::int64_t frameCount = 0;   ///< sample frames in the whole input (0 or more)
    std::string description;       ///< formatDescription(), e.g. "MP3, decoded by the browser"
    std::string notice;            ///< notice(), one sentence or empty
};

/// Copies count sample frames (1 to a block's length), starting at frame first, into left[0] to
/// left[count - 1] and, for stereo, right[0] to right[count - 1] (right is null for mono).
/// Returns false when it cannot; the source then fails with a read error.
using FloatPcmReader =
    std::function<bool(std::int64_t first, std::int64_t count, float* left, float* right)>;

/// Opens a source over decoded samples. Refuses (kAudioUnsupported, with the reason as the
/// other readers word it) a channel count other than 1 or 2, a sample rate of 0, a negative
/// frame count and a missing reader.
[[nodiscard]] OpenedAudio openFloatPcmSource(FloatPcmFormat format, FloatPcmReader reader);

}  // namespace zelvio
