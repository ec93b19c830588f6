#include "screen/graphics_console.hpp"

#include "console/keys.hpp"
#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "console/text_grid.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "screen/codepage437.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"

#include <chrono>
#include <string>
#include <thread>

namespace ulo {
namespace {

// The bell that BEL sounds, while printing goes on.
constexpr std::int32_t BELL_FREQUENCY = 1000;
constexpr std::int32_t BELL_MILLISECONDS = 250;

void graphicsBeep(TtyTarget&) {
    if (const auto beep = nativePlatform().beep) {
        beep(BELL_FREQUENCY, BELL_MILLISECONDS);
    }
}

void graphicsPrintBuffer(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr || ((mask & PRINT_FORCE_ADJUST) == 0 && length == 0)) {
        return;
    }
    selectWorkPage(*screen);
    const ScreenLock lock(screen);
    std::int32_t top = 1;
    std::int32_t bottom = screen->rows;
    getTextView(&top, &bottom);
    DirtySpan span;
    TtyTarget target{.context = &span,
                     .scroll = scrollTextRows,
                     .write = drawGlyphRun,
                     .beep = graphicsBeep,
                     .left = 0,
                     .top = top - 1,
                     .right = screen->columns - 1,
                     .bottom = bottom - 1,
                     .x = 0,
                     .y = 0};
    GridCursor cursor{screen->cursorColumn, screen->cursorRow,
                      (screen->lockFlags & PENDING_WRAP) != 0};
    printOnGrid(cursor, target, bytes, length);
    screen->lockFlags &= ~PENDING_WRAP;
    screen->lockFlags |= cursor.pendingWrap ? PENDING_WRAP : 0;
    screen->cursorColumn = cursor.x;
    screen->cursorRow = cursor.y;
    markDirty(*screen, span);
}

void centrePen(ScreenState& screen) {
    screen.penX = static_cast<float>(screen.viewportX + screen.viewportWidth / 2);
    screen.penY = static_cast<float>(screen.viewportY + screen.viewportHeight / 2);
}

void graphicsClear(std::uint32_t mode) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return;
    }
    selectWorkPage(*screen);
    const ScreenLock lock(screen);
    std::int32_t top = 1;
    std::int32_t bottom = screen->rows;
    getTextView(&top, &bottom);
    if (mode == CLEAR_DEFAULT) {
        if ((screen->lockFlags & VIEWPORT_SET) != 0) {
            mode = CLEAR_GRAPHICS_VIEWPORT;
        } else if (top == 1 && bottom == screen->rows) {
            mode = CLEAR_ALL;
        } else {
            mode = CLEAR_TEXT_VIEW;
        }
    }
    const std::int32_t glyphHeight = screen->font.height;
    DirtySpan span;
    if (mode == CLEAR_ALL) {
        fillPixelRows(*screen, 0, screen->width, 0, screen->height);
        widenSpan(span, 0, screen->height);
        markDirty(*screen, span);
        centrePen(*screen);
        fillTextCells(*screen, 0, 0, screen->columns, screen->rows, screen->workPage, ' ',
                      screen->foreground, screen->background);
        setCursor(top, 1, CURSOR_KEEP);
    } else if (mode == CLEAR_TEXT_VIEW) {
        fillPixelRows(*screen, 0, screen->width, (top - 1) * glyphHeight, bottom * glyphHeight);
        widenSpan(span, (top - 1) * glyphHeight, bottom * glyphHeight);
        markDirty(*screen, span);
        fillTextCells(*screen, 0, top - 1, screen->columns, bottom, screen->workPage, ' ',
                      screen->foreground, screen->background);
        setCursor(top, 1, CURSOR_KEEP);
    } else {
        fillPixelRows(*screen, screen->viewportX, screen->viewportWidth, screen->viewportY,
                      screen->viewportY + screen->viewportHeight);
        widenSpan(span, screen->viewportY, screen->viewportY + screen->viewportHeight);
        markDirty(*screen, span);
        centrePen(*screen);
    }
}

std::int32_t graphicsSetCursor(std::int32_t row, std::int32_t column, std::int32_t) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return 0;
    }
    screen->lockFlags &= ~PENDING_WRAP;
    if (row != 0) {
        screen->cursorRow = row - 1;
    }
    if (column != 0) {
        screen->cursorColumn = column - 1;
    }
    // No text cursor is drawn here, so the visibility bit is always clear.
    return packedCursor({screen->cursorColumn, screen->cursorRow}, 0);
}

void graphicsGetCursor(std::int32_t* column, std::int32_t* row) {
    const ScreenState* screen = activeScreen();
    *column = screen != nullptr ? screen->cursorColumn + 1 : 1;
    *row = screen != nullptr ? screen->cursorRow + 1 : 1;
}

std::int32_t graphicsGetColumn() {
    const ScreenState* screen = activeScreen();
    return screen != nullptr ? screen->cursorColumn + 1 : 1;
}

std::int32_t graphicsGetRow() {
    const ScreenState* screen = activeScreen();
    return screen != nullptr ? screen->cursorRow + 1 : 1;
}

void graphicsGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    const ScreenState* screen = activeScreen();
    *columns = screen != nullptr ? screen->columns : 80;
    *rows = screen != nullptr ? screen->rows : 25;
}

void graphicsSetColor(std::uint32_t foreground, std::uint32_t background) {
    if (ScreenState* screen = activeScreen()) {
        screen->foreground = foreground & screen->colourMask;
        screen->background = background & screen->colourMask;
    }
}

void graphicsSetTextWidth(std::int32_t, std::int32_t) {
    // The text grid follows the mode; it cannot be resized here.
}

// A request from outside to end (an ending signal on POSIX) ends the program through its normal
// exit the next time keys are looked for, as the process console does; the window thread wakes a
// reader that waits.
void endOnRequest() {
    if (const auto pendingEnd = nativePlatform().pendingEnd) {
        if (const std::int32_t code = pendingEnd(); code != 0) {
            terminate(code);
        }
    }
}

// Takes one key code from the key buffer under the screen lock.
KeyCode takeKey() {
    const ScreenLock lock(activeScreen());
    return popKey();
}

bool graphicsKeyAvailable() {
    endOnRequest();
    const ScreenLock lock(activeScreen());
    return !keyBufferEmpty();
}

KeyString graphicsReadKey() {
    return keyStringFor(takeKey());
}

// Sleeps until the time is up or a key arrives, whichever comes first: the window thread pushes
// keys, so the line editor answers a key as soon as the window has it.
void graphicsSleep(std::int32_t milliseconds) {
    std::uint64_t seen = 0;
    {
        const ScreenLock lock(activeScreen());
        if (!keyBufferEmpty()) {
            return;
        }
        seen = keyPushCount();
    }
    waitForKeyPush(seen, milliseconds);
    endOnRequest();
}

std::int32_t graphicsWaitKey() {
    return waitForKey(takeKey, graphicsSleep);
}

void graphicsPrintBufferWide(const char32_t* text, std::size_t length, std::int32_t mask) {
    std::string bytes;
    bytes.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const int byte = unicodeToCp437(text[i]);
        bytes.push_back(static_cast<char>(byte >= 0 ? byte : '?'));
    }
    graphicsPrintBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), mask);
}

// Takes up to `count` waiting character keys; extended keys are skipped.
RuntimeErrorCode graphicsReadString(std::string& text, std::int32_t count) {
    text.clear();
    while (static_cast<std::int32_t>(text.size()) < count) {
        const KeyCode code = takeKey();
        if (code == 0) {
            break;
        }
        if (code < 256) {
            text.push_back(static_cast<char>(code));
        }
    }
    return ERR_NONE;
}

std::int32_t graphicsKeyState(std::int32_t scanCode) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr || scanCode < 0 || scanCode >= 128) {
        return 0;
    }
    const ScreenLock lock(screen);
    return screen->keyState[static_cast<std::size_t>(scanCode)];
}

std::int32_t graphicsReadMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                               std::int32_t* buttons) {
    const ScreenState* screen = activeScreen();
    if (screen == nullptr || screen->driver == nullptr || screen->driver->getMouse == nullptr) {
        return -1;
    }
    return screen->driver->getMouse(x, y, wheel, buttons);
}

void graphicsPlaceMouse(std::int32_t x, std::int32_t y, std::int32_t pointer) {
    const ScreenState* screen = activeScreen();
    if (screen != nullptr && screen->driver != nullptr && screen->driver->setMouse != nullptr) {
        screen->driver->setMouse(x, y, pointer);
    }
}

std::int32_t graphicsPortIn(std::int32_t) {
    return 0; // no hardware ports behind a window
}
void graphicsPortOut(std::int32_t, std::int32_t) {}

void graphicsViewUpdate(std::int32_t, std::int32_t) {
    // The view is read afresh by every print and clear; nothing to update.
}

RuntimeErrorCode graphicsInputLine(const std::string_view* prompt, std::string& destination,
                                   std::int32_t destinationLength, std::int32_t fillRemainder,
                                   std::int32_t addQuestion, std::int32_t addNewline) {
    return runInputLine(prompt, destination, destinationLength, fillRemainder, addQuestion,
                        addNewline);
}

RuntimeErrorCode graphicsInputLineWide(const std::u32string_view* prompt,
                                       std::u32string& destination, std::int32_t destinationLength,
                                       std::int32_t fillRemainder, std::int32_t addQuestion,
                                       std::int32_t addNewline) {
    std::string narrowPrompt;
    if (prompt != nullptr) {
        for (const char32_t c : *prompt) {
            const int byte = unicodeToCp437(c);
            narrowPrompt.push_back(static_cast<char>(byte >= 0 ? byte : '?'));
        }
    }
    const std::string_view promptView = narrowPrompt;
    std::string line;
    const RuntimeErrorCode result =
        runInputLine(prompt != nullptr ? &promptView : nullptr, line, destinationLength,
                     fillRemainder, addQuestion, addNewline);
    if (result == ERR_NONE) {
        destination.clear();
        for (const char c : line) {
            destination.push_back(cp437ToUnicode(static_cast<std::uint8_t>(c)));
        }
    }
    return result;
}

std::int32_t graphicsReadCell(std::int32_t column, std::int32_t row, std::uint32_t* foreground,
                              std::uint32_t* background) {
    const ScreenState* screen = activeScreen();
    if (screen == nullptr || column < 1 || column > screen->columns || row < 1 ||
        row > screen->rows) {
        return -1;
    }
    const TextCell& cell =
        screen->textCells[static_cast<std::size_t>(screen->workPage)]
                         [static_cast<std::size_t>((row - 1) * screen->columns + column - 1)];
    *foreground = cell.foreground;
    *background = cell.background;
    return static_cast<std::int32_t>(cell.code);
}

constexpr ConsoleHooks GRAPHICS_HOOKS = {
    .readKey = graphicsReadKey,
    .keyAvailable = graphicsKeyAvailable,
    .clear = graphicsClear,
    .setCursor = graphicsSetCursor,
    .getCursor = graphicsGetCursor,
    .getTextSize = graphicsGetTextSize,
    .printBuffer = graphicsPrintBuffer,
    .viewUpdate = graphicsViewUpdate,
    .inputLine = graphicsInputLine,
    .sleep = graphicsSleep,

    .waitKey = graphicsWaitKey,
    .setColor = graphicsSetColor,
    .setTextWidth = graphicsSetTextWidth,
    .getColumn = graphicsGetColumn,
    .getRow = graphicsGetRow,
    .printBufferWide = graphicsPrintBufferWide,
    .readString = graphicsReadString,
    .keyState = graphicsKeyState,
    .readMouse = graphicsReadMouse,
    .placeMouse = graphicsPlaceMouse,
    .portIn = graphicsPortIn,
    .portOut = graphicsPortOut,
    .inputLineWide = graphicsInputLineWide,
    .readCell = graphicsReadCell,
};

} // namespace

const ConsoleHooks& graphicsConsoleHooks() {
    return GRAPHICS_HOOKS;
}

int drawGlyphRun(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    if (ScreenState* screen = activeScreen()) {
        drawGlyphs(*screen, *static_cast<DirtySpan*>(target.context), target.x, target.y, bytes,
                   count);
    }
    return 1;
}

void scrollTextRows(TtyTarget& target, int left, int top, int right, int bottom, int rows) {
    if (ScreenState* screen = activeScreen()) {
        scrollText(*screen, *static_cast<DirtySpan*>(target.context), left, top, right, bottom,
                   rows);
    }
    target.y = bottom;
}

} // namespace ulo
