#pragma once
// Kaiser-windowed sinc lowpass filters for bandlimited interpolation.
//
// A filter is stored as one wing of its symmetric impulse response, sampled at 256 points per
// input-sample interval and quantised to signed 16 bits, together with the table of differences
// between neighbouring entries (for linear interpolation between them) and a fixed-point gain that
// makes the finished filter pass a constant signal at its own level.
//
//     std::vector<std::int16_t> coefficients(8192), differences(8192);
//     std::uint16_t gain = 0;
//     if (designLowpassFilter(coefficients, differences, gain, 8192, 0.97, 9.0) == kDesignOk) ...

#include <cstdint>
#include <span>
#include <vector>

namespace zelvio {

/// One lowpass filter as the interpolation kernels read it.
struct LowpassFilter {
    /// Entry i is the filter's value i/256 input samples from the centre; entry 0 is the centre.
    std::vector<std::int16_t> coefficients;
    /// differences[i] = coefficients[i + 1] - coefficients[i] in 16-bit (wrapping) arithmetic; the
    /// last entry is the step down to an implied 0 past the end of the wing.
    std::vector<std::int16_t> differences;
    /// Output scale: each filtered sum is multiplied by it and shifted right by 13.
    std::uint16_t gain = 0;
    /// Odd; the filter spans tapCount - 1 zero crossings, half on each side of the centre.
    std::uint16_t tapCount = 0;
    /// Entries in one wing: (tapCount - 1) x 128, 1 to 8192.
    std::uint16_t wingLength = 0;
};

/// Table entries per input-sample interval (the sinc's zero-crossing spacing at roll-off 1).
inline constexpr int kPhasesPerCrossing = 256;
/// The longest wing a design can produce.
inline constexpr std::uint16_t kMaxWingLength = 8192;
/// pi as the design uses it: two units in the last place below the double nearest to pi.
inline constexpr double kDesignPi = 3.1415926535897922;

/// Outcome of designLowpassFilter; 0 is success.
using DesignStatus = std::uint16_t;
/// The tables and the gain were written.
inline constexpr DesignStatus kDesignOk = 0;
/// The wing is 0 or above 8192 entries, or the tables are shorter than the wing.
inline constexpr DesignStatus kDesignBadWingLength = 1;
/// The roll-off is not above 0, or above 1.
inline constexpr DesignStatus kDesignBadRollOff = 2;
/// The Kaiser beta is below 1.
inline constexpr DesignStatus kDesignBadBeta = 3;
/// The gain would be 65536 or more, or is not a number (a beta so large that the window
/// overflows; with roll-off and beta in range the gain stays near 16384 and below).
inline constexpr DesignStatus kDesignGainTooLarge = 4;

/// A short English text for a status, e.g. "roll-off out of range"; "unknown status" otherwise.
[[nodiscard]] const char* designStatusText(DesignStatus status);

/// Designs one wing of a Kaiser-windowed sinc lowpass and quantises it.
///   coefficients, differences: at least wingLength entries each; written only on kDesignOk.
///   gain: written only on kDesignOk.
///   rollOff: cut-off as a fraction of half the input rate (1.0 is the input's Nyquist frequency).
///   beta: the Kaiser window's shape parameter.
/// Returns kDesignOk, or one of the failure statuses above with nothing written.
[[nodiscard]] DesignStatus designLowpassFilter(std::span<std::int16_t> coefficients,
                                               std::span<std::int16_t> differences,
                                               std::uint16_t& gain, std::uint16_t wingLength,
                                               double rollOff, double beta);

/// Fills out with the real-valued windowed sinc: out[i] is the filter at i / phasesPerCrossing
/// input samples from the centre, for a cut-off of `cutoff` cycles per input sample. The Kaiser
/// window runs over the whole of out, so its last point is 1 / besselI0(beta), not 0.
void windowedSinc(std::span<double> out, double cutoff, double beta, int phasesPerCrossing);

/// Returns the modified Bessel function of the first kind, order 0, summed as a power series that
/// stops at the first term below 1e-21 of the running sum.
[[nodiscard]] double besselI0(double x);

/// The large built-in filter: 65 taps, wing 8192, the design at roll-off 0.90 and beta 9.0,
/// gain 14746. Made on first use; the reference stays valid for the life of the program.
[[nodiscard]] const LowpassFilter& largeBuiltInFilter();

/// The small built-in filter: 13 taps, wing 1536, the design at roll-off 0.90 and beta 9.0, with
/// its gain fixed at 13128 (the design itself computes 14744).
[[nodiscard]] const LowpassFilter& smallBuiltInFilter();

}  // namespace zelvio
