#include "screen/screen.hpp"

#include "console/console_hooks.hpp"
#include "console/print.hpp"
#include "runtime/platform.hpp"
#include "screen/graphics_console.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_thread.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <span>

namespace ulo {
namespace {

constexpr std::size_t PALETTE_ENTRIES = 256;
constexpr std::size_t COLOUR_MAP_ENTRIES = 16;
constexpr std::size_t BLITTER_TABLE_ENTRIES = 512;

std::unique_ptr<ScreenState> screenOwner;
// Allocations left before they fail (failScreenAllocationsAfter); negative: none fails.
std::int32_t allocationsLeft = -1;

bool allocationRefused() {
    if (allocationsLeft < 0) {
        return false;
    }
    if (allocationsLeft == 0) {
        return true;
    }
    --allocationsLeft;
    return false;
}

template <typename T>
std::unique_ptr<T[]> allocateZeroed(std::size_t count) {
    if (allocationRefused()) {
        return nullptr;
    }
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Frees the screen after its driver has shut down.
void tearDownScreen() {
    if (!screenOwner) {
        return;
    }
    if (screenOwner->driver != nullptr && screenOwner->driver->shutdown != nullptr) {
        screenOwner->driver->shutdown();
    }
    screenOwner.reset();
}

// Makes the ScreenState with every buffer of the mode; null when memory runs out.
std::unique_ptr<ScreenState> buildScreen(std::int32_t mode, const ModeInfo& info,
                                         std::int32_t requestedDepth, std::int32_t pageCount,
                                         std::int32_t flags) {
    std::unique_ptr<ScreenState> screen(allocationRefused() ? nullptr
                                                            : new (std::nothrow) ScreenState{});
    if (!screen) {
        return nullptr;
    }
    const ScreenDepth depth = screenDepthFor(mode, requestedDepth, flags);
    screen->mode = mode;
    screen->width = info.width;
    screen->height = info.height;
    screen->depth = depth.depth;
    screen->colourMask = depth.colourMask;
    screen->defaultPalette = info.defaultPalette;
    screen->scanlineSize = info.scanlineSize;
    screen->columns = info.columns;
    screen->rows = info.rows;
    screen->bytesPerPixel = (depth.depth + 7) / 8;
    screen->pitch = info.width * screen->bytesPerPixel;
    screen->drawPitch = screen->pitch;
    screen->pageCount = pageCount;

    const auto pages = static_cast<std::size_t>(pageCount);
    const auto pageBytes =
        static_cast<std::size_t>(info.height) * static_cast<std::size_t>(screen->pitch);
    const auto cells = static_cast<std::size_t>(info.columns) * static_cast<std::size_t>(info.rows);
    screen->pages = allocateZeroed<PageBytes>(pages);
    screen->textCells = allocateZeroed<std::unique_ptr<TextCell[]>>(pages);
    if (!screen->pages || !screen->textCells) {
        return nullptr;
    }
    for (std::size_t page = 0; page < pages; ++page) {
        if (!allocationRefused()) {
            screen->pages[page].reset(static_cast<std::uint8_t*>(std::calloc(pageBytes, 1)));
        }
        screen->textCells[page] = allocateZeroed<TextCell>(cells);
        if (!screen->pages[page] || !screen->textCells[page]) {
            return nullptr;
        }
    }
    screen->framebuffer = screen->pages[0].get();
    screen->rowTable = allocateZeroed<std::uint8_t*>(static_cast<std::size_t>(info.height));
    screen->dirty = allocateZeroed<std::uint8_t>(static_cast<std::size_t>(info.height) *
                                                 static_cast<std::size_t>(info.scanlineSize));
    screen->palette = allocateZeroed<std::uint32_t>(PALETTE_ENTRIES);
    screen->devicePalette = allocateZeroed<std::uint32_t>(PALETTE_ENTRIES);
    screen->colourMap = allocateZeroed<std::uint8_t>(COLOUR_MAP_ENTRIES);
    screen->keyState = allocateZeroed<std::uint8_t>(KEY_STATE_SIZE);
    screen->blitterTable = allocateZeroed<std::uint32_t>(BLITTER_TABLE_ENTRIES);
    if (!screen->rowTable || !screen->dirty || !screen->palette || !screen->devicePalette ||
        !screen->colourMap || !screen->keyState || !screen->blitterTable) {
        return nullptr;
    }
    for (std::int32_t y = 0; y < info.height; ++y) {
        screen->rowTable[static_cast<std::size_t>(y)] =
            screen->framebuffer + static_cast<std::ptrdiff_t>(y) * screen->pitch;
    }
    choosePixelRoutines(*screen);
    screen->font = fontOfHeight(info.font);
    return screen;
}

// Tries `driver` with the requested refresh rate, then with 0; shuts it down after each failed
// attempt.
bool startDriver(const DisplayDriver& driver, const ScreenState& screen, std::int32_t refreshRate,
                 std::int32_t flags) {
    for (const std::int32_t rate : {refreshRate, 0}) {
        if (driver.init != nullptr &&
            driver.init(screenTitle().c_str(), screen.width, screen.height * screen.scanlineSize,
                        screen.depth, rate, flags) == 0) {
            return true;
        }
        if (driver.shutdown != nullptr) {
            driver.shutdown();
        }
    }
    return false;
}

// One walk over the platform's driver list: the driver VXGFX names alone, or every driver; with
// the flags asked for, or with their full-screen bit flipped (so that a window is tried first
// windowed, then full screen).
struct DriverPass {
    bool namedOnly;
    bool otherPresentation;
};

// VXGFX naming a driver: that driver alone, then every driver, then it alone again, then every
// driver in the other presentation.
constexpr DriverPass NAMED_DRIVER_PASSES[] = {
    {.namedOnly = true, .otherPresentation = false},
    {.namedOnly = false, .otherPresentation = false},
    {.namedOnly = true, .otherPresentation = false},
    {.namedOnly = false, .otherPresentation = true},
};
// No driver named: every driver, then every driver in the other presentation.
constexpr DriverPass ANY_DRIVER_PASSES[] = {
    {.namedOnly = false, .otherPresentation = false},
    {.namedOnly = false, .otherPresentation = true},
};

const DisplayDriver* driverNamed(const DisplayDriverList& list, const char* name) {
    for (std::size_t i = 0; name != nullptr && i < list.count; ++i) {
        if (equalsIgnoringCase(list.drivers[i]->name, name)) {
            return list.drivers[i];
        }
    }
    return nullptr;
}

// A name that matches no driver is taken as no name, and said once: the user may have mistyped
// it.
void reportUnknownDriver(const DisplayDriverList& list, const char* name) {
    std::string names;
    for (std::size_t i = 0; i < list.count; ++i) {
        names += std::string(list.drivers[i]->name) + ", ";
    }
    std::fprintf(stderr, "ulo: VXGFX names no display driver (%s); the drivers are %snull\n", name,
                 names.c_str());
}

// The Null driver when asked for, else the first driver of the list to start, in the passes of
// the table that fits VXGFX.
const DisplayDriver* chooseDriver(const ScreenState& screen, std::int32_t refreshRate,
                                  std::int32_t flags) {
    if (flags == SCREEN_NULL) {
        return &NULL_DISPLAY_DRIVER;
    }
    const char* requested = std::getenv("VXGFX");
    if (requested != nullptr && equalsIgnoringCase(requested, "null")) {
        return &NULL_DISPLAY_DRIVER;
    }
    const DisplayDriverList list = displayDrivers();
    const DisplayDriver* named = driverNamed(list, requested);
    if (requested != nullptr && named == nullptr) {
        reportUnknownDriver(list, requested);
    }
    const std::span<const DriverPass> passes =
        named != nullptr ? std::span<const DriverPass>(NAMED_DRIVER_PASSES) : ANY_DRIVER_PASSES;
    for (const DriverPass& pass : passes) {
        const std::int32_t passFlags = pass.otherPresentation ? flags ^ SCREEN_FULLSCREEN : flags;
        for (std::size_t i = 0; i < list.count; ++i) {
            const DisplayDriver& driver = *list.drivers[i];
            if ((!pass.namedOnly || &driver == named) &&
                startDriver(driver, screen, refreshRate, passFlags)) {
                return &driver;
            }
        }
    }
    return nullptr;
}

// Default colours, whole-screen drawing regions and blank cells on every page.
void prepareText(ScreenState& screen) {
    screen.foreground = screen.depth >= 5 && screen.depth <= 8 ? 15u : screen.colourMask;
    screen.background = 0;
    screen.viewportX = 0;
    screen.viewportY = 0;
    screen.viewportWidth = screen.width;
    screen.viewportHeight = screen.height;
    screen.lockFlags &= ~VIEWPORT_SET;
    for (std::int32_t page = 0; page < screen.pageCount; ++page) {
        fillTextCells(screen, 0, 0, screen.columns, screen.rows, page, ' ', screen.foreground,
                      screen.background);
    }
}

} // namespace

ScreenState* activeScreen() {
    return screenOwner.get();
}

ScreenDepth screenDepthFor(std::int32_t mode, std::int32_t requestedDepth, std::int32_t flags) {
    std::int32_t depth = MODE_TABLE[static_cast<std::size_t>(mode)].depth;
    if (mode > 13) {
        switch (requestedDepth) {
        case 8:
        case 15:
        case 16:
        case 24:
        case 32:
            depth = requestedDepth;
            break;
        default:
            break;
        }
    }
    if (flags >= 0 && (flags & SCREEN_OPENGL) != 0 && depth < 16) {
        depth = 16;
    }
    if (depth == 15 || depth == 16) {
        return {16, 0xFFFFu};
    }
    if (depth == 24 || depth == 32) {
        return {32, 0xFFFFFFFFu};
    }
    return {depth, (1u << depth) - 1u};
}

void resetPalette(ScreenState& screen) {
    if (screen.depth > 8) {
        return;
    }
    const PaletteDesc colours = defaultPalette(screen.defaultPalette);
    for (std::int32_t i = 0; i < colours.count; ++i) {
        const std::uint8_t* rgb = colours.rgb + static_cast<std::ptrdiff_t>(i) * 3;
        const std::uint32_t entry = rgb[0] | rgb[1] << 8 | static_cast<std::uint32_t>(rgb[2]) << 16;
        screen.palette[static_cast<std::size_t>(i)] = entry;
        screen.devicePalette[static_cast<std::size_t>(i)] = entry;
        if (screen.driver != nullptr && screen.driver->setPalette != nullptr) {
            screen.driver->setPalette(i, rgb[0], rgb[1], rgb[2]);
        }
    }
}

std::string titleFromProgramPath(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    const std::size_t stop = name.rfind('.');
    if (stop != std::string_view::npos) {
        name = name.substr(0, stop);
    }
    return std::string(name);
}

const std::string& screenTitle() {
    static const std::string title = titleFromProgramPath(nativePlatform().programFilePath());
    return title;
}

RuntimeErrorCode setScreenMode(std::int32_t mode, std::int32_t depth, std::int32_t pageCount,
                               std::int32_t flags, std::int32_t refreshRate) {
    if (mode < 0 || mode > MAX_SCREEN_MODE) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    const ModeInfo& info = MODE_TABLE[static_cast<std::size_t>(mode)];
    if (mode != 0 && info.width < 0) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    pageCount = std::max(pageCount, 1);
    tearDownScreen();

    bool failed = false;
    if (mode == 0) {
        clearConsoleHooks();
    } else {
        installConsoleHooks(startGraphicsConsole());
        screenOwner = buildScreen(mode, info, depth, pageCount, flags);
        if (!screenOwner) {
            // Out of memory: no screen, and text goes on to the process console.
            clearConsoleHooks();
            return setErrorCode(ERR_OUT_OF_MEMORY);
        }
        screenTitle();
        ScreenState& screen = *screenOwner;
        // Fonts that fail to decode would draw every glyph blank: such a screen is not shown.
        const DisplayDriver* driver =
            expandResourcesOnce() ? chooseDriver(screen, refreshRate, flags) : nullptr;
        if (driver == nullptr) {
            closeScreenAtExit();
            failed = true;
            // A desktop was there but no window opened: say why before the console takes over.
            if (const std::string why = takeWindowFailure(); !why.empty()) {
                std::fprintf(stderr, "ulo: no window (%s); talking through the console\n",
                             why.c_str());
            }
        } else {
            // Why attempts before this driver's failed no longer matters.
            takeWindowFailure();
            // The driver may already present from a thread of its own: finish the screen under
            // its lock.
            if (driver->lock != nullptr) {
                driver->lock();
            }
            screen.driver = driver;
            resetPalette(screen);
            prepareText(screen);
            if (driver->unlock != nullptr) {
                driver->unlock();
            }
            registerExitRoutine(closeScreenAtExit);
        }
    }
    if (flags != SCREEN_NO_CONSOLE_RESET) {
        setTextView(0, 0);
    }
    if (!failed) {
        resetScreenColumn();
    }
    return setErrorCode(failed ? ERR_ILLEGAL_FUNCTION_CALL : ERR_NONE);
}

void failScreenAllocationsAfter(std::int32_t count) {
    allocationsLeft = count;
}

void closeScreenAtExit() {
    if (screenOwner) {
        setScreenMode(0, 0, 0, SCREEN_NO_CONSOLE_RESET, 0);
    }
}

} // namespace ulo
