// The processor's vector units, detected once per process. The framebuffer's memory routines and
// the pixel converters use them when present; every vector routine produces exactly the bytes of
// its plain counterpart.
#pragma once

namespace ulo {

struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool avx2 = false;
    // AVX-512 with what the glyph drawing needs of it: F, BW, VL and VBMI together.
    bool avx512 = false;
};

// What this processor offers; read on the first call and remembered for the process.
const CpuFeatures& cpuFeatures();

// True when the processor has any vector unit that the drawing code uses.
inline bool hasVectorUnits() {
    return cpuFeatures().sse2;
}

} // namespace ulo
