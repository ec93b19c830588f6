// The graphics screen as a console device: the grid console's cells are the text cells of the
// framebuffer, keys come from the key buffer that the window's thread fills, and the screen lock
// keeps that thread from presenting a half-drawn run. Installed into every ConsoleHooks slot
// while a graphics screen is set, with the slots only this screen serves (colours, the mouse, the
// key state, cells read back).
#pragma once

#include "console/console_hooks.hpp"
#include "console/grid_console.hpp"

#include <cstddef>
#include <cstdint>

namespace ulo {

// Starts the graphics screen's console afresh (cursor home, no pending wrap) for a screen being
// set, and returns its hook table.
const ConsoleHooks& startGraphicsConsole();
// Replaces the device of the screens set from now on (null: the window's own again). A platform
// whose screen has no thread of its own (a browser page) gives one that presents and takes in
// keys itself while it waits.
void useGraphicsDevice(const ConsoleDevice* device);

// The device's operations, for consoles that draw into the same framebuffer.
bool drawGlyphRun(GridConsole& console, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                  std::size_t count);
void scrollTextRows(GridConsole& console, std::int32_t top, std::int32_t bottom, std::int32_t rows);
void clearTextRows(GridConsole& console, std::int32_t top, std::int32_t bottom, bool wholeScreen);
bool clearGraphicsViewport(GridConsole& console, bool byDefault);
void graphicsTextSize(GridConsole& console, std::int32_t* columns, std::int32_t* rows);
bool lockGraphics(GridConsole& console);
void unlockGraphics(GridConsole& console, bool took);

} // namespace ulo
