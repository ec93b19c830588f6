// The page's canvas as the display driver. There is no window thread: the page's console device
// presents the dirty framebuffer rows whenever Ulo is about to look for keys or wait, which is
// when the window thread would have caught up with the drawing on the desktop.
#include "web/web_platform.hpp"

#include "screen/screen.hpp"
#include "screen/text_cells.hpp"

#include <cstring>
#include <emscripten.h>
#include <utility>

namespace ulo {
namespace {

// The only depth the page converts: 32-bit pixels, the depth Ulo sets.
constexpr std::int32_t PAGE_DEPTH = 32;

const char* pendingNotice = nullptr;

EM_JS(bool, pageOpenScreen, (std::int32_t width, std::int32_t height, const char* title),
      { return UloPage.openScreen(width, height, UTF8ToString(title)); });

EM_JS(void, pageShowRows,
      (const std::uint8_t* framebuffer, std::int32_t pitch, std::int32_t first, std::int32_t end),
      { UloPage.present(framebuffer, pitch, first, end); });

EM_JS(void, pageSetTitle, (const char* title), { document.title = UTF8ToString(title); });

std::int32_t openCanvas(const char* title, std::int32_t width, std::int32_t height,
                        std::int32_t depth, std::int32_t, std::int32_t) {
    if (depth != PAGE_DEPTH) {
        return -1;
    }
    return pageOpenScreen(width, height, title) ? 0 : -1;
}

// The notice goes on the empty line below the banner, without moving the cursor, so the line
// being edited stays where it is.
void showNotice(ScreenState& screen) {
    const char* text = std::exchange(pendingNotice, nullptr);
    constexpr std::int32_t NOTICE_ROW = 1;
    DirtySpan span;
    drawGlyphs(screen, span, 0, NOTICE_ROW, reinterpret_cast<const std::uint8_t*>(text),
               std::strlen(text));
    markDirty(screen, span);
}

} // namespace

void noteScreenNotice(const char* text) {
    pendingNotice = text;
}

void presentDirtyRows() {
    ScreenState* screen = activeScreen();
    if (screen == nullptr || screen->dirty == nullptr || screen->framebuffer == nullptr) {
        return;
    }
    if (pendingNotice != nullptr) {
        showNotice(*screen);
    }
    const std::int32_t rows = screen->height;
    std::int32_t row = 0;
    while (row < rows) {
        if (screen->dirty[static_cast<std::size_t>(row)] == 0) {
            ++row;
            continue;
        }
        const std::int32_t first = row;
        while (row < rows && screen->dirty[static_cast<std::size_t>(row)] != 0) {
            screen->dirty[static_cast<std::size_t>(row++)] = 0;
        }
        pageShowRows(screen->framebuffer, screen->pitch, first, row);
    }
}

const DisplayDriver WEB_DISPLAY_DRIVER = {
    .name = "Web",
    .init = openCanvas,
    .shutdown = presentDirtyRows,
    .setWindowTitle = pageSetTitle,
};

} // namespace ulo
