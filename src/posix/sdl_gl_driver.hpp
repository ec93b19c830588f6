// The display driver for programs that draw with OpenGL themselves (SCREEN_OPENGL): a window with
// an OpenGL context, built on SDL2 and made, used and destroyed on the thread that sets the mode,
// with no window thread. The framebuffer is not shown; the program draws into the context and
// calls flip, which takes the window's events through the window procedure, refreshes the key
// state and swaps the buffers.
#pragma once

#include "screen/display_driver.hpp"

namespace ulo {

extern const DisplayDriver SDL_GL_DISPLAY_DRIVER;

} // namespace ulo
