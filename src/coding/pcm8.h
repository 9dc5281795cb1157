#pragma once
// 8-bit PCM, both ways: a sample keeps its top eight bits, rounded, as a signed byte; a byte
// plays as that signed byte times 256.

#include <algorithm>
#include <cstdint>

namespace zelvio {

/// The 8-bit code of a sample: (sample + 128) >> 8 as a signed byte, so 127 gives 0x00, 128 gives
/// 0x01, -129 gives 0xFF and -32768 gives 0x80; 32640 to 32767 give 0x7F. The shift floors, which
/// is meant: with the 128 added first it rounds to the nearest multiple of 256, halves upward.
[[nodiscard]] constexpr std::uint8_t pcm8Code(std::int16_t sample) {
    // The samples 32640 to 32767 would give 128, one past the largest signed byte; they are held
    // at 127 instead of wrapping round to -128.
    const int value = std::min((sample + 128) >> 8, 127);
    return static_cast<std::uint8_t>(static_cast<std::int8_t>(value));
}

/// The sample an 8-bit code plays as: the code as a signed byte, times 256.
[[nodiscard]] constexpr std::int16_t pcm8Sample(std::uint8_t code) {
    return static_cast<std::int16_t>(static_cast<std::int8_t>(code) * 256);
}

static_assert(pcm8Code(127) == 0x00 && pcm8Code(128) == 0x01 && pcm8Code(-129) == 0xFF);
static_assert(pcm8Code(-32768) == 0x80 && pcm8Code(32767) == 0x7F);
static_assert(pcm8Sample(0x80) == -32768 && pcm8Sample(0x7F) == 32512 && pcm8Sample(0xFF) == -256);

/// Codes count samples into count bytes.
void encodePcm8(const std::int16_t* samples, int count, std::uint8_t* codes);

/// Plays count bytes as count samples.
void decodePcm8(const std::uint8_t* codes, int count, std::int16_t* samples);

}  // namespace zelvio
