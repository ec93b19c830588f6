// Word fills and block copies for the framebuffer, in a plain form and, on processors with
// vector units, a vector form that writes exactly the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ulo {

struct MemoryRoutines {
    // Fill `count` pixels of 1, 2 or 4 bytes with the low bytes of `colour`.
    void (*fill8)(void* destination, std::uint32_t colour, std::size_t count);
    void (*fill16)(void* destination, std::uint32_t colour, std::size_t count);
    void (*fill32)(void* destination, std::uint32_t colour, std::size_t count);
    // Copy `bytes` bytes; the regions do not overlap.
    void (*copy)(void* destination, const void* source, std::size_t bytes);
};

enum class RoutineSet { Plain, Sse2, Avx2 };

// The routines of one set; a set this processor lacks gives the plain routines.
const MemoryRoutines& memoryRoutines(RoutineSet set);
// The best set this processor runs.
RoutineSet bestRoutineSet();
// True when `set` runs on this processor.
bool routineSetSupported(RoutineSet set);

} // namespace ulo
