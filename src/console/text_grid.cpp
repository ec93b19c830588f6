#include "console/text_grid.hpp"

namespace ulo {
namespace {

constexpr int TEXT_MODE = 1;

void scrollBy(TtyTarget& target, int rows) {
    target.scroll(target, target.left, target.top, target.right, target.bottom, rows);
    target.y = target.bottom;
}

} // namespace

void printOnGrid(GridCursor& cursor, TtyTarget& target, const std::uint8_t* bytes,
                 std::size_t length) {
    const bool scrolls = target.bottom != -1;
    target.x = cursor.x;
    target.y = cursor.y;
    if (cursor.pendingWrap) {
        cursor.pendingWrap = false;
        target.x = target.left;
        ++target.y;
        if (scrolls && target.y > target.bottom) {
            scrollBy(target, target.y - target.bottom);
        }
    }
    ttyPrint(target, bytes, length, TEXT_MODE);
    if (scrolls && target.x == target.left && target.y == target.bottom + 1) {
        // The run filled the view's last cell: park there until more output comes.
        cursor.pendingWrap = true;
        target.x = target.right;
        target.y = target.bottom;
    } else if (scrolls && target.y > target.bottom) {
        scrollBy(target, target.y - target.bottom);
    }
    cursor.x = target.x;
    cursor.y = target.y;
}

KeyCode waitForKey(KeyCode (*take)(), void (*sleep)(std::int32_t milliseconds)) {
    for (;;) {
        if (const KeyCode code = take(); code != 0) {
            return code;
        }
        sleep(WAIT_KEY_INTERVAL_MS);
    }
}

} // namespace ulo
