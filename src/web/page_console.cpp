// The page's console: the graphics screen's text cells in the framebuffer, shown on the canvas
// before Ulo looks for keys or waits, and keys from the page's queue, taken in through the window
// procedure as the desktop's windows do. There is one thread: waiting yields to the page.
#include "web/web_platform.hpp"

#include "console/codepage437.hpp"
#include "console/keys.hpp"
#include "screen/graphics_console.hpp"
#include "screen/window_events.hpp"

#include <algorithm>
#include <emscripten.h>

namespace ulo {
namespace {

// A key event as the page queues it.
struct PageKey {
    std::int32_t scanCode;
    std::int32_t virtualKey;
    std::int32_t controlKeyState;
    std::int32_t character; // Unicode, 0 for none
    std::int32_t baseCharacter;
    std::int32_t unsentCharacter; // Enter, Tab, Backspace and Escape: code page 437
    std::int32_t text;            // the character input the key gave, Unicode, 0 for none
};

EM_JS(bool, pageTakeKey, (PageKey * key), { return UloPage.takeKey(key); });

EM_ASYNC_JS(void, pageWaitForKey, (std::int32_t milliseconds),
            { await UloPage.waitForKey(milliseconds); });

EM_JS(void, pageStartKeys, (), { UloPage.startKeys(); });

// Code page 437 for a Unicode character; 0 for those it lacks, which are dropped.
std::uint8_t toCodePage(std::int32_t character) {
    if (character <= 0) {
        return 0;
    }
    const int byte = unicodeToCp437(static_cast<char32_t>(character));
    return byte > 0 && byte < 256 ? static_cast<std::uint8_t>(byte) : 0;
}

void handlePageKey(const PageKey& key) {
    WindowEvent press{.kind = WindowEventKind::KeyDown};
    press.character = toCodePage(key.character);
    press.scanCode = static_cast<std::uint8_t>(key.scanCode);
    press.baseCharacter = toCodePage(key.baseCharacter);
    press.virtualKey = static_cast<std::uint16_t>(key.virtualKey);
    press.controlKeyState = static_cast<std::uint32_t>(key.controlKeyState);
    press.unsentCharacter = static_cast<std::uint8_t>(key.unsentCharacter);
    if (key.scanCode != 0) {
        handleWindowEvent(press);
    }
    // Pictures of control characters (code page 437's bytes below 32) are not typed.
    if (const std::uint8_t text = toCodePage(key.text); text >= 32) {
        handleWindowEvent(WindowEvent{.kind = WindowEventKind::Character, .code = text});
    }
}

// Takes in one key event when the key buffer is empty, so a burst of typing never overflows it.
bool takePageKey() {
    PageKey key{};
    if (!keyBufferEmpty() || !pageTakeKey(&key)) {
        return false;
    }
    handlePageKey(key);
    return true;
}

// In a page only a key can end what Ulo waits for (its waits are all for a key): the text size is
// fixed and no signal ends it. So the wait lasts until a key comes, up to a second, however short
// the poll asked for: a page woken 50 times a second for nothing costs several percent of a core.
constexpr std::int32_t IDLE_WAIT_MILLISECONDS = 1000;

void waitForPageInput(GridConsole&, std::int32_t milliseconds) {
    if (!keyBufferEmpty() || takePageKey()) {
        return;
    }
    pageWaitForKey(std::max(milliseconds, IDLE_WAIT_MILLISECONDS));
    takePageKey();
}

void presentCanvas(GridConsole&) {
    presentDirtyRows();
}

} // namespace

// The keys reach the key buffer only while Ulo waits, so no slot polls them.
const ConsoleDevice PAGE_CONSOLE_DEVICE = {
    .writeCells = drawGlyphRun,
    .scrollRows = scrollTextRows,
    .clearRows = clearTextRows,
    .clearViewport = clearGraphicsViewport,
    .present = presentCanvas,
    .textSize = graphicsTextSize,
    .waitForInput = waitForPageInput,
    .bell = soundBell,
    .lock = lockGraphics,
    .unlock = unlockGraphics,
};

void startPageKeys() {
    pageStartKeys();
}

} // namespace ulo
