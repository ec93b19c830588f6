// The control-character printer shared by every text screen: it turns a run of bytes into cursor
// moves, wrapped runs of glyphs and scrolls of a target.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ulo {

// What ttyPrint works on. Borders and cursor are 0-based cell coordinates, borders inclusive;
// bottom -1 means the text never scrolls.
struct TtyTarget {
    void* context;
    // Scrolls rows top..bottom (columns left..right) up by `rows`, leaving the cursor row at
    // bottom.
    void (*scroll)(TtyTarget& target, int left, int top, int right, int bottom, int rows);
    // Draws `count` bytes as glyphs at the cursor; they never pass the right border. 1 on success.
    int (*write)(TtyTarget& target, const std::uint8_t* bytes, std::size_t count);
    // Sounds the bell; may be null.
    void (*beep)(TtyTarget& target);
    int left;
    int top;
    int right;
    int bottom;
    int x;
    int y;
};

inline constexpr std::size_t TTY_BUFFER_SIZE = 256;

// Prints `length` bytes: BEL rings, BS moves left (never past the left border, erasing nothing),
// TAB outputs spaces to the next multiple of 8 from the left border, LF moves down (and, with
// textMode, to the left border), CR moves to the left border, and every other byte is drawn as
// its glyph. Output wraps at the right border; scrolling is lazy: a run that fills the last
// cell of the last row leaves the cursor below it, and the scroll happens with the next output.
void ttyPrint(TtyTarget& target, const std::uint8_t* bytes, std::size_t length, int textMode);

// Writes printable bytes piece by piece at the cursor, wrapping at the right border and
// scrolling first when the cursor stands below the bottom border.
void ttyWriteRun(TtyTarget& target, const std::uint8_t* bytes, std::size_t count);

} // namespace ulo
