// The program's icon: a speech bubble holding a cursor block, drawn from a small map. The window
// drivers hand it to their window, and the Windows build packs it into the program file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ulo {

// Side of the icon in pixels; the map's 16 x 16 cells are doubled.
inline constexpr int PROGRAM_ICON_SIZE = 32;

namespace detail {

// '#' outline, 'o' bubble, 'x' cursor block, '.' transparent.
inline constexpr const char* PROGRAM_ICON_MAP[16] = {
    "................", "..############..", ".#oooooooooooo#.", "#oooooooooooooo#",
    "#oxxooooooooooo#", "#oxxooooooooooo#", "#oxxoxxoxxoxxoo#", "#oxxoxxoxxoxxoo#",
    "#oooooooooooooo#", "#oooooooooooooo#", ".#oooooooooooo#.", "..####ooo#####..",
    "......#oo#......", ".......#o#......", "........##......", "................",
};

constexpr std::uint32_t programIconColour(char c) {
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

constexpr auto makeProgramIcon() {
    std::array<std::uint32_t, PROGRAM_ICON_SIZE * PROGRAM_ICON_SIZE> pixels{};
    for (int y = 0; y < PROGRAM_ICON_SIZE; ++y) {
        for (int x = 0; x < PROGRAM_ICON_SIZE; ++x) {
            pixels[static_cast<std::size_t>(y * PROGRAM_ICON_SIZE + x)] =
                programIconColour(PROGRAM_ICON_MAP[y / 2][x / 2]);
        }
    }
    return pixels;
}

} // namespace detail

// PROGRAM_ICON_SIZE x PROGRAM_ICON_SIZE pixels, 0xAARRGGBB, row by row from the top; alpha is 0
// (transparent) or 0xFF.
inline constexpr auto PROGRAM_ICON = detail::makeProgramIcon();

} // namespace ulo
