#include "screen/blitters.hpp"

#include "runtime/cpu_features.hpp"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ULO_X86 1
#endif

namespace ulo {
namespace {

enum class Source { Indexed, Rgb16, Rgb32 };
enum class Dest { D8, D15, D16, D24, D32 };

[[maybe_unused]] constexpr std::size_t sourceSize(Source source) {
    return source == Source::Indexed ? 1 : source == Source::Rgb16 ? 2 : 4;
}
constexpr std::size_t destSize(Dest dest) {
    switch (dest) {
    case Dest::D8:
        return 1;
    case Dest::D15:
    case Dest::D16:
        return 2;
    case Dest::D24:
        return 3;
    case Dest::D32:
        return 4;
    }
    return 4;
}

using RowConverter = void (*)(const ScreenState& screen, std::uint8_t* out, const std::uint8_t* in,
                              std::int32_t width);

// Walks the framebuffer rows; dirty ones are converted into scanline-size destination lines.
template <RowConverter CONVERT>
void blitDirtyRows(const ScreenState& screen, std::uint8_t* destination,
                   std::int32_t destinationPitch) {
    const std::uint8_t* row = screen.framebuffer;
    for (std::int32_t y = 0; y < screen.height; ++y, row += screen.pitch) {
        if (screen.dirty[static_cast<std::size_t>(y)] == 0) {
            destination += static_cast<std::ptrdiff_t>(destinationPitch) * screen.scanlineSize;
            continue;
        }
        for (std::int32_t line = 0; line < screen.scanlineSize; ++line) {
            CONVERT(screen, destination, row, screen.width);
            destination += destinationPitch;
        }
    }
}

// ---- Plain members ------------------------------------------------------------------------

struct Rgb {
    std::uint32_t red;
    std::uint32_t green;
    std::uint32_t blue;
};

inline std::uint32_t load32(const std::uint8_t* in) {
    std::uint32_t value;
    std::memcpy(&value, in, 4);
    return value;
}
inline std::uint16_t load16(const std::uint8_t* in) {
    std::uint16_t value;
    std::memcpy(&value, in, 2);
    return value;
}
inline void store32(std::uint8_t* out, std::uint32_t value) {
    std::memcpy(out, &value, 4);
}
inline void store16(std::uint8_t* out, std::uint32_t value) {
    const auto narrow = static_cast<std::uint16_t>(value);
    std::memcpy(out, &narrow, 2);
}
inline void store24(std::uint8_t* out, std::uint32_t word) {
    out[0] = static_cast<std::uint8_t>(word);
    out[1] = static_cast<std::uint8_t>(word >> 8);
    out[2] = static_cast<std::uint8_t>(word >> 16);
}

template <bool BLUE_FIRST>
std::uint32_t pack15(Rgb c) {
    const std::uint32_t high = BLUE_FIRST ? c.blue : c.red;
    const std::uint32_t low = BLUE_FIRST ? c.red : c.blue;
    return (high >> 3) << 10 | (c.green >> 3) << 5 | low >> 3;
}
template <bool BLUE_FIRST>
std::uint32_t pack16(Rgb c) {
    const std::uint32_t high = BLUE_FIRST ? c.blue : c.red;
    const std::uint32_t low = BLUE_FIRST ? c.red : c.blue;
    return (high >> 3) << 11 | (c.green >> 2) << 5 | low >> 3;
}
// The 32-bit destination word; its three low bytes are the 24-bit destination pixel.
template <bool BLUE_FIRST>
std::uint32_t pack32(Rgb c) {
    const std::uint32_t high = BLUE_FIRST ? c.blue : c.red;
    const std::uint32_t low = BLUE_FIRST ? c.red : c.blue;
    return high << 16 | c.green << 8 | low;
}

template <Source SOURCE>
Rgb readRgb(const ScreenState& screen, const std::uint8_t* in, std::int32_t x) {
    if constexpr (SOURCE == Source::Indexed) {
        const std::uint32_t entry = screen.devicePalette[in[x]];
        return {entry & 0xFF, entry >> 8 & 0xFF, entry >> 16 & 0xFF};
    } else {
        const std::uint32_t p = load32(in + static_cast<std::ptrdiff_t>(x) * 4);
        return {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF};
    }
}

// Indexed and 32-bit sources: each channel from its own byte.
template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
void plainChannelRow(const ScreenState& screen, std::uint8_t* out, const std::uint8_t* in,
                     std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, out += destSize(DEST)) {
        const Rgb c = readRgb<SOURCE>(screen, in, x);
        if constexpr (DEST == Dest::D15) {
            store16(out, pack15<BLUE_FIRST>(c));
        } else if constexpr (DEST == Dest::D16) {
            store16(out, pack16<BLUE_FIRST>(c));
        } else if constexpr (DEST == Dest::D24) {
            store24(out, pack32<BLUE_FIRST>(c));
        } else {
            store32(out, pack32<BLUE_FIRST>(c));
        }
    }
}

// 16-bit 5-6-5 sources: fields repacked, or widened through the lookup table.
template <Dest DEST, bool BLUE_FIRST>
void plainRgb16Row(const ScreenState& screen, std::uint8_t* out, const std::uint8_t* in,
                   std::int32_t width) {
    const std::uint32_t* table = screen.blitterTable.get();
    for (std::int32_t x = 0; x < width; ++x, out += destSize(DEST)) {
        const std::uint32_t p = load16(in + static_cast<std::ptrdiff_t>(x) * 2);
        if constexpr (DEST == Dest::D15) {
            store16(out, BLUE_FIRST ? (p & 0x1F) << 10 | (p >> 1 & 0x3E0) | p >> 11
                                    : (p >> 1 & 0x7FE0) | (p & 0x1F));
        } else if constexpr (DEST == Dest::D16) {
            store16(out, (p & 0x1F) << 11 | (p & 0x7E0) | p >> 11); // blue-first only
        } else {
            const std::uint32_t word = table[p & 0xFF] | table[256 + (p >> 8)];
            if constexpr (DEST == Dest::D24) {
                store24(out, word);
            } else {
                store32(out, word);
            }
        }
    }
}

template <std::size_t PIXEL_SIZE>
void copyRow(const ScreenState&, std::uint8_t* out, const std::uint8_t* in, std::int32_t width) {
    std::memcpy(out, in, static_cast<std::size_t>(width) * PIXEL_SIZE);
}

template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
constexpr RowConverter plainConverter() {
    if constexpr (DEST == Dest::D8) {
        return copyRow<1>;
    } else if constexpr (SOURCE == Source::Rgb32 && DEST == Dest::D32 && !BLUE_FIRST) {
        return copyRow<4>;
    } else if constexpr (SOURCE == Source::Rgb16 && DEST == Dest::D16 && !BLUE_FIRST) {
        return copyRow<2>;
    } else if constexpr (SOURCE == Source::Rgb16) {
        return plainRgb16Row<DEST, BLUE_FIRST>;
    } else {
        return plainChannelRow<SOURCE, DEST, BLUE_FIRST>;
    }
}

// ---- Vector members -----------------------------------------------------------------------
//
// Each converts whole vectors and leaves the last pixels of a row to the plain member, so it
// writes exactly the plain member's bytes. Words are built in 32-bit lanes: "swap" exchanges the
// channels in bits 0-7 and 16-23 (a blue-first destination of a red-first source, or the other
// way round for palette entries, which hold red in bits 0-7).

// The pixel arithmetic is written once, on the compiler's generic vectors, for every vector
// width; each member's row function, compiled for its vector unit, makes it that unit's
// instructions. The vectors change in place: none passes by value, so no function's calling
// convention depends on the vector unit.

template <std::size_t BYTES>
struct Lanes {
    typedef std::uint32_t Words __attribute__((vector_size(BYTES)));
    typedef std::uint16_t Halves __attribute__((vector_size(BYTES)));
};

// Words with red in bits 16-23 (or, with SWAP, in bits 0-7) to destination words.
template <bool SWAP, typename Words>
__attribute__((always_inline)) inline void toWord32(Words& p) {
    if constexpr (SWAP) {
        p = (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    } else {
        p &= 0xFFFFFF;
    }
}

// Words with the high channel in bits 16-23 (or, with SWAP, in bits 0-7) to 5-6-5 or 5-5-5
// values in their low 16 bits.
template <Dest DEST, bool SWAP, typename Words>
__attribute__((always_inline)) inline void toWord16(Words& p) {
    constexpr bool SIX_BIT_GREEN = DEST == Dest::D16;
    const Words green = p >> (SIX_BIT_GREEN ? 5 : 6) & (SIX_BIT_GREEN ? 0x7E0 : 0x3E0);
    constexpr std::uint32_t HIGH_MASK = SIX_BIT_GREEN ? 0xF800 : 0x7C00;
    if constexpr (SWAP) {
        p = (p << (SIX_BIT_GREEN ? 8 : 7) & HIGH_MASK) | green | (p >> 19 & 0x1F);
    } else {
        p = (p >> (SIX_BIT_GREEN ? 8 : 9) & HIGH_MASK) | green | (p >> 3 & 0x1F);
    }
}

// 5-6-5 values in words to destination words.
template <bool BLUE_FIRST, typename Words>
__attribute__((always_inline)) inline void widen565(Words& p) {
    const Words green = (p & 0x7E0) << 5;
    if constexpr (BLUE_FIRST) {
        p = (p & 0x1F) << 19 | green | (p & 0xF800) >> 8;
    } else {
        p = (p & 0x1F) << 3 | green | (p & 0xF800) << 8;
    }
}

// 5-6-5 pixels in 16-bit lanes to 5-5-5 or swapped 5-6-5.
template <Dest DEST, bool BLUE_FIRST, typename Halves>
__attribute__((always_inline)) inline void repack565(Halves& p) {
    if constexpr (DEST == Dest::D15 && !BLUE_FIRST) {
        p = (p >> 1 & 0x7FE0) | (p & 0x1F);
    } else if constexpr (DEST == Dest::D15) {
        p = (p << 10 & 0x7C00) | (p >> 1 & 0x3E0) | p >> 11;
    } else {
        p = p << 11 | (p & 0x7E0) | p >> 11;
    }
}

// Unaligned loads and stores of a whole vector of any kind.
template <typename Vector>
__attribute__((always_inline)) inline Vector& load(Vector& vector, const std::uint8_t* in) {
    std::memcpy(&vector, in, sizeof vector);
    return vector;
}
template <typename Vector>
__attribute__((always_inline)) inline void store(std::uint8_t* out, const Vector& vector) {
    std::memcpy(out, &vector, sizeof vector);
}

#ifdef ULO_X86

// --- SSE2: four 32-bit lanes per vector.

using Words128 = Lanes<16>::Words;
using Halves128 = Lanes<16>::Halves;

// Four destination words from four 32-bit source pixels.
template <bool SWAP>
__attribute__((target("sse2"), always_inline)) inline __m128i sse2Word32(const std::uint8_t* from) {
    Words128 p;
    load(p, from);
    toWord32<SWAP>(p);
    return reinterpret_cast<__m128i>(p);
}

// Four destination words from four 5-6-5 pixels, the low (or high) half of a vector of eight.
template <bool BLUE_FIRST, bool HIGH_HALF>
__attribute__((target("sse2"), always_inline)) inline __m128i sse2Widened(__m128i pixels) {
    const __m128i zero = _mm_setzero_si128();
    auto p = reinterpret_cast<Words128>(HIGH_HALF ? _mm_unpackhi_epi16(pixels, zero)
                                                  : _mm_unpacklo_epi16(pixels, zero));
    widen565<BLUE_FIRST>(p);
    return reinterpret_cast<__m128i>(p);
}

// Eight 32-bit source pixels to eight 16-bit destination pixels.
template <Dest DEST, bool BLUE_FIRST>
__attribute__((target("sse2"), always_inline)) inline __m128i sse2Word16(const std::uint8_t* from) {
    Words128 a;
    Words128 b;
    load(a, from);
    load(b, from + 16);
    toWord16<DEST, BLUE_FIRST>(a);
    toWord16<DEST, BLUE_FIRST>(b);
    // Sign-extended, the 16-bit values pack without saturating.
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(reinterpret_cast<__m128i>(a), 16), 16);
    const __m128i high = _mm_srai_epi32(_mm_slli_epi32(reinterpret_cast<__m128i>(b), 16), 16);
    return _mm_packs_epi32(low, high);
}

// Four vectors of four destination words to 48 bytes of 24-bit pixels.
__attribute__((target("ssse3"), always_inline)) inline void
ssse3Store24(std::uint8_t* out, __m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    a = _mm_shuffle_epi8(a, pick);
    b = _mm_shuffle_epi8(b, pick);
    c = _mm_shuffle_epi8(c, pick);
    d = _mm_shuffle_epi8(d, pick);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                     _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
__attribute__((target("sse2"))) void sse2Row(const ScreenState& screen, std::uint8_t* out,
                                             const std::uint8_t* in, std::int32_t width) {
    constexpr std::int32_t STEP = 8;
    std::int32_t x = 0;
    for (; x + STEP <= width; x += STEP) {
        const std::uint8_t* from = in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE);
        std::uint8_t* to = out + static_cast<std::ptrdiff_t>(x) * destSize(DEST);
        if constexpr (SOURCE == Source::Rgb32 && DEST == Dest::D32) {
            store(to, sse2Word32<true>(from));
            store(to + 16, sse2Word32<true>(from + 16));
        } else if constexpr (SOURCE == Source::Rgb32) {
            store(to, sse2Word16<DEST, BLUE_FIRST>(from));
        } else if constexpr (DEST == Dest::D32) {
            __m128i p;
            load(p, from);
            store(to, sse2Widened<BLUE_FIRST, false>(p));
            store(to + 16, sse2Widened<BLUE_FIRST, true>(p));
        } else {
            Halves128 p;
            repack565<DEST, BLUE_FIRST>(load(p, from));
            store(to, p);
        }
    }
    plainConverter<SOURCE, DEST, BLUE_FIRST>()(
        screen, out + static_cast<std::ptrdiff_t>(x) * destSize(DEST),
        in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE), width - x);
}

// 24-bit destinations: sixteen pixels, 48 bytes, per step.
template <Source SOURCE, bool BLUE_FIRST>
__attribute__((target("ssse3"))) void ssse3Row24(const ScreenState& screen, std::uint8_t* out,
                                                 const std::uint8_t* in, std::int32_t width) {
    constexpr std::int32_t STEP = 16;
    std::int32_t x = 0;
    for (; x + STEP <= width; x += STEP) {
        const std::uint8_t* from = in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE);
        std::uint8_t* to = out + static_cast<std::ptrdiff_t>(x) * 3;
        if constexpr (SOURCE == Source::Rgb32) {
            ssse3Store24(to, sse2Word32<BLUE_FIRST>(from), sse2Word32<BLUE_FIRST>(from + 16),
                         sse2Word32<BLUE_FIRST>(from + 32), sse2Word32<BLUE_FIRST>(from + 48));
        } else {
            __m128i first;
            __m128i second;
            load(first, from);
            load(second, from + 16);
            ssse3Store24(
                to, sse2Widened<BLUE_FIRST, false>(first), sse2Widened<BLUE_FIRST, true>(first),
                sse2Widened<BLUE_FIRST, false>(second), sse2Widened<BLUE_FIRST, true>(second));
        }
    }
    plainConverter<SOURCE, Dest::D24, BLUE_FIRST>()(
        screen, out + static_cast<std::ptrdiff_t>(x) * 3,
        in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE), width - x);
}

// --- AVX2: eight 32-bit lanes per vector.

using Words256 = Lanes<32>::Words;
using Halves256 = Lanes<32>::Halves;

// Eight source pixels as 32-bit lanes: palette entries, widened 5-6-5 values or the pixels.
template <Source SOURCE>
__attribute__((target("avx2"), always_inline)) inline Words256 avx2Lanes(const ScreenState& screen,
                                                                         const std::uint8_t* from) {
    __m256i lanes;
    if constexpr (SOURCE == Source::Indexed) {
        const __m256i index =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)));
        lanes = _mm256_i32gather_epi32(reinterpret_cast<const int*>(screen.devicePalette.get()),
                                       index, 4);
    } else if constexpr (SOURCE == Source::Rgb16) {
        lanes = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
    } else {
        load(lanes, from);
    }
    return reinterpret_cast<Words256>(lanes);
}

// The destination words of eight pixels (32 and 24-bit destinations).
template <Source SOURCE, bool BLUE_FIRST>
__attribute__((target("avx2"), always_inline)) inline __m256i avx2Words(const ScreenState& screen,
                                                                        const std::uint8_t* from) {
    Words256 p = avx2Lanes<SOURCE>(screen, from);
    if constexpr (SOURCE == Source::Rgb16) {
        widen565<BLUE_FIRST>(p);
    } else {
        // Palette entries hold red in bits 0-7, the pixels in bits 16-23.
        toWord32<(SOURCE == Source::Indexed) != BLUE_FIRST>(p);
    }
    return reinterpret_cast<__m256i>(p);
}

// Sixteen pixels to sixteen 16-bit destination pixels, in order.
template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
__attribute__((target("avx2"), always_inline)) inline __m256i
avx2Word16(const ScreenState& screen, const std::uint8_t* from, const std::uint8_t* next) {
    if constexpr (SOURCE == Source::Rgb16) {
        Halves256 p;
        repack565<DEST, BLUE_FIRST>(load(p, from));
        return reinterpret_cast<__m256i>(p);
    } else {
        constexpr bool SWAP = SOURCE == Source::Indexed ? !BLUE_FIRST : BLUE_FIRST;
        Words256 a = avx2Lanes<SOURCE>(screen, from);
        Words256 b = avx2Lanes<SOURCE>(screen, next);
        toWord16<DEST, SWAP>(a);
        toWord16<DEST, SWAP>(b);
        return _mm256_permute4x64_epi64(
            _mm256_packus_epi32(reinterpret_cast<__m256i>(a), reinterpret_cast<__m256i>(b)), 0xD8);
    }
}

template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
__attribute__((target("avx2"))) void avx2Row(const ScreenState& screen, std::uint8_t* out,
                                             const std::uint8_t* in, std::int32_t width) {
    constexpr std::int32_t STEP = 16;
    std::int32_t x = 0;
    for (; x + STEP <= width; x += STEP) {
        const std::uint8_t* from = in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE);
        const std::uint8_t* next = from + 8 * sourceSize(SOURCE);
        std::uint8_t* to = out + static_cast<std::ptrdiff_t>(x) * destSize(DEST);
        if constexpr (DEST == Dest::D32) {
            store(to, avx2Words<SOURCE, BLUE_FIRST>(screen, from));
            store(to + 32, avx2Words<SOURCE, BLUE_FIRST>(screen, next));
        } else if constexpr (DEST == Dest::D24) {
            const __m256i first = avx2Words<SOURCE, BLUE_FIRST>(screen, from);
            const __m256i second = avx2Words<SOURCE, BLUE_FIRST>(screen, next);
            ssse3Store24(to, _mm256_castsi256_si128(first), _mm256_extracti128_si256(first, 1),
                         _mm256_castsi256_si128(second), _mm256_extracti128_si256(second, 1));
        } else {
            store(to, avx2Word16<SOURCE, DEST, BLUE_FIRST>(screen, from, next));
        }
    }
    plainConverter<SOURCE, DEST, BLUE_FIRST>()(
        screen, out + static_cast<std::ptrdiff_t>(x) * destSize(DEST),
        in + static_cast<std::ptrdiff_t>(x) * sourceSize(SOURCE), width - x);
}

#endif // ULO_X86

// ---- Member tables ------------------------------------------------------------------------

// The blitter of one (set, source, destination, order); straight copies are the same in every
// set.
template <Source SOURCE, Dest DEST, bool BLUE_FIRST>
Blitter memberOf(RoutineSet set) {
#ifdef ULO_X86
    constexpr bool STRAIGHT_COPY = DEST == Dest::D8 ||
                                   (SOURCE == Source::Rgb32 && DEST == Dest::D32 && !BLUE_FIRST) ||
                                   (SOURCE == Source::Rgb16 && DEST == Dest::D16 && !BLUE_FIRST);
    if constexpr (!STRAIGHT_COPY) {
        if (set == RoutineSet::Avx2 || set == RoutineSet::Avx512) {
            return blitDirtyRows<avx2Row<SOURCE, DEST, BLUE_FIRST>>;
        }
        if constexpr (SOURCE != Source::Indexed) { // no gather before AVX2
            if (set == RoutineSet::Sse2) {
                if constexpr (DEST == Dest::D24) {
                    if (cpuFeatures().ssse3) {
                        return blitDirtyRows<ssse3Row24<SOURCE, BLUE_FIRST>>;
                    }
                } else {
                    return blitDirtyRows<sse2Row<SOURCE, DEST, BLUE_FIRST>>;
                }
            }
        }
    }
#else
    (void)set;
#endif
    return blitDirtyRows<plainConverter<SOURCE, DEST, BLUE_FIRST>()>;
}

template <Source SOURCE, bool BLUE_FIRST>
Blitter memberForDest(RoutineSet set, std::int32_t destinationBits) {
    switch (destinationBits) {
    case 8:
        if constexpr (SOURCE == Source::Indexed) {
            return memberOf<SOURCE, Dest::D8, BLUE_FIRST>(set);
        }
        return nullptr;
    case 15:
        return memberOf<SOURCE, Dest::D15, BLUE_FIRST>(set);
    case 16:
        return memberOf<SOURCE, Dest::D16, BLUE_FIRST>(set);
    case 24:
        return memberOf<SOURCE, Dest::D24, BLUE_FIRST>(set);
    case 32:
        return memberOf<SOURCE, Dest::D32, BLUE_FIRST>(set);
    default:
        return nullptr;
    }
}

template <Source SOURCE>
Blitter memberForOrder(RoutineSet set, std::int32_t destinationBits, bool blueFirst) {
    return blueFirst ? memberForDest<SOURCE, true>(set, destinationBits)
                     : memberForDest<SOURCE, false>(set, destinationBits);
}

} // namespace

void buildBlitterTable(ScreenState& screen, bool blueFirst) {
    std::uint32_t* table = screen.blitterTable.get();
    for (std::uint32_t i = 0; i < 256; ++i) {
        if (blueFirst) {
            table[i] = (i & 0x1F) << 19 | (i & 0xE0) << 5;
            table[256 + i] = (i & 7) << 13 | (i & 0xF8);
        } else {
            table[i] = (i & 0x1F) << 3 | (i & 0xE0) << 5;
            table[256 + i] = (i & 7) << 13 | (i & 0xF8) << 16;
        }
    }
}

Blitter blitterOfSet(RoutineSet set, std::int32_t screenDepth, std::int32_t destinationBits,
                     bool blueFirst) {
    if (!routineSetSupported(set)) {
        set = RoutineSet::Plain;
    }
    if (screenDepth >= 1 && screenDepth <= 8) {
        return memberForOrder<Source::Indexed>(set, destinationBits, blueFirst);
    }
    if (screenDepth == 15 || screenDepth == 16) {
        return memberForOrder<Source::Rgb16>(set, destinationBits, blueFirst);
    }
    if (screenDepth == 24 || screenDepth == 32) {
        return memberForOrder<Source::Rgb32>(set, destinationBits, blueFirst);
    }
    return nullptr;
}

Blitter chooseBlitter(ScreenState& screen, std::int32_t destinationBits, bool blueFirst) {
    buildBlitterTable(screen, blueFirst);
    const RoutineSet set =
        hasVectorUnits() && screen.scanlineSize == 1 ? bestRoutineSet() : RoutineSet::Plain;
    return blitterOfSet(set, screen.depth, destinationBits, blueFirst);
}

} // namespace ulo
