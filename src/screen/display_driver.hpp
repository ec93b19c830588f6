// Display drivers: a name and eleven operations each. The mode set walks the platform's list of
// drivers in order and keeps the first whose init succeeds; the Null driver stands apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ulo {

// Every operation may be absent (null); a request whose operation is absent does nothing.
struct DisplayDriver {
    const char* name = nullptr;
    // 0 when the window is up and presentation runs; `height` is already multiplied by the
    // scanline size.
    std::int32_t (*init)(const char* title, std::int32_t width, std::int32_t height,
                         std::int32_t depth, std::int32_t refreshRate,
                         std::int32_t flags) = nullptr;
    // Releases whatever init made; also called after a failed init.
    void (*shutdown)() = nullptr;
    void (*lock)() = nullptr;
    void (*unlock)() = nullptr;
    void (*setPalette)(std::int32_t index, std::int32_t red, std::int32_t green,
                       std::int32_t blue) = nullptr;
    // 0, or -1 when the window is not active or the pointer is outside it (buttons cleared).
    std::int32_t (*getMouse)(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                             std::int32_t* buttons) = nullptr;
    // pointer: 1 show, 0 hide, negative leave as it is; x < 0 leaves the position.
    void (*setMouse)(std::int32_t x, std::int32_t y, std::int32_t pointer) = nullptr;

    // Kept for programs that draw for themselves; nothing in Ulo calls these.
    void (*waitVsync)() = nullptr;
    void (*setWindowTitle)(const char* title) = nullptr;
    // The display's sizes at `depth`, each width * 65536 + height; the driver owns the list.
    const std::int32_t* (*fetchModes)(std::int32_t depth, std::int32_t* count) = nullptr;
    void (*flip)() = nullptr;
};

// A fetchModes answer: the sizes in `modes`, which the driver keeps until its next answer, and
// their number in `*count` (when not null).
const std::int32_t* answerModes(const std::vector<std::int32_t>& modes, std::int32_t* count);

// The drivers tried in order, first to last.
struct DisplayDriverList {
    const DisplayDriver* const* drivers;
    std::size_t count;
};

// No window: the framebuffer lives in memory only and no key ever arrives.
extern const DisplayDriver NULL_DISPLAY_DRIVER;

// The list the mode set walks: the platform's, unless replaced.
DisplayDriverList displayDrivers();
// Replaces the list (null: back to the platform's); returns the list in use before.
DisplayDriverList useDisplayDrivers(const DisplayDriverList* list);

} // namespace ulo
