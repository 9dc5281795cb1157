#pragma once
// The sample rules every reader follows, so that the same sound stored in different formats
// arrives as the same 16-bit samples:
//   - integer samples keep their top 16 bits (an arithmetic shift right of the signed value
//     held left-aligned in 32 bits); unsigned 8-bit byte u becomes (u - 128) x 256;
//   - floating-point samples x (full scale 1.0, lossy decoders included) become x x 32768
//     rounded to nearest, ties to even, clamped to -32768..32767; NaN becomes 0.

#include <cmath>
#include <cstdint>

namespace zelvio {

/// x x 32768 rounded to nearest, ties to even, clamped to 16 bits; NaN gives 0. Scaling by a
/// power of two is exact in double for every float and double input, and inside the clamp limits
/// floor() and the fraction below are exact too, so the rounding does not depend on the
/// floating-point environment.
[[nodiscard]] inline std::int16_t sampleFromReal(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    const double scaled = x * 32768.0;
    if (scaled >= 32767.0) {
        return 32767;
    }
    if (scaled <= -32768.0) {
        return -32768;
    }
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    auto rounded = static_cast<std::int32_t>(whole);  // -32768 to 32766
    if (fraction > 0.5 || (fraction == 0.5 && (rounded & 1) != 0)) {
        ++rounded;
    }
    return static_cast<std::int16_t>(rounded);
}

/// The top 16 bits of a sample held left-aligned in 32 bits (a 24-bit sample shifted left by 8,
/// a 16-bit one by 16): the arithmetic shift right by 16.
[[nodiscard]] constexpr std::int16_t sampleFromLeftAligned32(std::int32_t x) {
    return static_cast<std::int16_t>(x >> 16);
}

/// The top 16 bits of a 64-bit sample.
[[nodiscard]] constexpr std::int16_t sampleFromLeftAligned64(std::int64_t x) {
    return static_cast<std::int16_t>(x >> 48);
}

/// An unsigned 8-bit sample centred and scaled: (u - 128) x 256.
[[nodiscard]] constexpr std::int16_t sampleFromUnsigned8(std::uint8_t u) {
    return static_cast<std::int16_t>((static_cast<std::int32_t>(u) - 128) * 256);
}

static_assert(sampleFromLeftAligned32(-1) == -1 && sampleFromLeftAligned32(0x7FFFFF00) == 0x7FFF);
static_assert(sampleFromUnsigned8(0) == -32768 && sampleFromUnsigned8(255) == 32512);

}  // namespace zelvio
