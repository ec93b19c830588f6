// The grid console: the text operations of every console, written once over a small device
// table. It owns the cursor and its packed result, the pending wrap (a print that fills the view's
// last cell parks the cursor there and scrolls only when more output follows), the clear modes,
// the queue of keys a device has taken in, waiting, printing through ttyPrint and line input
// through the line editor. A device only moves cells, keys and sound: the graphics screen, the
// Unix terminal, the Win32 console, pipes and the tests' own screens.
#pragma once

#include "console/console_hooks.hpp"
#include "console/keys.hpp"
#include "console/line_editor.hpp"
#include "console/print.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace ulo {

// A console's cursor, 0-based; pendingWrap while it is parked on the view's last cell.
struct GridCursor {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool pendingWrap = false;
};

struct GridConsole;

// What a console device does, each operation given the console it serves. Rows and columns are
// 0-based cells; a null slot says the device has nothing to do there (as noted at each slot).
// Every slot is called from the conversation's thread only, through the grid console, and never
// from two places at once: a device whose screen is drawn or whose keys are pushed by another
// thread (a window's) takes that thread's lock in `lock` and the grid holds it around drawing.
// writeCells, clearRows and textSize are required; every other slot may be null.
// No slot may block for long: waitForInput is the one place the conversation waits, and a device
// that cannot block there (a page that must get control back) yields there instead and may
// return early: a wait for a key then polls again, a sleep ends sooner.
struct ConsoleDevice {
    // Draws `count` bytes as characters from cell (x, y) to the right; they never pass the right
    // edge. False when the device refused them.
    bool (*writeCells)(GridConsole& console, std::int32_t x, std::int32_t y,
                       const std::uint8_t* bytes, std::size_t count) = nullptr;
    // Moves rows top..bottom up by `rows` and blanks those freed at the bottom. Null: the
    // device's text has no bottom, and nothing ever scrolls or parks.
    void (*scrollRows)(GridConsole& console, std::int32_t top, std::int32_t bottom,
                       std::int32_t rows) = nullptr;
    // Blanks rows top..bottom; `wholeScreen` when the clear is of everything the device shows.
    void (*clearRows)(GridConsole& console, std::int32_t top, std::int32_t bottom,
                      bool wholeScreen) = nullptr;
    // Clears the graphics viewport. `byDefault`: a default clear, which means the viewport only
    // while the program has set one of its own; false when it then cleared nothing. Null: there
    // is no graphics viewport, and clearing it does nothing.
    bool (*clearViewport)(GridConsole& console, bool byDefault) = nullptr;
    // Puts the cursor where console.cursor says, shown as console.visibility says, at once; the
    // device may move it to the nearest place it can show. Null: nothing to do at once.
    void (*placeCursor)(GridConsole& console) = nullptr;
    // Brings the device up to date (the drawing, the cursor, a new size) before Ulo looks for
    // keys or waits. Null: every change shows at once.
    void (*present)(GridConsole& console) = nullptr;
    // The text size in cells now.
    void (*textSize)(GridConsole& console, std::int32_t* columns, std::int32_t* rows) = nullptr;
    // Takes in the keys that have come, onto console.typed (or the end of input). Null: keys
    // reach the key buffer by themselves (a window's thread pushes them).
    void (*pollKeys)(GridConsole& console) = nullptr;
    // Waits up to `milliseconds` for input; it may end early for a request to end the program.
    // Null: a plain sleep.
    void (*waitForInput)(GridConsole& console, std::int32_t milliseconds) = nullptr;
    // Sounds the bell and returns at once. Null: the device has no bell.
    void (*bell)(GridConsole& console) = nullptr;
    // The lock shared with a thread that draws or pushes keys; true when this call took it.
    // Null: no other thread.
    bool (*lock)(GridConsole& console) = nullptr;
    void (*unlock)(GridConsole& console, bool took) = nullptr;
    // A text cursor is shown: setCursor reports its visibility, and a new text view keeps it
    // inside. Without one the visibility reads hidden and the cursor stays where it was.
    bool showsCursor = false;
};

// One console: its device and the state the grid keeps for it.
struct GridConsole {
    const ConsoleDevice* device = nullptr;
    GridCursor cursor{};
    std::int32_t visibility = CURSOR_SHOW;
    // Keys the device has taken in, waiting for room in the key buffer.
    std::deque<KeyCode> typed{};
};

// Starts `console` afresh on `device`: cursor home, shown, no keys waiting.
void restartGridConsole(GridConsole& console, const ConsoleDevice& device);

// The console's operations, as the ConsoleHooks slots of the same names.
void gridPrint(GridConsole& console, const std::uint8_t* bytes, std::size_t length,
               std::int32_t mask);
void gridPrintWide(GridConsole& console, const char32_t* text, std::size_t length,
                   std::int32_t mask);
void gridClear(GridConsole& console, std::uint32_t mode);
std::int32_t gridSetCursor(GridConsole& console, std::int32_t row, std::int32_t column,
                           std::int32_t visibility);
void gridGetCursor(GridConsole& console, std::int32_t* column, std::int32_t* row);
void gridTextSize(GridConsole& console, std::int32_t* columns, std::int32_t* rows);
void gridViewUpdate(GridConsole& console, std::int32_t top, std::int32_t bottom);
bool gridKeyAvailable(GridConsole& console);
// The next key code, 0 when none waits.
KeyCode gridReadKey(GridConsole& console);
void gridSleep(GridConsole& console, std::int32_t milliseconds);
KeyCode gridWaitKey(GridConsole& console);
// Takes up to `count` waiting character keys; extended keys are skipped.
RuntimeErrorCode gridReadString(GridConsole& console, std::string& text, std::int32_t count);

// The hook table of the console `console`: every slot the grid serves acts on it. The slots a
// device adds of its own (colours, the mouse, cells read back) stay empty here.
template <GridConsole& console>
inline constexpr ConsoleHooks GRID_CONSOLE_HOOKS = {
    .readKey = [] { return gridReadKey(console); },
    .keyAvailable = [] { return gridKeyAvailable(console); },
    .clear = [](std::uint32_t mode) { gridClear(console, mode); },
    .setCursor =
        [](std::int32_t row, std::int32_t column, std::int32_t visibility) {
            return gridSetCursor(console, row, column, visibility);
        },
    .getCursor = [](std::int32_t* column,
                    std::int32_t* row) { gridGetCursor(console, column, row); },
    .getTextSize = [](std::int32_t* columns,
                      std::int32_t* rows) { gridTextSize(console, columns, rows); },
    .printBuffer = [](const std::uint8_t* bytes, std::size_t length,
                      std::int32_t mask) { gridPrint(console, bytes, length, mask); },
    .viewUpdate = [](std::int32_t top,
                     std::int32_t bottom) { gridViewUpdate(console, top, bottom); },
    .inputLine = runInputLine,
    .sleep = [](std::int32_t milliseconds) { gridSleep(console, milliseconds); },

    .waitKey = [] { return gridWaitKey(console); },
    .getColumn = [] { return console.cursor.x + 1; },
    .getRow = [] { return console.cursor.y + 1; },
    .printBufferWide = [](const char32_t* text, std::size_t length,
                          std::int32_t mask) { gridPrintWide(console, text, length, mask); },
    .readString = [](std::string& text,
                     std::int32_t count) { return gridReadString(console, text, count); },
    .inputLineWide = runInputLineWide,
};

// The bell's tone, as every console that can sound one asks for it.
inline constexpr std::int32_t BELL_FREQUENCY = 1000;
inline constexpr std::int32_t BELL_MILLISECONDS = 250;

// The bell of the devices that sound a tone: the bell's tone through the beep in use, which
// returns at once (the platform plays it on another thread).
void soundBell(GridConsole& console);

using BeepFunction = void (*)(std::int32_t frequency, std::int32_t milliseconds);
// For tests: sends the bell's tone to `beep` instead of the platform's beep (null: the
// platform's again). Returns the beep in use before.
BeepFunction useBeep(BeepFunction beep);

} // namespace ulo
