#pragma once
// The audio stream every database holds, as the handheld plays it: mono 16-bit samples at
// 10000 per second, cut into Frames of 200 samples (20 ms). Each Frame is stored as one chunk:
// an audio chunk is the marker byte 0 followed by the coded Frame, a silence chunk is the single
// byte (level x 16) + 1. The codec of the stream, named in every StreamHeader, fixes how an audio
// chunk's Frame is coded.

#include <cstdint>
#include <string_view>

namespace zelvio {

/// Samples in every Frame: the unit of detection, coding and chunks.
inline constexpr int kFrameSamples = 200;
/// Samples per second of every stream.
inline constexpr std::uint16_t kStreamSampleRate = 10000;
/// Milliseconds one Frame lasts.
inline constexpr int kFrameMs = kFrameSamples * 1000 / kStreamSampleRate;
static_assert(kFrameMs == 20 && kFrameSamples * 1000 % kStreamSampleRate == 0);

/// The first byte of an audio chunk.
inline constexpr std::uint8_t kAudioChunkMarker = 0;
/// The highest silence level a silence chunk carries.
inline constexpr std::uint8_t kMaxSilenceLevel = 8;

/// The one byte of a silence chunk at level (0 to kMaxSilenceLevel): level x 16 + 1.
[[nodiscard]] constexpr std::uint8_t silenceMarker(std::uint8_t level) {
    return static_cast<std::uint8_t>(level * 16 + 1);
}
/// True when marker is a silence chunk's byte: low four bits 1, level 0 to kMaxSilenceLevel.
[[nodiscard]] constexpr bool isSilenceMarker(std::uint8_t marker) {
    return (marker & 0x0F) == 1 && (marker >> 4) <= kMaxSilenceLevel;
}
/// The level a marker carries: its high four bits (0 for an audio chunk's marker).
[[nodiscard]] constexpr std::uint8_t silenceLevelOf(std::uint8_t marker) {
    return static_cast<std::uint8_t>(marker >> 4);
}
static_assert(silenceMarker(0) == 0x01 && silenceMarker(kMaxSilenceLevel) == 0x81);
static_assert(isSilenceMarker(0x51) && silenceLevelOf(0x51) == 5);
static_assert(!isSilenceMarker(kAudioChunkMarker) && !isSilenceMarker(0x91) &&
              !isSilenceMarker(0x52));

/// Bytes of one coded Frame at bitsPerSample bits: 200, 100, 75 or 50 for 8, 4, 3 or 2.
[[nodiscard]] constexpr int codedFrameBytes(int bitsPerSample) {
    return bitsPerSample * kFrameSamples / 8;
}

/// The chunk coding of a stream, the `codec` number of every StreamHeader.
enum class CodecCode : std::uint16_t {
    Pcm8 = 0,    ///< 8-bit PCM, 200 bytes a Frame
    Adpcm4 = 7,  ///< 4-bit ADPCM, 100 bytes a Frame
    Adpcm3 = 6,  ///< 3-bit ADPCM, 75 bytes a Frame
    Adpcm2 = 5,  ///< 2-bit ADPCM, 50 bytes a Frame
};

/// The codec that codes at bitsPerSample: 8 gives Pcm8, 4 Adpcm4, 3 Adpcm3, anything else
/// Adpcm2.
[[nodiscard]] CodecCode codecForBits(int bitsPerSample);

/// Bits per sample of an audio chunk's coded Frame in a codec: 8, 4, 3 or 2; 0 for a number
/// that names no codec.
[[nodiscard]] std::uint16_t codecBits(std::uint16_t codec);

/// The codec in words, e.g. "4-bit ADPCM"; "unknown codec" for a number that names none.
[[nodiscard]] std::string_view codecName(std::uint16_t codec);

/// Length of an audio chunk (the marker and one coded Frame) in a codec: 201, 101, 76 or 51
/// bytes; 0 for a number that is no codec.
[[nodiscard]] std::uint16_t audioChunkLength(std::uint16_t codec);

}  // namespace zelvio
