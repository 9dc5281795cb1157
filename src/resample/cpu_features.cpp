#include "resample/cpu_features.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace zelvio {

namespace {

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kX86 = true;
#else
constexpr bool kX86 = false;
#endif
#if defined(__wasm_simd128__)
constexpr bool kWasmSimd = true;
#else
constexpr bool kWasmSimd = false;
#endif

// The processor's features, asked once. __builtin_cpu_supports also checks that the operating
// system saves the AVX registers.
struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;
};

CpuFeatures detect() {
    CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    features.sse2 = __builtin_cpu_supports("sse2");
    features.avx2 = __builtin_cpu_supports("avx2");
#endif
    return features;
}

const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = detect();
    return features;
}

bool portableRequested() {
    const char* value = std::getenv(kPortableEnvironmentVariable);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

const char* kernelPathName(KernelPath path) {
    switch (path) {
        case KernelPath::kAuto:
            return "auto";
        case KernelPath::kPortable:
            return "portable";
        case KernelPath::kSse2:
            return "sse2";
        case KernelPath::kAvx2:
            return "avx2";
        case KernelPath::kWasmSimd:
            return "wasm-simd";
    }
    return "unknown";
}

bool kernelPathAvailable(KernelPath path) {
    switch (path) {
        case KernelPath::kAuto:
        case KernelPath::kPortable:
            return true;
        case KernelPath::kSse2:
            return kX86 && cpuFeatures().sse2;
        case KernelPath::kAvx2:
            return kX86 && cpuFeatures().avx2;
        case KernelPath::kWasmSimd:
            return kWasmSimd;
    }
    return false;
}

KernelPath resolveKernelPath(KernelPath requested) {
    if (requested == KernelPath::kAuto) {
        if (portableRequested()) {
            return KernelPath::kPortable;
        }
        if (kernelPathAvailable(KernelPath::kWasmSimd)) {
            return KernelPath::kWasmSimd;
        }
        requested = KernelPath::kAvx2;
    }
    if (requested == KernelPath::kWasmSimd) {
        return kernelPathAvailable(requested) ? requested : KernelPath::kPortable;
    }
    // From the request downwards, the first path this processor runs.
    for (const KernelPath path : {KernelPath::kAvx2, KernelPath::kSse2}) {
        if (requested >= path && kernelPathAvailable(path)) {
            return path;
        }
    }
    return KernelPath::kPortable;
}

}  // namespace zelvio
