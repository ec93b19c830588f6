// The display driver for desktops with X11 or Wayland, built on SDL2: a window thread makes the
// window, presents the framebuffer's dirty rows about every 10 ms and feeds the window's events
// to the window procedure, all under the screen lock.
#pragma once

#include "terminal/display_driver.hpp"

#include <cstdint>

namespace ulo {

extern const DisplayDriver SDL_DISPLAY_DRIVER;

// The window system's number for the driver's window (0 when none), as its events carry it.
std::uint32_t sdlWindowId();

// What the window thread's presentation has done so far, for measurements.
struct SdlPresentationStats {
    std::uint64_t presentations = 0;  // passes that presented a picture
    std::int64_t lastNanoseconds = 0; // the last of them: conversion, upload and show
    std::int32_t lastRows = 0;        // the framebuffer rows it converted
};
SdlPresentationStats sdlPresentationStats();

// The program's icon: SDL_ICON_SIZE x SDL_ICON_SIZE pixels, 0xAARRGGBB, row by row.
inline constexpr int SDL_ICON_SIZE = 32;
const std::uint32_t* programIcon();

} // namespace ulo
