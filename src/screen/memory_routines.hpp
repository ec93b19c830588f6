// Word fills and block copies for the framebuffer, in a plain form and, on processors with
// vector units, vector forms that write exactly the same bytes. A set of routines also names the
// vector unit that the pixel converters and the glyph drawing use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ulo {

struct MemoryRoutines {
    // Fills `count` pixels of `pixelBytes` bytes (1, 2 or 4) with the low bytes of `colour`.
    void (*fill)(void* destination, std::uint32_t colour, std::size_t count,
                 std::size_t pixelBytes);
    // Copies `bytes` bytes; the regions do not overlap.
    void (*copy)(void* destination, const void* source, std::size_t bytes);
};

// Avx512: AVX-512 with its byte and word operations, 128 and 256-bit forms and byte permutes
// (F, BW, VL and VBMI), which the glyph drawing needs together.
enum class RoutineSet { Plain, Sse2, Avx2, Avx512 };

// The routines of one set; a set this processor lacks gives the plain routines.
const MemoryRoutines& memoryRoutines(RoutineSet set);
// The best set this processor runs, within the limit set for tests.
RoutineSet bestRoutineSet();
// True when `set` runs on this processor.
bool routineSetSupported(RoutineSet set);
// For tests and measurements: bestRoutineSet gives no set above `set` from now on
// (RoutineSet::Avx512: no limit).
void limitRoutineSets(RoutineSet set);

} // namespace ulo
