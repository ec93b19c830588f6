#include "runtime/cpu_features.hpp"

namespace ulo {
namespace {

CpuFeatures detect() {
    CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    features.sse2 = __builtin_cpu_supports("sse2") != 0;
    features.ssse3 = __builtin_cpu_supports("ssse3") != 0;
    features.avx2 = __builtin_cpu_supports("avx2") != 0;
    features.avx512 =
        __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
        __builtin_cpu_supports("avx512vl") != 0 && __builtin_cpu_supports("avx512vbmi") != 0;
#endif
    return features;
}

} // namespace

const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = detect();
    return features;
}

} // namespace ulo
