// Text cells on the framebuffer: glyph runs, scrolling the text rows, filling cells, the dirty
// rows and the screen lock that every drawing operation of the main thread holds.
#pragma once

#include "screen/screen.hpp"

#include <cstddef>
#include <cstdint>

namespace ulo {

// Takes the driver's lock unless the screen already holds it; true when this call took it.
bool lockScreen(ScreenState& screen);
// Releases the driver's lock when `took` and the lock is held.
void unlockScreen(ScreenState& screen, bool took);

// Holds the screen lock for a scope; a lock that is already held is reused, and only the
// holder that took it releases it.
class ScreenLock {
public:
    explicit ScreenLock(ScreenState* screen)
        : screen_(screen), took_(screen != nullptr && lockScreen(*screen)) {}
    ~ScreenLock() {
        if (screen_ != nullptr) {
            unlockScreen(*screen_, took_);
        }
    }
    ScreenLock(const ScreenLock&) = delete;
    ScreenLock& operator=(const ScreenLock&) = delete;

private:
    ScreenState* screen_;
    bool took_;
};

// Chooses the put/get/fill/copy routines for the screen's depth, with the vector memory
// routines when the processor has vector units (recorded in vectorUnits).
void choosePixelRoutines(ScreenState& screen);

// Points the row table at the work page: drawing goes there.
void selectWorkPage(ScreenState& screen);
// True when the work page is the page on show.
bool workPageVisible(const ScreenState& screen);

// Widens `span` to cover pixel rows first .. end - 1.
void widenSpan(DirtySpan& span, std::int32_t first, std::int32_t end);

// Draws `count` glyphs from cell (column, row) to the right in the current colours, records them
// in the work page's cells and widens `span` by the cell row's pixel rows. Cells beyond the
// grid are not drawn.
void drawGlyphs(ScreenState& screen, DirtySpan& span, std::int32_t column, std::int32_t row,
                const std::uint8_t* bytes, std::size_t count);

// Scrolls text rows top..bottom (0-based, inclusive) up by `rows`: pixel rows move up, the
// freed rows are cleared to the background and the cells follow with blank rows.
void scrollText(ScreenState& screen, DirtySpan& span, std::int32_t left, std::int32_t top,
                std::int32_t right, std::int32_t bottom, std::int32_t rows);

// Sets cells x1 <= c < x2, y1 <= r < y2 of `page` to (code, foreground, background).
void fillTextCells(ScreenState& screen, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2, std::int32_t page, std::uint32_t code, std::uint32_t foreground,
                   std::uint32_t background);

// Fills `width` pixels from x of pixel rows first .. end - 1 with the background colour.
void fillPixelRows(ScreenState& screen, std::int32_t x, std::int32_t width, std::int32_t first,
                   std::int32_t end);

// Sets the dirty flags of the span's rows when the work page is on show.
void markDirty(ScreenState& screen, const DirtySpan& span);
// Sets every dirty flag (the whole screen is presented again).
void markAllDirty(ScreenState& screen);

} // namespace ulo
