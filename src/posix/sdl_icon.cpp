// The program's window icon: a speech bubble holding a cursor block, drawn from a small map.
#include "posix/sdl_icon.hpp"

#include <array>
#include <cstdint>

namespace ulo {
namespace {

// 16 x 16, doubled to 32 x 32. '#' outline, 'o' bubble, 'x' cursor block, '.' transparent.
constexpr const char* ICON_MAP[16] = {
    "................", "..############..", ".#oooooooooooo#.", "#oooooooooooooo#",
    "#oxxooooooooooo#", "#oxxooooooooooo#", "#oxxoxxoxxoxxoo#", "#oxxoxxoxxoxxoo#",
    "#oooooooooooooo#", "#oooooooooooooo#", ".#oooooooooooo#.", "..####ooo#####..",
    "......#oo#......", ".......#o#......", "........##......", "................",
};

constexpr std::uint32_t colourOf(char c) {
    switch (c) {
    case '#':
        return 0xFF202020u;
    case 'o':
        return 0xFFF0F0F0u;
    case 'x':
        return 0xFF000000u;
    default:
        return 0x00000000u;
    }
}

constexpr auto makeIcon() {
    std::array<std::uint32_t, SDL_ICON_SIZE * SDL_ICON_SIZE> pixels{};
    for (int y = 0; y < SDL_ICON_SIZE; ++y) {
        for (int x = 0; x < SDL_ICON_SIZE; ++x) {
            pixels[static_cast<std::size_t>(y * SDL_ICON_SIZE + x)] =
                colourOf(ICON_MAP[y / 2][x / 2]);
        }
    }
    return pixels;
}
constexpr auto ICON = makeIcon();

} // namespace

const std::uint32_t* programIcon() {
    return ICON.data();
}

} // namespace ulo
