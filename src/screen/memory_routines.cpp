#include "screen/memory_routines.hpp"

#include "runtime/cpu_features.hpp"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ULO_X86 1
#endif

namespace ulo {
namespace {

void plainFill8(void* destination, std::uint32_t colour, std::size_t count) {
    std::memset(destination, static_cast<int>(colour & 0xFF), count);
}

void plainFill16(void* destination, std::uint32_t colour, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto value = static_cast<std::uint16_t>(colour);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(out + i * 2, &value, 2);
    }
}

void plainFill32(void* destination, std::uint32_t colour, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(out + i * 4, &colour, 4);
    }
}

void plainCopy(void* destination, const void* source, std::size_t bytes) {
    std::memcpy(destination, source, bytes);
}

constexpr MemoryRoutines PLAIN = {plainFill8, plainFill16, plainFill32, plainCopy};

#ifdef ULO_X86

// Stores the 16-byte `pattern` over `bytes` bytes: whole vectors, then the tail byte by byte.
__attribute__((target("sse2"))) void sse2Pattern(std::uint8_t* out, __m128i pattern,
                                                 std::size_t bytes) {
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pattern);
    }
    alignas(16) std::uint8_t tail[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), pattern);
    std::memcpy(out + i, tail, bytes - i);
}

__attribute__((target("sse2"))) void sse2Fill8(void* destination, std::uint32_t colour,
                                               std::size_t count) {
    sse2Pattern(static_cast<std::uint8_t*>(destination), _mm_set1_epi8(static_cast<char>(colour)),
                count);
}
__attribute__((target("sse2"))) void sse2Fill16(void* destination, std::uint32_t colour,
                                                std::size_t count) {
    sse2Pattern(static_cast<std::uint8_t*>(destination), _mm_set1_epi16(static_cast<short>(colour)),
                count * 2);
}
__attribute__((target("sse2"))) void sse2Fill32(void* destination, std::uint32_t colour,
                                                std::size_t count) {
    sse2Pattern(static_cast<std::uint8_t*>(destination), _mm_set1_epi32(static_cast<int>(colour)),
                count * 4);
}
__attribute__((target("sse2"))) void sse2Copy(void* destination, const void* source,
                                              std::size_t bytes) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto* in = static_cast<const std::uint8_t*>(source);
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
    }
    std::memcpy(out + i, in + i, bytes - i);
}

__attribute__((target("avx2"))) void avx2Pattern(std::uint8_t* out, __m256i pattern,
                                                 std::size_t bytes) {
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pattern);
    }
    alignas(32) std::uint8_t tail[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(tail), pattern);
    std::memcpy(out + i, tail, bytes - i);
}

__attribute__((target("avx2"))) void avx2Fill8(void* destination, std::uint32_t colour,
                                               std::size_t count) {
    avx2Pattern(static_cast<std::uint8_t*>(destination),
                _mm256_set1_epi8(static_cast<char>(colour)), count);
}
__attribute__((target("avx2"))) void avx2Fill16(void* destination, std::uint32_t colour,
                                                std::size_t count) {
    avx2Pattern(static_cast<std::uint8_t*>(destination),
                _mm256_set1_epi16(static_cast<short>(colour)), count * 2);
}
__attribute__((target("avx2"))) void avx2Fill32(void* destination, std::uint32_t colour,
                                                std::size_t count) {
    avx2Pattern(static_cast<std::uint8_t*>(destination),
                _mm256_set1_epi32(static_cast<int>(colour)), count * 4);
}
__attribute__((target("avx2"))) void avx2Copy(void* destination, const void* source,
                                              std::size_t bytes) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto* in = static_cast<const std::uint8_t*>(source);
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)));
    }
    std::memcpy(out + i, in + i, bytes - i);
}

constexpr MemoryRoutines SSE2 = {sse2Fill8, sse2Fill16, sse2Fill32, sse2Copy};
constexpr MemoryRoutines AVX2 = {avx2Fill8, avx2Fill16, avx2Fill32, avx2Copy};

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
    }
    return false;
}

RoutineSet bestRoutineSet() {
    if (routineSetSupported(RoutineSet::Avx2)) {
        return RoutineSet::Avx2;
    }
    if (routineSetSupported(RoutineSet::Sse2)) {
        return RoutineSet::Sse2;
    }
    return RoutineSet::Plain;
}

const MemoryRoutines& memoryRoutines(RoutineSet set) {
#ifdef ULO_X86
    if (set == RoutineSet::Avx2 && routineSetSupported(set)) {
        return AVX2;
    }
    if (set == RoutineSet::Sse2 && routineSetSupported(set)) {
        return SSE2;
    }
#else
    (void)set;
#endif
    return PLAIN;
}

} // namespace ulo
