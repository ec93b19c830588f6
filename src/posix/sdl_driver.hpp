// The display driver for desktops with X11 or Wayland, built on SDL2: on the shared window
// thread it makes the window, presents dirty rows through a streaming texture, turns SDL's
// events into window events and sounds the bell through SDL's audio.
#pragma once

#include "screen/display_driver.hpp"

#include <cstdint>

namespace ulo {

extern const DisplayDriver SDL_DISPLAY_DRIVER;

// Sounds a tone through the window's sound device and returns at once; silent while no window
// is up and where no sound device is.
void sdlBeep(std::int32_t frequency, std::int32_t milliseconds);

// The window system's number for the driver's window (0 when none), as its events carry it.
std::uint32_t sdlWindowId();

} // namespace ulo
