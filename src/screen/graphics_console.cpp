#include "screen/graphics_console.hpp"

#include "console/keys.hpp"
#include "console/print.hpp"
#include "runtime/errors.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"

namespace ulo {
namespace {

GridConsole graphicsGrid;
// The device given by useGraphicsDevice; null: GRAPHICS_DEVICE.
const ConsoleDevice* replacedDevice = nullptr;

// Every drawing marks its rows dirty at once: the lock is held, so the window's thread presents
// them only after the whole run.
void markSpan(ScreenState& screen, std::int32_t first, std::int32_t end) {
    DirtySpan span;
    widenSpan(span, first, end);
    markDirty(screen, span);
}

void centrePen(ScreenState& screen) {
    screen.penX = static_cast<float>(screen.viewportX + screen.viewportWidth / 2);
    screen.penY = static_cast<float>(screen.viewportY + screen.viewportHeight / 2);
}

// Sleeps until the time is up or a key arrives, whichever comes first: the window's thread pushes
// keys, so the line editor answers a key as soon as the window has it.
void waitForKeyPushed(GridConsole&, std::int32_t milliseconds) {
    std::uint64_t seen = 0;
    {
        const ScreenLock lock(activeScreen());
        if (!keyBufferEmpty()) {
            return;
        }
        seen = keyPushCount();
    }
    waitForKeyPush(seen, milliseconds);
}

constexpr ConsoleDevice GRAPHICS_DEVICE = {
    .writeCells = drawGlyphRun,
    .scrollRows = scrollTextRows,
    .clearRows = clearTextRows,
    .clearViewport = clearGraphicsViewport,
    .textSize = graphicsTextSize,
    .waitForInput = waitForKeyPushed, // the window's thread pushes keys, and wakes it
    .bell = soundBell,
    .lock = lockGraphics, // shared with the window's thread, which presents
    .unlock = unlockGraphics,
};

// The slots only the graphics screen serves; kept, as nothing in Ulo calls them.

void graphicsSetColor(std::uint32_t foreground, std::uint32_t background) {
    if (ScreenState* screen = activeScreen()) {
        screen->foreground = foreground & screen->colourMask;
        screen->background = background & screen->colourMask;
    }
}

void graphicsSetTextWidth(std::int32_t, std::int32_t) {
    // The text grid follows the mode; it cannot be resized here.
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

constexpr ConsoleHooks withGraphicsSlots(ConsoleHooks hooks) {
    hooks.setColor = graphicsSetColor;
    hooks.setTextWidth = graphicsSetTextWidth;
    hooks.keyState = graphicsKeyState;
    hooks.readMouse = graphicsReadMouse;
    hooks.placeMouse = graphicsPlaceMouse;
    hooks.portIn = graphicsPortIn;
    hooks.portOut = graphicsPortOut;
    hooks.readCell = graphicsReadCell;
    return hooks;
}
constexpr ConsoleHooks GRAPHICS_HOOKS = withGraphicsSlots(GRID_CONSOLE_HOOKS<graphicsGrid>);

} // namespace

const ConsoleHooks& startGraphicsConsole() {
    restartGridConsole(graphicsGrid, replacedDevice != nullptr ? *replacedDevice : GRAPHICS_DEVICE);
    return GRAPHICS_HOOKS;
}

void useGraphicsDevice(const ConsoleDevice* device) {
    replacedDevice = device;
}

// Drawing goes to the work page, under the screen lock.
bool lockGraphics(GridConsole&) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return false;
    }
    selectWorkPage(*screen);
    return lockScreen(*screen);
}

void unlockGraphics(GridConsole&, bool took) {
    if (ScreenState* screen = activeScreen()) {
        unlockScreen(*screen, took);
    }
}

bool drawGlyphRun(GridConsole&, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                  std::size_t count) {
    if (ScreenState* screen = activeScreen()) {
        DirtySpan span;
        drawGlyphs(*screen, span, x, y, bytes, count);
        markDirty(*screen, span);
    }
    return true;
}

void scrollTextRows(GridConsole&, std::int32_t top, std::int32_t bottom, std::int32_t rows) {
    if (ScreenState* screen = activeScreen()) {
        DirtySpan span;
        scrollText(*screen, span, 0, top, screen->columns - 1, bottom, rows);
        markDirty(*screen, span);
    }
}

void clearTextRows(GridConsole&, std::int32_t top, std::int32_t bottom, bool wholeScreen) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return;
    }
    // The whole screen is every pixel of the page, and the graphics pen goes back to the middle.
    const std::int32_t first = wholeScreen ? 0 : top * screen->font.height;
    const std::int32_t end = wholeScreen ? screen->height : (bottom + 1) * screen->font.height;
    fillPixelRows(*screen, 0, screen->width, first, end);
    markSpan(*screen, first, end);
    if (wholeScreen) {
        centrePen(*screen);
    }
    fillTextCells(*screen, 0, top, screen->columns, bottom + 1, screen->workPage, ' ',
                  screen->foreground, screen->background);
}

bool clearGraphicsViewport(GridConsole&, bool byDefault) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr || (byDefault && (screen->lockFlags & VIEWPORT_SET) == 0)) {
        return false;
    }
    fillPixelRows(*screen, screen->viewportX, screen->viewportWidth, screen->viewportY,
                  screen->viewportY + screen->viewportHeight);
    markSpan(*screen, screen->viewportY, screen->viewportY + screen->viewportHeight);
    centrePen(*screen);
    return true;
}

void graphicsTextSize(GridConsole&, std::int32_t* columns, std::int32_t* rows) {
    const ScreenState* screen = activeScreen();
    *columns = screen != nullptr ? screen->columns : 80;
    *rows = screen != nullptr ? screen->rows : 25;
}

} // namespace ulo
