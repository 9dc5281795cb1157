// The SSE2 and AVX2 kernels. Only the functions marked with a target attribute use these
// instructions; the file is compiled for the baseline processor, and the caller picks a function
// only after asking the processor (resample/cpu_features.h).
#include "resample/fast_kernels_detail.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zelvio::fast_detail {

#if defined(__x86_64__) || defined(__i386__)

#define ZELVIO_TARGET_SSE2 __attribute__((target("sse2")))
#define ZELVIO_TARGET_AVX2 __attribute__((target("avx2")))

namespace {

// Outputs ahead whose rows are prefetched: the rows of consecutive outputs lie far apart in the
// table, and the table (about 2 MB) lives in the outer caches.
constexpr std::size_t kPrefetchAhead = 8;
// Longer rows are streamed in order by the processor's own prefetcher once started.
constexpr std::size_t kPrefetchBytes = 512;

// Sum over 8 taps of (c x s + 2^(Shift - 1)) >> Shift, in 32-bit lanes.
template <int Shift>
ZELVIO_TARGET_SSE2 inline __m128i roundedProducts(__m128i c, __m128i s) {
    const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
    const __m128i low = _mm_mullo_epi16(c, s);
    const __m128i high = _mm_mulhi_epi16(c, s);
    const __m128i p0 = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(low, high), round), Shift);
    const __m128i p1 = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(low, high), round), Shift);
    return _mm_add_epi32(p0, p1);
}

ZELVIO_TARGET_SSE2 inline __m128i loadUnaligned128(const std::int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

ZELVIO_TARGET_SSE2 inline std::int32_t horizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    return _mm_cvtsi128_si32(v);
}

// Sum over 16 taps of (c x s + 8192) >> 14 with 32-bit products, in 32-bit lanes.
ZELVIO_TARGET_AVX2 inline __m256i exactProducts(__m256i c, __m256i s) {
    const __m256i round = _mm256_set1_epi32(8192);
    const __m256i low = _mm256_mullo_epi16(c, s);
    const __m256i high = _mm256_mulhi_epi16(c, s);
    const __m256i p0 =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpacklo_epi16(low, high), round), 14);
    const __m256i p1 =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpackhi_epi16(low, high), round), 14);
    return _mm256_add_epi32(p0, p1);
}

ZELVIO_TARGET_AVX2 inline __m256i load(const std::int16_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

ZELVIO_TARGET_AVX2 inline __m256i loadUnaligned(const std::int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

ZELVIO_TARGET_SSE2 void runSse2(const KernelArgs& a) {
    std::uint64_t time = a.time;
    for (std::size_t o = 0; o < a.count; ++o, time += a.timeStep) {
        const OutputTaps t = tapsAt(time, a.coefficientStep, a.rowShift);
        const std::int16_t* cl = a.leftTable + static_cast<std::size_t>(t.leftRow) * a.taps;
        const std::int16_t* cr = a.rightTable + static_cast<std::size_t>(t.rightRow) * a.taps;
        const std::int16_t* xl = a.reversed + (a.reversedLast - t.index);
        const std::int16_t* xr = a.forward + (t.index + 1 - a.forwardFirst);
        __m128i sum = _mm_setzero_si128();
        std::size_t j = 0;
        for (; j < a.exactTaps; j += 8) {
            sum = _mm_add_epi32(
                sum, roundedProducts<14>(loadUnaligned128(cl + j), loadUnaligned128(xl + j)));
            sum = _mm_add_epi32(
                sum, roundedProducts<14>(loadUnaligned128(cr + j), loadUnaligned128(xr + j)));
        }
        for (; j < a.taps; j += 8) {  // the rows hold 2c here
            sum = _mm_add_epi32(
                sum, roundedProducts<15>(loadUnaligned128(cl + j), loadUnaligned128(xl + j)));
            sum = _mm_add_epi32(
                sum, roundedProducts<15>(loadUnaligned128(cr + j), loadUnaligned128(xr + j)));
        }
        a.out[o] = scaleSum(horizontalSum(sum), a.gain);
    }
}

ZELVIO_TARGET_AVX2 void runAvx2(const KernelArgs& a) {
    const __m256i ones = _mm256_set1_epi16(1);
    const std::size_t exactChunks = a.exactTaps / kChunkTaps;
    const std::size_t prefetchBytes = std::min(a.taps * sizeof(std::int16_t), kPrefetchBytes);
    std::uint64_t time = a.time;
    std::uint64_t ahead = a.time + kPrefetchAhead * a.timeStep;
    for (std::size_t o = 0; o < a.count; ++o, time += a.timeStep, ahead += a.timeStep) {
        const OutputTaps next = tapsAt(ahead, a.coefficientStep, a.rowShift);
        const auto* nextLeft = reinterpret_cast<const char*>(
            a.leftTable + static_cast<std::size_t>(next.leftRow) * a.taps);
        const auto* nextRight = reinterpret_cast<const char*>(
            a.rightTable + static_cast<std::size_t>(next.rightRow) * a.taps);
        for (std::size_t b = 0; b < prefetchBytes; b += 64) {
            _mm_prefetch(nextLeft + b, _MM_HINT_T0);
            _mm_prefetch(nextRight + b, _MM_HINT_T0);
        }

        const OutputTaps t = tapsAt(time, a.coefficientStep, a.rowShift);
        const std::int16_t* cl = a.leftTable + static_cast<std::size_t>(t.leftRow) * a.taps;
        const std::int16_t* cr = a.rightTable + static_cast<std::size_t>(t.rightRow) * a.taps;
        const std::int16_t* xl = a.reversed + (a.reversedLast - t.index);
        const std::int16_t* xr = a.forward + (t.index + 1 - a.forwardFirst);
        __m256i sum = _mm256_setzero_si256();
        std::size_t ch = 0;
        for (; ch < exactChunks; ++ch) {
            const std::size_t j = ch * kChunkTaps;
            sum = _mm256_add_epi32(sum, exactProducts(load(cl + j), loadUnaligned(xl + j)));
            sum = _mm256_add_epi32(sum, exactProducts(load(cr + j), loadUnaligned(xr + j)));
        }
        // mulhrs(2c, s) = (2c x s + 2^14) >> 15 = (c x s + 8192) >> 14; each group's lane sums
        // fit 16 bits (checked when the plan was built), then widen to 32 bits.
        for (std::size_t g = 0; g < a.groupCount; ++g) {
            __m256i group = _mm256_setzero_si256();
            for (const std::size_t end = a.groupEnds[g]; ch < end; ++ch) {
                const std::size_t j = ch * kChunkTaps;
                group = _mm256_add_epi16(group,
                                         _mm256_mulhrs_epi16(load(cl + j), loadUnaligned(xl + j)));
                group = _mm256_add_epi16(group,
                                         _mm256_mulhrs_epi16(load(cr + j), loadUnaligned(xr + j)));
            }
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(group, ones));
        }
        const __m128i half =
            _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        a.out[o] = scaleSum(horizontalSum(half), a.gain);
    }
}

#else

// Never called: kernelPathAvailable reports both paths missing on other processors.
void runSse2(const KernelArgs& args) {
    runPortable(args);
}

void runAvx2(const KernelArgs& args) {
    runPortable(args);
}

#endif

}  // namespace zelvio::fast_detail
