#include "screen/text_cells.hpp"

#include "runtime/cpu_features.hpp"
#include "screen/memory_routines.hpp"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ULO_X86 1
#endif

namespace ulo {
namespace {

constexpr std::size_t PIXELS_PER_PATTERN = 8;
constexpr std::size_t CODES = 256;

// The memory routines in use for the framebuffer, chosen at each mode set.
const MemoryRoutines* memory = &memoryRoutines(RoutineSet::Plain);

// Pixels of 1, 2 or 4 bytes, stored in the machine's (little-endian) byte order.
template <typename Pixel>
void putPixel(ScreenState& screen, std::int32_t x, std::int32_t y, std::uint32_t colour) {
    const auto value = static_cast<Pixel>(colour);
    std::memcpy(screen.rowTable[y] + static_cast<std::ptrdiff_t>(x) * sizeof(Pixel), &value,
                sizeof(Pixel));
}
template <typename Pixel>
std::uint32_t getPixel(const ScreenState& screen, std::int32_t x, std::int32_t y) {
    Pixel value;
    std::memcpy(&value, screen.rowTable[y] + static_cast<std::ptrdiff_t>(x) * sizeof(Pixel),
                sizeof(Pixel));
    return value;
}
template <typename Pixel>
void fillPixels(void* destination, std::uint32_t colour, std::size_t count) {
    memory->fill(destination, colour, count, sizeof(Pixel));
}
template <typename Pixel>
void copyPixels(void* destination, const void* source, std::size_t count) {
    memory->copy(destination, source, count * sizeof(Pixel));
}

// Pre-draws the 8-pixel rows of every bit pattern in the current colours, and turns the font on
// its side.
void prepareGlyphRows(ScreenState& screen) {
    GlyphRowCache& cache = screen.glyphRows;
    if (cache.font != screen.font.bits) {
        const auto height = static_cast<std::size_t>(screen.font.height);
        for (std::size_t j = 0; j < height && j < GlyphRowCache::MAX_GLYPH_HEIGHT; ++j) {
            for (std::size_t code = 0; code < CODES; ++code) {
                cache.sideways[j * CODES + code] = screen.font.bits[code * height + j];
            }
        }
        cache.font = screen.font.bits;
    }
    if (cache.bytesPerPixel == screen.bytesPerPixel && cache.foreground == screen.foreground &&
        cache.background == screen.background) {
        return;
    }
    const auto size = static_cast<std::size_t>(screen.bytesPerPixel);
    for (std::size_t pattern = 0; pattern < GlyphRowCache::PATTERNS; ++pattern) {
        std::uint8_t* row = cache.patterns.data() + pattern * PIXELS_PER_PATTERN * size;
        for (std::size_t bit = 0; bit < PIXELS_PER_PATTERN; ++bit) {
            const std::uint32_t colour =
                ((pattern >> bit) & 1u) != 0 ? screen.foreground : screen.background;
            std::memcpy(row + bit * size, &colour, size); // low bytes first: little-endian
        }
    }
    cache.foreground = screen.foreground;
    cache.background = screen.background;
    cache.bytesPerPixel = screen.bytesPerPixel;
}

// Glyphs 8 pixels wide: each glyph row is one copy of a pre-drawn pattern row.
template <typename Pixel>
void drawNarrowGlyphs(const ScreenState& screen, std::int32_t x0, std::int32_t y0,
                      const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t ROW = PIXELS_PER_PATTERN * sizeof(Pixel);
    const std::uint8_t* patterns = screen.glyphRows.patterns.data();
    const auto height = static_cast<std::size_t>(screen.font.height);
    const std::uint8_t* glyphs = screen.font.bits;
    for (std::size_t j = 0; j < height; ++j) {
        std::uint8_t* out = screen.rowTable[static_cast<std::size_t>(y0) + j] +
                            static_cast<std::size_t>(x0) * sizeof(Pixel);
        const std::uint8_t* glyphRow = glyphs + j;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t bits = glyphRow[static_cast<std::size_t>(bytes[i]) * height];
            std::memcpy(out + i * ROW, patterns + bits * ROW, ROW);
        }
    }
}

template <typename Pixel>
constexpr PixelRoutines pixelRoutinesOf() {
    return {
        .put = putPixel<Pixel>,
        .get = getPixel<Pixel>,
        .fill = fillPixels<Pixel>,
        .copy = copyPixels<Pixel>,
        .glyphs = drawNarrowGlyphs<Pixel>,
    };
}

#ifdef ULO_X86
// 32-bit pixels with AVX2: each glyph row is one 32-byte load and store.
__attribute__((target("avx2"), always_inline)) inline __m256i
patternRow(const std::uint8_t* patterns, std::uint32_t bits) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(patterns + bits * 32));
}

__attribute__((target("avx2"))) void drawNarrowGlyphsAvx2(const ScreenState& screen,
                                                          std::int32_t x0, std::int32_t y0,
                                                          const std::uint8_t* bytes,
                                                          std::size_t count) {
    constexpr std::size_t ROW = PIXELS_PER_PATTERN * 4;
    const std::uint8_t* patterns = screen.glyphRows.patterns.data();
    const auto height = static_cast<std::size_t>(screen.font.height);
    const std::uint8_t* glyphs = screen.font.bits;
    // Two pixel rows per pass share the character and the glyph load.
    std::size_t j = 0;
    for (; j + 2 <= height; j += 2) {
        std::uint8_t* upper =
            screen.rowTable[static_cast<std::size_t>(y0) + j] + static_cast<std::size_t>(x0) * 4;
        std::uint8_t* lower = screen.rowTable[static_cast<std::size_t>(y0) + j + 1] +
                              static_cast<std::size_t>(x0) * 4;
        const std::uint8_t* glyphRows = glyphs + j;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint16_t pair;
            std::memcpy(&pair, glyphRows + static_cast<std::size_t>(bytes[i]) * height, 2);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(upper + i * ROW),
                                patternRow(patterns, pair & 0xFFu));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(lower + i * ROW),
                                patternRow(patterns, pair >> 8));
        }
    }
    for (; j < height; ++j) {
        std::uint8_t* out =
            screen.rowTable[static_cast<std::size_t>(y0) + j] + static_cast<std::size_t>(x0) * 4;
        for (std::size_t i = 0; i < count; ++i) {
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(out + i * ROW),
                patternRow(patterns, glyphs[static_cast<std::size_t>(bytes[i]) * height + j]));
        }
    }
}

// 32-bit pixels with AVX-512, 64 characters at a time: for each pixel row, two byte permutes of
// the sideways font look up that row of all 64 glyphs at once; then each glyph row's bits choose
// foreground or background for its 8 pixels, two characters to a 64-byte store. Masked loads and
// stores keep to the run, so nothing beyond it is read or written.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) void
drawNarrowGlyphsAvx512(const ScreenState& screen, std::int32_t x0, std::int32_t y0,
                       const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t STEP = 64;
    constexpr std::size_t ROW = PIXELS_PER_PATTERN * 4;
    const int colours[] = {static_cast<int>(screen.background),
                           static_cast<int>(screen.foreground)};
    const __m512i background = _mm512_set1_epi32(colours[0]);
    const __m512i foreground = _mm512_set1_epi32(colours[1]);
    const std::uint8_t* sideways = screen.glyphRows.sideways.data();
    const auto height = static_cast<std::size_t>(screen.font.height);
    for (std::size_t first = 0; first < count; first += STEP) {
        const std::size_t run = std::min(count - first, STEP);
        const __mmask64 inRun = run == STEP ? ~__mmask64{0} : (__mmask64{1} << run) - 1;
        const __m512i codes = _mm512_maskz_loadu_epi8(inRun, bytes + first);
        const __mmask64 upperCodes = _mm512_movepi8_mask(codes); // 128-255: the second half
        for (std::size_t j = 0; j < height; ++j) {
            const std::uint8_t* glyphRow = sideways + j * CODES;
            const __m512i lower = _mm512_permutex2var_epi8(_mm512_loadu_si512(glyphRow), codes,
                                                           _mm512_loadu_si512(glyphRow + 64));
            const __m512i upper = _mm512_permutex2var_epi8(
                _mm512_loadu_si512(glyphRow + 128), codes, _mm512_loadu_si512(glyphRow + 192));
            std::uint8_t bits[STEP];
            _mm512_storeu_si512(bits, _mm512_mask_blend_epi8(upperCodes, lower, upper));
            std::uint8_t* out = screen.rowTable[static_cast<std::size_t>(y0) + j] +
                                static_cast<std::size_t>(x0) * 4 + first * ROW;
            std::size_t i = 0;
            for (; i + 8 <= run; i += 8) {
                // Eight characters' rows, 64 pixels: four stores of two characters each.
                std::uint64_t eight;
                std::memcpy(&eight, bits + i, 8);
                for (std::size_t pair = 0; pair < 4; ++pair) {
                    const auto mask = static_cast<__mmask16>(eight >> (pair * 16));
                    _mm512_storeu_si512(out + (i + pair * 2) * ROW,
                                        _mm512_mask_blend_epi32(mask, background, foreground));
                }
            }
            for (; i < run; ++i) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * ROW),
                                    _mm256_mask_blend_epi32(bits[i], _mm256_set1_epi32(colours[0]),
                                                            _mm256_set1_epi32(colours[1])));
            }
        }
    }
}
#endif

// Any glyph width: every bit of every byte of a glyph row is one pixel, left to right.
void drawGlyphsPixelByPixel(ScreenState& screen, std::int32_t x0, std::int32_t y0,
                            const std::uint8_t* bytes, std::size_t count) {
    const FontDesc& font = screen.font;
    const std::int32_t rowBytes = (font.width + 7) / 8;
    const std::int32_t glyphSize = font.height * rowBytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* glyph = font.bits + static_cast<std::ptrdiff_t>(bytes[i]) * glyphSize;
        for (std::int32_t j = 0; j < font.height; ++j) {
            std::int32_t x = x0 + static_cast<std::int32_t>(i) * font.width;
            for (std::int32_t b = 0; b < rowBytes; ++b) {
                const std::uint8_t bits = glyph[j * rowBytes + b];
                for (int bit = 0; bit < 8; ++bit, ++x) {
                    screen.pixels.put(screen, x, y0 + j,
                                      ((bits >> bit) & 1) != 0 ? screen.foreground
                                                               : screen.background);
                }
            }
        }
    }
}

TextCell* cellRow(ScreenState& screen, std::int32_t page, std::int32_t row) {
    return screen.textCells[static_cast<std::size_t>(page)].get() +
           static_cast<std::ptrdiff_t>(row) * screen.columns;
}

} // namespace

bool lockScreen(ScreenState& screen) {
    if ((screen.lockFlags & (LOCK_TAKEN | LOCK_HELD)) != 0) {
        return false;
    }
    if (screen.driver != nullptr && screen.driver->lock != nullptr) {
        screen.driver->lock();
    }
    screen.lockFlags |= LOCK_TAKEN | LOCK_HELD;
    return true;
}

void unlockScreen(ScreenState& screen, bool took) {
    if (!took || (screen.lockFlags & LOCK_HELD) == 0) {
        return;
    }
    if (screen.driver != nullptr && screen.driver->unlock != nullptr) {
        screen.driver->unlock();
    }
    screen.lockFlags &= ~(LOCK_TAKEN | LOCK_HELD);
}

void choosePixelRoutines(ScreenState& screen) {
    const RoutineSet set = hasVectorUnits() ? bestRoutineSet() : RoutineSet::Plain;
    memory = &memoryRoutines(set);
    screen.vectorUnits = set != RoutineSet::Plain;
    switch (screen.bytesPerPixel) {
    case 1:
        screen.pixels = pixelRoutinesOf<std::uint8_t>();
        break;
    case 2:
        screen.pixels = pixelRoutinesOf<std::uint16_t>();
        break;
    default:
        screen.pixels = pixelRoutinesOf<std::uint32_t>();
#ifdef ULO_X86
        if (set == RoutineSet::Avx512) {
            screen.pixels.glyphs = drawNarrowGlyphsAvx512;
        } else if (set == RoutineSet::Avx2) {
            screen.pixels.glyphs = drawNarrowGlyphsAvx2;
        }
#endif
        break;
    }
}

void selectWorkPage(ScreenState& screen) {
    std::uint8_t* base = screen.pages[static_cast<std::size_t>(screen.workPage)].get();
    if (screen.rowTable[0] == base) {
        return;
    }
    for (std::int32_t y = 0; y < screen.height; ++y) {
        screen.rowTable[static_cast<std::size_t>(y)] =
            base + static_cast<std::ptrdiff_t>(y) * screen.pitch;
    }
}

bool workPageVisible(const ScreenState& screen) {
    return screen.pages[static_cast<std::size_t>(screen.workPage)].get() == screen.framebuffer;
}

void widenSpan(DirtySpan& span, std::int32_t first, std::int32_t end) {
    if (span.first == span.end) {
        span.first = first;
        span.end = end;
        return;
    }
    span.first = std::min(span.first, first);
    span.end = std::max(span.end, end);
}

void drawGlyphs(ScreenState& screen, DirtySpan& span, std::int32_t column, std::int32_t row,
                const std::uint8_t* bytes, std::size_t count) {
    if (row < 0 || row >= screen.rows || column < 0 || column >= screen.columns) {
        return;
    }
    count = std::min(count, static_cast<std::size_t>(screen.columns - column));
    const FontDesc& font = screen.font;
    const std::int32_t x0 = column * font.width;
    const std::int32_t y0 = row * font.height;
    if (font.width == 8 &&
        font.height <= static_cast<std::int32_t>(GlyphRowCache::MAX_GLYPH_HEIGHT)) {
        prepareGlyphRows(screen);
        screen.pixels.glyphs(screen, x0, y0, bytes, count);
    } else {
        drawGlyphsPixelByPixel(screen, x0, y0, bytes, count);
    }
    widenSpan(span, y0, y0 + font.height);
    TextCell* cells = cellRow(screen, screen.workPage, row) + column;
    for (std::size_t i = 0; i < count; ++i) {
        cells[i] = {bytes[i], screen.foreground, screen.background};
    }
}

void scrollText(ScreenState& screen, DirtySpan& span, std::int32_t left, std::int32_t top,
                std::int32_t right, std::int32_t bottom, std::int32_t rows) {
    const std::int32_t glyphHeight = screen.font.height;
    const std::int32_t first = top * glyphHeight;
    const std::int32_t end = (bottom + 1) * glyphHeight;
    const std::int32_t shift = rows * glyphHeight;
    const std::int32_t width = (right - left + 1) * screen.font.width;
    if (shift != 0) {
        if (shift > 0 && shift < end - first) {
            for (std::int32_t y = first; y < end - shift; ++y) {
                screen.pixels.copy(screen.rowTable[static_cast<std::size_t>(y)],
                                   screen.rowTable[static_cast<std::size_t>(y + shift)],
                                   static_cast<std::size_t>(width));
            }
            fillPixelRows(screen, 0, width, end - shift, end);
        } else {
            fillPixelRows(screen, 0, width, first, end);
        }
        widenSpan(span, first, end);
    }
    const std::int32_t count = bottom - top + 1;
    if (rows >= 0 && rows < count) {
        const auto cells = static_cast<std::size_t>(right - left + 1);
        for (std::int32_t k = 0; k < count - rows; ++k) {
            std::memmove(cellRow(screen, screen.workPage, top + k),
                         cellRow(screen, screen.workPage, top + rows + k),
                         cells * sizeof(TextCell));
        }
        fillTextCells(screen, left, bottom - rows + 1, right + 1, bottom + 1, screen.workPage, ' ',
                      screen.foreground, screen.background);
    } else {
        fillTextCells(screen, left, top, right + 1, bottom + 1, screen.workPage, ' ',
                      screen.foreground, screen.background);
    }
}

void fillTextCells(ScreenState& screen, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2, std::int32_t page, std::uint32_t code, std::uint32_t foreground,
                   std::uint32_t background) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, screen.columns);
    y2 = std::min(y2, screen.rows);
    for (std::int32_t r = y1; r < y2; ++r) {
        TextCell* cells = cellRow(screen, page, r);
        for (std::int32_t c = x1; c < x2; ++c) {
            cells[c] = {code & 0xFFFFu, foreground, background};
        }
    }
}

void fillPixelRows(ScreenState& screen, std::int32_t x, std::int32_t width, std::int32_t first,
                   std::int32_t end) {
    const auto offset = static_cast<std::ptrdiff_t>(x) * screen.bytesPerPixel;
    for (std::int32_t y = std::max(first, 0); y < std::min(end, screen.height); ++y) {
        screen.pixels.fill(screen.rowTable[static_cast<std::size_t>(y)] + offset, screen.background,
                           static_cast<std::size_t>(width));
    }
}

void markDirty(ScreenState& screen, const DirtySpan& span) {
    if (!workPageVisible(screen)) {
        return;
    }
    const std::int32_t first = std::max(span.first, 0);
    const std::int32_t end = std::min(span.end, screen.height * screen.scanlineSize);
    if (first < end) {
        std::memset(screen.dirty.get() + first, 1, static_cast<std::size_t>(end - first));
    }
}

void markAllDirty(ScreenState& screen) {
    std::memset(screen.dirty.get(), 1,
                static_cast<std::size_t>(screen.height) *
                    static_cast<std::size_t>(screen.scanlineSize));
}

} // namespace ulo
