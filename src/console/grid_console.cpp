#include "console/grid_console.hpp"

#include "console/codepage437.hpp"
#include "console/tty_print.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace ulo {
namespace {

// The console prints with LF as CR LF.
constexpr int TEXT_MODE = 1;
// How long waitKey sleeps between looks.
constexpr std::int32_t WAIT_KEY_INTERVAL_MS = 20;

BeepFunction replacedBeep = nullptr;

// Holds the device's lock, where it has one, for a scope; a lock already held is reused.
class DeviceLock {
public:
    explicit DeviceLock(GridConsole& console)
        : console_(console),
          took_(console.device->lock != nullptr && console.device->lock(console)) {}
    ~DeviceLock() {
        if (console_.device->unlock != nullptr) {
            console_.device->unlock(console_, took_);
        }
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    GridConsole& console_;
    bool took_;
};

GridConsole& consoleOf(TtyTarget& target) {
    return *static_cast<GridConsole*>(target.context);
}

int targetWrite(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    GridConsole& console = consoleOf(target);
    return console.device->writeCells(console, target.x, target.y, bytes, count) ? 1 : 0;
}

void targetScroll(TtyTarget& target, int, int top, int, int bottom, int rows) {
    GridConsole& console = consoleOf(target);
    console.device->scrollRows(console, top, bottom, rows);
    target.y = bottom;
}

void targetBell(TtyTarget& target) {
    GridConsole& console = consoleOf(target);
    if (console.device->bell != nullptr) {
        console.device->bell(console);
    }
}

void scrollBy(TtyTarget& target, int rows) {
    target.scroll(target, target.left, target.top, target.right, target.bottom, rows);
}

// Prints at the cursor onto `target`, whose borders are set (bottom -1: nothing ever scrolls or
// parks), and leaves the cursor where the output ends.
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

void placeCursor(GridConsole& console) {
    if (console.device->placeCursor != nullptr) {
        console.device->placeCursor(console);
    }
}

void present(GridConsole& console) {
    if (console.device->present != nullptr) {
        console.device->present(console);
    }
}

// The result of setCursor: column (1-based) in bits 0-7, row in bits 8-15, visibility in bit 16.
constexpr std::int32_t packedCursor(const GridCursor& cursor, std::int32_t visibility) {
    return ((cursor.x + 1) & 0xFF) | (((cursor.y + 1) & 0xFF) << 8) | (visibility << 16);
}

} // namespace

void restartGridConsole(GridConsole& console, const ConsoleDevice& device) {
    console = GridConsole{.device = &device};
}

void gridPrint(GridConsole& console, const std::uint8_t* bytes, std::size_t length,
               std::int32_t mask) {
    if (length == 0 && (mask & PRINT_FORCE_ADJUST) == 0) {
        return;
    }
    const DeviceLock lock(console);
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    console.device->textSize(console, &columns, &rows);
    std::int32_t top = 1;
    std::int32_t bottom = rows;
    getTextView(&top, &bottom);
    TtyTarget target{.context = &console,
                     .scroll = targetScroll,
                     .write = targetWrite,
                     .beep = targetBell,
                     .left = 0,
                     .top = top - 1,
                     .right = columns - 1,
                     .bottom = console.device->scrollRows != nullptr ? bottom - 1 : -1,
                     .x = 0,
                     .y = 0};
    printOnGrid(console.cursor, target, bytes, length);
    placeCursor(console);
}

void gridPrintWide(GridConsole& console, const char32_t* text, std::size_t length,
                   std::int32_t mask) {
    const std::string bytes = unicodeTextToCp437(std::u32string_view(text, length));
    gridPrint(console, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), mask);
}

void gridClear(GridConsole& console, std::uint32_t mode) {
    const DeviceLock lock(console);
    const ConsoleDevice& device = *console.device;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    device.textSize(console, &columns, &rows);
    std::int32_t top = 1;
    std::int32_t bottom = rows;
    getTextView(&top, &bottom);
    if (mode == CLEAR_DEFAULT) {
        if (device.clearViewport != nullptr && device.clearViewport(console, true)) {
            return;
        }
        mode = top == 1 && bottom == rows ? CLEAR_ALL : CLEAR_TEXT_VIEW;
    }
    if (mode == CLEAR_ALL) {
        device.clearRows(console, 0, rows - 1, true);
    } else if (mode == CLEAR_TEXT_VIEW) {
        device.clearRows(console, top - 1, bottom - 1, false);
    } else {
        // Any other mode is the graphics viewport's; the text and its cursor stay.
        if (device.clearViewport != nullptr) {
            device.clearViewport(console, false);
        }
        return;
    }
    gridSetCursor(console, top, 1, CURSOR_KEEP);
}

std::int32_t gridSetCursor(GridConsole& console, std::int32_t row, std::int32_t column,
                           std::int32_t visibility) {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    console.device->textSize(console, &columns, &rows);
    console.cursor.pendingWrap = false;
    if (row != 0) {
        console.cursor.y = std::clamp(row - 1, 0, rows - 1);
    }
    if (column != 0) {
        console.cursor.x = std::clamp(column - 1, 0, columns - 1);
    }
    if (visibility != CURSOR_KEEP) {
        console.visibility = visibility != 0 ? CURSOR_SHOW : CURSOR_HIDE;
    }
    placeCursor(console);
    return packedCursor(console.cursor,
                        console.device->showsCursor ? console.visibility : CURSOR_HIDE);
}

void gridGetCursor(GridConsole& console, std::int32_t* column, std::int32_t* row) {
    *column = console.cursor.x + 1;
    *row = console.cursor.y + 1;
}

void gridTextSize(GridConsole& console, std::int32_t* columns, std::int32_t* rows) {
    console.device->textSize(console, columns, rows);
}

void gridViewUpdate(GridConsole& console, std::int32_t top, std::int32_t bottom) {
    if (console.device->showsCursor) {
        console.cursor.y = std::clamp(console.cursor.y, top - 1, bottom - 1);
        placeCursor(console);
    }
}

bool gridKeyAvailable(GridConsole& console) {
    endIfRequested();
    present(console);
    const DeviceLock lock(console);
    if (!keyBufferEmpty()) {
        return true;
    }
    if (console.device->pollKeys != nullptr) {
        console.device->pollKeys(console);
    }
    if (console.typed.empty()) {
        return false;
    }
    pushKey(console.typed.front());
    console.typed.pop_front();
    return true;
}

KeyCode gridReadKey(GridConsole& console) {
    if (!gridKeyAvailable(console)) {
        return 0;
    }
    const DeviceLock lock(console);
    return popKey();
}

void gridSleep(GridConsole& console, std::int32_t milliseconds) {
    present(console);
    if (console.device->waitForInput != nullptr) {
        console.device->waitForInput(console, milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    endIfRequested();
}

KeyCode gridWaitKey(GridConsole& console) {
    for (;;) {
        if (const KeyCode code = gridReadKey(console); code != 0) {
            return code;
        }
        gridSleep(console, WAIT_KEY_INTERVAL_MS);
    }
}

RuntimeErrorCode gridReadString(GridConsole& console, std::string& text, std::int32_t count) {
    text.clear();
    while (static_cast<std::int32_t>(text.size()) < count) {
        const KeyCode code = gridReadKey(console);
        if (code == 0) {
            break;
        }
        if (code < 256) {
            text.push_back(static_cast<char>(code));
        }
    }
    return ERR_NONE;
}

void soundBell(GridConsole&) {
    const BeepFunction beep = replacedBeep != nullptr ? replacedBeep : nativePlatform().beep;
    if (beep != nullptr) {
        beep(BELL_FREQUENCY, BELL_MILLISECONDS);
    }
}

BeepFunction useBeep(BeepFunction beep) {
    const BeepFunction previous = replacedBeep;
    replacedBeep = beep;
    return previous;
}

} // namespace ulo
