// The platform record of the browser: one page, one thread, the page's clock.
#include "web/web_platform.hpp"

#include "console/pipe_console.hpp"
#include "runtime/platform.hpp"
#include "screen/graphics_console.hpp"

#include <cstdio>
#include <emscripten.h>
#include <string_view>

namespace ulo {
namespace {

constexpr std::int64_t MICROSECONDS_PER_SECOND = 1'000'000;
// Said on the screen when the browser keeps nothing for the page (a private window, storage
// blocked, no quota): Ulo goes on with its knowledge in memory.
constexpr const char* STORAGE_REFUSED_NOTICE =
    "The browser refuses storage: what Ulo learns now is lost when the page closes.";

// Microseconds of the wall clock: the rolls then differ from one visit to the next, as they do
// from one start to the next on the desktop.
EM_JS(double, pageClockMicroseconds, (),
      { return Math.floor((performance.timeOrigin + performance.now()) * 1000); });

bool pageClockFrequency(std::int64_t* countsPerSecond) {
    *countsPerSecond = MICROSECONDS_PER_SECOND;
    return true;
}

bool pageClockCount(std::int64_t* count) {
    *count = static_cast<std::int64_t>(pageClockMicroseconds());
    return true;
}

std::uint32_t pageClockMilliseconds() {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(pageClockMicroseconds()) / 1000u);
}

constexpr SystemClock PAGE_CLOCK = {
    .performanceFrequency = pageClockFrequency,
    .performanceCounter = pageClockCount,
    .tickCount = pageClockMilliseconds,
};

void startPage() {
    if (!startWebStorage()) {
        noteScreenNotice(STORAGE_REFUSED_NOTICE);
    }
    useGraphicsDevice(&PAGE_CONSOLE_DEVICE);
    startPageKeys();
}

// Without its screen (no canvas on the page) Ulo writes its lines to the browser's console, and
// its input has ended: no key can reach it.
std::int64_t noPageInput(std::uint8_t*, std::size_t) {
    return -1;
}

void writeToBrowserConsole(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

const ConsoleHooks& pageConsole() {
    static constexpr PipeStreams BROWSER_CONSOLE = {
        .readWaiting = noPageInput,
        .write = writeToBrowserConsole,
        .waitForInput = [](bool, std::int32_t) {},
    };
    return startPipeConsole(BROWSER_CONSOLE, true, true);
}

EM_JS(void, pageTone, (std::int32_t frequency, std::int32_t milliseconds),
      { UloPage.tone(frequency, milliseconds); });

void pageBeep(std::int32_t frequency, std::int32_t milliseconds) {
    pageTone(frequency, milliseconds);
}

constexpr const DisplayDriver* WEB_DISPLAY_DRIVERS[] = {&WEB_DISPLAY_DRIVER};

} // namespace

const Platform& nativePlatform() {
    static const Platform web = {
        .name = "Web",
        .clock = PAGE_CLOCK,
        .startRuntime = startPage,
        .fileSystem = &WEB_FILE_SYSTEM,
        .processConsole = pageConsole,
        .displayDrivers = WEB_DISPLAY_DRIVERS,
        .programFilePath = [] { return std::string("/ulo"); },
        .beep = pageBeep,
        .pendingEnd = [] { return 0; },
        .screenHelp = "In a browser Ulo shows its screen on the page; Alt+Enter switches to full "
                      "screen and back.",
        .endHelp = "The page's end is the program's.",
    };
    return web;
}

} // namespace ulo
