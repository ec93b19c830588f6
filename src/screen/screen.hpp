// Screen modes and the ScreenState: the framebuffer with its bookkeeping while a graphics screen
// is set, or none (text on the process console).
#pragma once

#include "runtime/errors.hpp"
#include "screen/display_driver.hpp"
#include "screen/resource_blob.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr std::int32_t SCREEN_FULLSCREEN = 0x01;
inline constexpr std::int32_t SCREEN_OPENGL = 0x02;
inline constexpr std::int32_t SCREEN_NO_SWITCH = 0x04;
inline constexpr std::int32_t SCREEN_STENCIL_BUFFER = 0x10;
inline constexpr std::int32_t SCREEN_ACCUM_BUFFER = 0x20;
inline constexpr std::int32_t SCREEN_NULL = -1;
inline constexpr std::int32_t SCREEN_NO_CONSOLE_RESET = static_cast<std::int32_t>(0x80000000u);

inline constexpr std::int32_t MAX_SCREEN_MODE = 21;

// Bits of ScreenState::lockFlags.
inline constexpr std::uint32_t LOCK_TAKEN = 0x10;   // set and cleared together with LOCK_HELD
inline constexpr std::uint32_t LOCK_HELD = 0x20;    // the driver's lock is held
inline constexpr std::uint32_t VIEWPORT_SET = 0x80; // a graphics viewport was set

// One row of the mode table. Rows 3-6 are invalid (width -1); row 0 is not used.
struct ModeInfo {
    std::int32_t width;
    std::int32_t height;
    std::int32_t depth;
    std::int32_t scanlineSize;   // window lines per framebuffer row: 1 or 2
    std::int32_t defaultPalette; // colours: 2, 16, 64 or 256
    std::int32_t font;           // glyph height: 8, 14 or 16 (all glyphs 8 wide)
    std::int32_t columns;
    std::int32_t rows;
};

inline constexpr ModeInfo INVALID_MODE = {-1, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<ModeInfo, MAX_SCREEN_MODE + 1> MODE_TABLE = {{
    {0, 0, 0, 0, 0, 0, 0, 0},
    {320, 200, 2, 1, 16, 8, 40, 25},
    {640, 200, 1, 2, 16, 8, 80, 25},
    INVALID_MODE,
    INVALID_MODE,
    INVALID_MODE,
    INVALID_MODE,
    {320, 200, 4, 1, 16, 8, 40, 25},
    {640, 200, 4, 2, 16, 8, 80, 25},
    {640, 350, 4, 1, 64, 14, 80, 25},
    {640, 350, 1, 1, 2, 14, 80, 25},
    {640, 480, 1, 1, 2, 16, 80, 30},
    {640, 480, 4, 1, 256, 16, 80, 30},
    {320, 200, 8, 1, 256, 8, 40, 25},
    {320, 240, 8, 1, 256, 8, 40, 30},
    {400, 300, 8, 1, 256, 8, 50, 37},
    {512, 384, 8, 1, 256, 16, 64, 24},
    {640, 400, 8, 1, 256, 16, 80, 25},
    {640, 480, 8, 1, 256, 16, 80, 30},
    {800, 600, 8, 1, 256, 16, 100, 37},
    {1024, 768, 8, 1, 256, 16, 128, 48},
    {1280, 1024, 8, 1, 256, 16, 160, 64},
}};

// One character cell: its code (upper half of the slot 0) and colours as pixel values.
struct TextCell {
    std::uint32_t code;
    std::uint32_t foreground;
    std::uint32_t background;
};

// Pixel rows first .. end - 1 that an operation changed; empty when first == end.
struct DirtySpan {
    std::int32_t first = 0;
    std::int32_t end = 0;
};

struct ScreenState;

// The per-depth pixel routines: put and get address row y through the row table and do not
// clip; fill and copy work on `count` pixels; glyphs draws `count` glyphs 8 pixels wide from
// pixel (x0, y0) to the right, one per byte, from the screen's glyph row cache.
struct PixelRoutines {
    void (*put)(ScreenState& screen, std::int32_t x, std::int32_t y, std::uint32_t colour);
    std::uint32_t (*get)(const ScreenState& screen, std::int32_t x, std::int32_t y);
    void (*fill)(void* destination, std::uint32_t colour, std::size_t count);
    void (*copy)(void* destination, const void* source, std::size_t count);
    void (*glyphs)(const ScreenState& screen, std::int32_t x0, std::int32_t y0,
                   const std::uint8_t* bytes, std::size_t count);
};

// What drawing 8-pixel glyphs looks up: each glyph row of 8 pixels pre-drawn for every bit
// pattern in the current colours, so that a glyph row is one copy; and the font turned on its
// side, row j of every glyph together, so that a vector unit looks up a row of many glyphs at
// once. Rebuilt when the colours, the pixel size or the font change.
struct GlyphRowCache {
    static constexpr std::size_t PATTERNS = 256;
    static constexpr std::size_t MAX_GLYPH_HEIGHT = 16;
    // Pattern p's 8 pixels at p * 8 * pixel size.
    std::array<std::uint8_t, PATTERNS * 8 * 4> patterns;
    // Glyph row j of code c at j * 256 + c.
    std::array<std::uint8_t, MAX_GLYPH_HEIGHT * 256> sideways;
    std::uint32_t foreground = 0;
    std::uint32_t background = 0;
    std::int32_t bytesPerPixel = 0; // 0: not built
    const std::uint8_t* font = nullptr;
};

// The bytes of ScreenState::keyState, one per scan code.
inline constexpr std::size_t KEY_STATE_SIZE = 128;

// A page's bytes come from calloc: the system hands out large zeroed blocks as untouched pages,
// so a screen that is never drawn into (a conversation through pipes) costs no page faults.
struct FreePageBytes {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};
using PageBytes = std::unique_ptr<std::uint8_t[], FreePageBytes>;

// The active graphics screen; owned by the screen layer from one mode set to the next.
struct ScreenState {
    std::int32_t mode = 0;
    // Pages: each height x pitch bytes, zero-filled; page 0 is the framebuffer on show.
    std::unique_ptr<PageBytes[]> pages;
    std::int32_t pageCount = 0;
    std::int32_t workPage = 0; // the page text goes to
    std::uint8_t* framebuffer = nullptr;
    // Row y of the drawing target at rowTable[y].
    std::unique_ptr<std::uint8_t*[]> rowTable;
    std::int32_t pitch = 0;
    std::int32_t drawPitch = 0; // the pitch the drawing primitives use
    std::int32_t bytesPerPixel = 0;
    // 256 entries each, red in bits 0-7, green 8-15, blue 16-23 (used at depths up to 8).
    std::unique_ptr<std::uint32_t[]> palette;
    std::unique_ptr<std::uint32_t[]> devicePalette;
    std::unique_ptr<std::uint8_t[]> colourMap; // 16 entries
    // One flag per framebuffer row (height x scanline size bytes); drawing sets, the driver
    // presents and clears.
    std::unique_ptr<std::uint8_t[]> dirty;
    const DisplayDriver* driver = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 0;
    std::uint32_t colourMask = 0;
    std::int32_t defaultPalette = 0;
    std::int32_t scanlineSize = 0;
    FontDesc font{};
    std::uint32_t foreground = 0;
    std::uint32_t background = 0;
    float penX = 0;
    float penY = 0;
    std::int32_t viewportX = 0;
    std::int32_t viewportY = 0;
    std::int32_t viewportWidth = 0;
    std::int32_t viewportHeight = 0;
    // The text grid; its cursor is the graphics console's.
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::unique_ptr<std::uint8_t[]> keyState; // KEY_STATE_SIZE bytes: 1 while key n is held
    std::int32_t refreshRate = 0;
    std::uint32_t lockFlags = 0;
    bool vectorUnits = false; // the vector memory routines are in use
    // One grid of columns x rows cells per page, row-major.
    std::unique_ptr<std::unique_ptr<TextCell[]>[]> textCells;
    // The pixel converters' lookup table for 16-bit sources: 512 entries.
    std::unique_ptr<std::uint32_t[]> blitterTable;
    PixelRoutines pixels{};
    GlyphRowCache glyphRows;
};

// The graphics screen now set, or null.
ScreenState* activeScreen();

// Sets screen mode `mode` (0: no graphics screen, text on the process console). Refuses modes
// outside 0..21 and the invalid modes 3-6 with error 1, leaving any screen as it is. When no
// display driver starts, or the fonts fail to decode, the screen is closed again, text stays on
// the process console and the result is error 1. When memory for the screen runs out, there is
// no screen, text stays on the process console and the result is error 4 (out of memory).
RuntimeErrorCode setScreenMode(std::int32_t mode, std::int32_t depth, std::int32_t pageCount,
                               std::int32_t flags, std::int32_t refreshRate);
// For tests: the mode set's allocations succeed `count` more times, then fail as when memory runs
// out; a negative count lets every allocation succeed again.
void failScreenAllocationsAfter(std::int32_t count);

// Closes a graphics screen without resetting the console's text view (run at process exit).
void closeScreenAtExit();

// The window title: the program file's name without directory, cut at its last full stop.
// Computed on the first call and kept for the process.
const std::string& screenTitle();
// The title rule applied to a path.
std::string titleFromProgramPath(std::string_view path);

// Pixel depth and colour mask that `setScreenMode` gives mode `mode` for a requested depth and
// flags value.
struct ScreenDepth {
    std::int32_t depth;
    std::uint32_t colourMask;
};
ScreenDepth screenDepthFor(std::int32_t mode, std::int32_t requestedDepth, std::int32_t flags);

// Sets the palette to the mode's default colours (nothing at depths above 8), telling the
// driver each entry.
void resetPalette(ScreenState& screen);

} // namespace ulo
