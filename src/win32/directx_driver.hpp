// The display driver that normally runs on Windows: the window on the shared window thread,
// shown through DirectDraw (a framed window, or the whole display in a mode of its own), with the
// held keys read through DirectInput. Both libraries are loaded when the window is made, so a
// system without them loses only this driver.
#pragma once

#include "screen/display_driver.hpp"

namespace ulo {

extern const DisplayDriver DIRECTX_DISPLAY_DRIVER;

} // namespace ulo
