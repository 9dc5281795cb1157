// The WebAssembly SIMD kernel: the AVX2 kernel's arithmetic on 128-bit vectors, two per chunk of
// 16 taps. Compiled to vector code only in a build with -msimd128 (a module that runs only where
// the browser has SIMD; the page picks that module or the portable one when it starts).
#include "resample/fast_kernels_detail.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace zelvio::fast_detail {

#if defined(__wasm_simd128__)

namespace {

// Sum over 8 taps of (c x s + 8192) >> 14 with 32-bit products, in 32-bit lanes.
inline v128_t exactProducts(v128_t c, v128_t s) {
    const v128_t round = wasm_i32x4_splat(8192);
    const v128_t p0 = wasm_i32x4_shr(wasm_i32x4_add(wasm_i32x4_extmul_low_i16x8(c, s), round), 14);
    const v128_t p1 = wasm_i32x4_shr(wasm_i32x4_add(wasm_i32x4_extmul_high_i16x8(c, s), round), 14);
    return wasm_i32x4_add(p0, p1);
}

inline v128_t load(const std::int16_t* p) {
    return wasm_v128_load(p);
}

}  // namespace

void runWasmSimd(const KernelArgs& a) {
    const v128_t ones = wasm_i16x8_splat(1);
    const std::size_t exactChunks = a.exactTaps / kChunkTaps;
    std::uint64_t time = a.time;
    for (std::size_t o = 0; o < a.count; ++o, time += a.timeStep) {
        const OutputTaps t = tapsAt(time, a.coefficientStep, a.rowShift);
        const std::int16_t* cl = a.leftTable + static_cast<std::size_t>(t.leftRow) * a.taps;
        const std::int16_t* cr = a.rightTable + static_cast<std::size_t>(t.rightRow) * a.taps;
        const std::int16_t* xl = a.reversed + (a.reversedLast - t.index);
        const std::int16_t* xr = a.forward + (t.index + 1 - a.forwardFirst);
        v128_t sum = wasm_i32x4_splat(0);
        std::size_t ch = 0;
        for (; ch < exactChunks; ++ch) {
            const std::size_t j = ch * kChunkTaps;
            sum = wasm_i32x4_add(sum, exactProducts(load(cl + j), load(xl + j)));
            sum = wasm_i32x4_add(sum, exactProducts(load(cl + j + 8), load(xl + j + 8)));
            sum = wasm_i32x4_add(sum, exactProducts(load(cr + j), load(xr + j)));
            sum = wasm_i32x4_add(sum, exactProducts(load(cr + j + 8), load(xr + j + 8)));
        }
        // q15mulr_sat(2c, s) = (2c x s + 2^14) >> 15 = (c x s + 8192) >> 14: it saturates only
        // for -32768 x -32768, and |2c| <= 16382 here. The 16 lanes of a chunk are kept in two
        // vectors, low and high taps, as the plan's lane sums count them: each fits 16 bits over
        // a group. Then widened to 32 bits.
        for (std::size_t g = 0; g < a.groupCount; ++g) {
            v128_t low = wasm_i16x8_splat(0);
            v128_t high = wasm_i16x8_splat(0);
            for (const std::size_t end = a.groupEnds[g]; ch < end; ++ch) {
                const std::size_t j = ch * kChunkTaps;
                low = wasm_i16x8_add(low, wasm_i16x8_q15mulr_sat(load(cl + j), load(xl + j)));
                high = wasm_i16x8_add(high,
                                      wasm_i16x8_q15mulr_sat(load(cl + j + 8), load(xl + j + 8)));
                low = wasm_i16x8_add(low, wasm_i16x8_q15mulr_sat(load(cr + j), load(xr + j)));
                high = wasm_i16x8_add(high,
                                      wasm_i16x8_q15mulr_sat(load(cr + j + 8), load(xr + j + 8)));
            }
            sum = wasm_i32x4_add(sum, wasm_i32x4_dot_i16x8(low, ones));
            sum = wasm_i32x4_add(sum, wasm_i32x4_dot_i16x8(high, ones));
        }
        const std::int32_t total =
            wasm_i32x4_extract_lane(sum, 0) + wasm_i32x4_extract_lane(sum, 1) +
            wasm_i32x4_extract_lane(sum, 2) + wasm_i32x4_extract_lane(sum, 3);
        a.out[o] = scaleSum(total, a.gain);
    }
}

#else

// Never called: kernelPathAvailable reports the path missing in builds without SIMD.
void runWasmSimd(const KernelArgs& args) {
    runPortable(args);
}

#endif

}  // namespace zelvio::fast_detail
