// The program's icon, for the window and for the desktop's icon theme.
#pragma once

#include <cstdint>

namespace ulo {

// SDL_ICON_SIZE x SDL_ICON_SIZE pixels, 0xAARRGGBB, row by row.
inline constexpr int SDL_ICON_SIZE = 32;
const std::uint32_t* programIcon();

} // namespace ulo
