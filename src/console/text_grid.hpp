// What every text console shares, whatever its device: printing onto a grid of cells with the
// pending wrap (a run that fills the view's last cell parks the cursor there and scrolls only
// when more output follows), the packed cursor result, and waiting for a key.
#pragma once

#include "console/keys.hpp"
#include "console/tty_print.hpp"

#include <cstddef>
#include <cstdint>

namespace ulo {

// A console's cursor, 0-based; pendingWrap while it is parked on the view's last cell.
struct GridCursor {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool pendingWrap = false;
};

// Prints `length` bytes at the cursor onto `target`, whose borders the caller has set (bottom -1:
// nothing ever scrolls or parks), and leaves the cursor where the output ends.
void printOnGrid(GridCursor& cursor, TtyTarget& target, const std::uint8_t* bytes,
                 std::size_t length);

// The result of setCursor: column (1-based) in bits 0-7, row in bits 8-15, visibility in bit 16.
constexpr std::int32_t packedCursor(const GridCursor& cursor, std::int32_t visibility) {
    return ((cursor.x + 1) & 0xFF) | (((cursor.y + 1) & 0xFF) << 8) | (visibility << 16);
}

// How long waitKey sleeps between looks.
inline constexpr std::int32_t WAIT_KEY_INTERVAL_MS = 20;

// Waits for a key: `take` gives the next key code or 0, `sleep` waits on the console's input.
KeyCode waitForKey(KeyCode (*take)(), void (*sleep)(std::int32_t milliseconds));

} // namespace ulo
