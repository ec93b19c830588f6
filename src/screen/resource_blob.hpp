// The fonts and default palettes, stored packed in the resource block and expanded once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ulo {

// A bitmap font of 256 glyphs in code page 437 order; each glyph is `height` rows of
// ceil(width / 8) bytes, bit 0 the leftmost pixel, a set bit foreground.
struct FontDesc {
    std::int32_t width;
    std::int32_t height;
    const std::uint8_t* bits;
};

// A default palette: `count` colours of red, green and blue bytes.
struct PaletteDesc {
    std::int32_t count;
    const std::uint8_t* rgb;
};

// Layout of the expanded block.
inline constexpr std::size_t RESOURCE_BLOCK_SIZE = 10742;
inline constexpr std::size_t FONT_8X8_OFFSET = 0;
inline constexpr std::size_t FONT_8X14_OFFSET = 2048;
inline constexpr std::size_t FONT_8X16_OFFSET = 5632;
inline constexpr std::size_t PALETTES_OFFSET = 9728;

// The packed block (made at build time).
std::span<const std::uint8_t> resourceBlob();

// Expands 12-bit LZW codes (little-endian packed, no clear code, 4095 ends the stream) into
// `output`. *capacity holds the room in `output`; on success it receives the bytes produced.
// -1 for a stream without an end code, a prefix chain longer than 4095 or output beyond the
// capacity; 0 on success.
int expandResourceBlob(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                       std::size_t* capacity);

// Expands the resource block on the first call and keeps the outcome, which later calls return
// without expanding again: true when the packed block expanded to exactly RESOURCE_BLOCK_SIZE
// bytes. On false the fonts are not whole (blank glyphs at best) and must not be used.
bool expandResourcesOnce();
// The expanded block (zeros until expandResourcesOnce ran).
std::span<const std::uint8_t, RESOURCE_BLOCK_SIZE> resourceBlock();
// For tests: makes `blob` the packed block that expandResourcesOnce reads (an empty one: the
// program's own), to be expanded anew at its next call. Returns the block used before.
std::span<const std::uint8_t> useResourceBlob(std::span<const std::uint8_t> blob);

// The font of glyph height 8, 14 or 16; other heights give the 8 x 16 font.
FontDesc fontOfHeight(std::int32_t height);
// The default palette of 2, 16, 64 or 256 colours; other counts give no colours.
PaletteDesc defaultPalette(std::int32_t count);

} // namespace ulo
