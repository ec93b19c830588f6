#include "screen/memory_routines.hpp"

#include "runtime/cpu_features.hpp"

#include <cstring>
#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
#define ULO_X86 1
#endif

namespace ulo {
namespace {

RoutineSet routineLimit = RoutineSet::Avx512;

// A vector of WIDTH bytes in the compiler's generic vector type: the same code serves every
// vector unit, and a function compiled for a unit makes it that unit's loads and stores. Such
// vectors stay inside the functions (never passed by value), so no function's calling convention
// depends on the unit.
template <std::size_t WIDTH>
struct Bytes {
    typedef std::uint8_t Vector __attribute__((vector_size(WIDTH)));
};

// Fills `count` pixels of `pixelBytes` bytes with the colour's low bytes, WIDTH bytes per store.
// A colour whose bytes are all alike is a byte fill, which the C library does fastest (the
// background is black).
template <std::size_t WIDTH>
__attribute__((always_inline)) inline void fillPixels(void* destination, std::uint32_t colour,
                                                      std::size_t count, std::size_t pixelBytes) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const std::size_t bytes = count * pixelBytes;
    std::uint8_t pattern[WIDTH];
    for (std::size_t i = 0; i < WIDTH; i += pixelBytes) {
        std::memcpy(pattern + i, &colour, pixelBytes); // low bytes first: little-endian
    }
    if (std::memcmp(pattern, pattern + 1, pixelBytes - 1) == 0) {
        std::memset(out, pattern[0], bytes);
        return;
    }
    typename Bytes<WIDTH>::Vector vector;
    std::memcpy(&vector, pattern, WIDTH);
    std::size_t i = 0;
    for (; i + WIDTH <= bytes; i += WIDTH) {
        std::memcpy(out + i, &vector, WIDTH);
    }
    std::memcpy(out + i, pattern, bytes - i);
}

void plainFill(void* destination, std::uint32_t colour, std::size_t count, std::size_t pixelBytes) {
    fillPixels<sizeof colour>(destination, colour, count, pixelBytes);
}

// The C library's copy already uses the processor's vector units.
void libraryCopy(void* destination, const void* source, std::size_t bytes) {
    std::memcpy(destination, source, bytes);
}

constexpr MemoryRoutines PLAIN = {.fill = plainFill, .copy = libraryCopy};

#ifdef ULO_X86

__attribute__((target("sse2"))) void sse2Fill(void* destination, std::uint32_t colour,
                                              std::size_t count, std::size_t pixelBytes) {
    fillPixels<16>(destination, colour, count, pixelBytes);
}
__attribute__((target("avx2"))) void avx2Fill(void* destination, std::uint32_t colour,
                                              std::size_t count, std::size_t pixelBytes) {
    fillPixels<32>(destination, colour, count, pixelBytes);
}
__attribute__((target("avx512f"))) void avx512Fill(void* destination, std::uint32_t colour,
                                                   std::size_t count, std::size_t pixelBytes) {
    fillPixels<64>(destination, colour, count, pixelBytes);
}

constexpr MemoryRoutines SSE2 = {.fill = sse2Fill, .copy = libraryCopy};
constexpr MemoryRoutines AVX2 = {.fill = avx2Fill, .copy = libraryCopy};
constexpr MemoryRoutines AVX512 = {.fill = avx512Fill, .copy = libraryCopy};

#endif

} // namespace

bool routineSetSupported(RoutineSet set) {
    switch (set) {
    case RoutineSet::Plain:
        return true;
    case RoutineSet::Sse2:
        return cpuFeatures().sse2;
    case RoutineSet::Avx2:
        return cpuFeatures().avx2;
    case RoutineSet::Avx512:
        return cpuFeatures().avx512;
    }
    return false;
}

RoutineSet bestRoutineSet() {
    for (const RoutineSet set : {RoutineSet::Avx512, RoutineSet::Avx2, RoutineSet::Sse2}) {
        if (set <= routineLimit && routineSetSupported(set)) {
            return set;
        }
    }
    return RoutineSet::Plain;
}

void limitRoutineSets(RoutineSet set) {
    routineLimit = set;
}

const MemoryRoutines& memoryRoutines(RoutineSet set) {
#ifdef ULO_X86
    constexpr const MemoryRoutines* SETS[] = {&PLAIN, &SSE2, &AVX2, &AVX512}; // by RoutineSet
    return routineSetSupported(set) ? *SETS[static_cast<std::size_t>(set)] : PLAIN;
#else
    (void)set;
    return PLAIN;
#endif
}

} // namespace ulo
