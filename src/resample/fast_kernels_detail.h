// Shared by the fast kernel implementations (portable, SSE2, AVX2, WebAssembly SIMD); not part of
// the public API.
//
// A table row holds the coefficients one wing meets in order, tap j first: row r of a wing whose
// walk starts at table position q0 (in 1/128 of an entry) holds c(q0 + j x coefficientStep) for
// j = 0, 1, ..., 0 past the wing, where r = q0 >> rowShift. The left wing's taps meet the samples
// at i, i - 1, ... and the right wing's at i + 1, i + 2, ...; the left wing reads a reversed copy
// of the input so that both are forward dot products.
//
// The first exactTaps taps of every row hold c itself and are summed with 32-bit products. The
// others hold 2c with |c| <= 8191: a 16-bit rounded product (2c x s + 2^14) >> 15 equals
// (c x s + 2^13) >> 14 exactly, and its magnitude is at most 2|c|. Lanes of 16 taps may then be
// summed in 16 bits over a group of chunks as long as the largest possible lane sum, both wings
// together, stays within 32767; groupEnds lists where each group ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace zelvio::fast_detail {

// Taps per chunk: one AVX2 register of 16-bit values.
inline constexpr std::size_t kChunkTaps = 16;

struct KernelArgs {
    const std::int16_t* leftTable = nullptr;   // row r at leftTable + r x taps
    const std::int16_t* rightTable = nullptr;  // the same table unless the wings differ
    std::size_t taps = 0;                      // per row, a multiple of kChunkTaps
    std::size_t exactTaps = 0;                 // leading taps stored as c, a multiple of 16
    const std::uint16_t* groupEnds = nullptr;  // chunk index where each 16-bit group ends
    std::size_t groupCount = 0;
    std::uint32_t timeStep = 0;
    std::uint32_t coefficientStep = 0;
    std::uint32_t rowShift = 0;
    std::int32_t gain = 0;
    std::uint64_t time = 0;  // time of the first output: its index x timeStep
    // forward[p - forwardFirst] and reversed[reversedLast - p] are input position p; both cover
    // every position the outputs read.
    const std::int16_t* forward = nullptr;
    std::int64_t forwardFirst = 0;
    const std::int16_t* reversed = nullptr;
    std::int64_t reversedLast = 0;
    std::int16_t* out = nullptr;
    std::size_t count = 0;
};

// Where one output's wings read: the input sample at or before its instant and the two rows.
struct OutputTaps {
    std::int64_t index;
    std::uint32_t leftRow;
    std::uint32_t rightRow;
};

inline OutputTaps tapsAt(std::uint64_t time, std::uint32_t coefficientStep,
                         std::uint32_t rowShift) {
    const auto phase = static_cast<std::uint32_t>(time & 0x7FFF);
    // phase x coefficientStep < 2^15 x 2^15 + 2^15: fits 32 bits.
    const std::uint32_t leftStart = (phase * coefficientStep) >> 15;
    // The right wing's phase is the distance to the next sample; at phase 0 it starts one whole
    // step out, because the centre belongs to the left wing.
    const std::uint32_t rightPhase = (0x8000u - phase) & 0x7FFF;
    const std::uint32_t rightStart =
        rightPhase == 0 ? coefficientStep : (rightPhase * coefficientStep) >> 15;
    return {static_cast<std::int64_t>(time >> 15), leftStart >> rowShift, rightStart >> rowShift};
}

// The two wings' sum scaled as the block kernels do: (sum >> 2) x gain / 2^13 rounded, clamped.
inline std::int16_t scaleSum(std::int32_t sum, std::int32_t gain) {
    const std::int32_t v = ((sum >> 2) * gain + 4096) >> 13;
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

// Each computes args.count outputs into args.out. runSse2 and runAvx2 exist only on x86 and may
// only be called when the processor has the instructions; runWasmSimd only in a WebAssembly
// build with SIMD.
void runPortable(const KernelArgs& args);
void runSse2(const KernelArgs& args);
void runAvx2(const KernelArgs& args);
void runWasmSimd(const KernelArgs& args);

}  // namespace zelvio::fast_detail
