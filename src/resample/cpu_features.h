// Which inner-loop implementation of the fast resampling kernels runs on this processor.
//
// The portable path is plain C++ and runs everywhere; it is also the reference the vector paths
// are tested against. On x86 processors the SSE2 path (every x86-64 processor has it) and the AVX2
// path are compiled in as well, and the fastest one the processor supports is chosen at run time.
// A WebAssembly build compiled with SIMD (-msimd128) has the WebAssembly SIMD path, which kAuto
// then chooses (such a module only loads where the engine has SIMD: the web page picks it or the
// build without SIMD when it starts).
// Setting the environment variable ZELVIO_PORTABLE to anything but "" or "0" makes kAuto choose
// the portable path, so that a whole program can be run on it for comparison.
#pragma once

#include <cstdint>

namespace zelvio {

enum class KernelPath : std::uint8_t {
    kAuto,      // the fastest available path, or kPortable when ZELVIO_PORTABLE asks for it
    kPortable,  // plain C++, 32-bit products
    kSse2,      // x86 SSE2, 8 taps per step, 32-bit products
    kAvx2,      // x86 AVX2, 16 taps per step, 16-bit rounded products away from the centre
    kWasmSimd,  // WebAssembly SIMD, as kAvx2 on two 8-tap vectors per step
};

// The environment variable that makes kAuto mean kPortable.
inline constexpr const char* kPortableEnvironmentVariable = "ZELVIO_PORTABLE";

// "auto", "portable", "sse2", "avx2" or "wasm-simd".
[[nodiscard]] const char* kernelPathName(KernelPath path);

// Whether this build and this processor can run the path. kAuto and kPortable always can.
[[nodiscard]] bool kernelPathAvailable(KernelPath path);

// The path a request stands for: kAuto becomes kPortable when the environment variable is set,
// else the fastest available path; any other request is kept when available, else replaced by the
// fastest available path below it (kSse2 below kAvx2; below kWasmSimd only kPortable). Never
// returns kAuto.
[[nodiscard]] KernelPath resolveKernelPath(KernelPath requested);

}  // namespace zelvio
