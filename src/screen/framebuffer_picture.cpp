// The page on show as an RGB picture, as the window would present it.
#include "screen/framebuffer_png.hpp"

#include <cstddef>
#include <cstring>

namespace ulo {
namespace {

std::uint32_t pixelColour(const ScreenState& screen, const std::uint8_t* row, std::int32_t x) {
    switch (screen.bytesPerPixel) {
    case 1: {
        // Palette entries hold red in the low byte.
        const std::uint32_t entry = screen.palette[row[x]];
        return (entry & 0xFF) << 16 | (entry & 0xFF00) | (entry >> 16 & 0xFF);
    }
    case 2: {
        std::uint16_t p;
        std::memcpy(&p, row + x * 2, 2);
        const std::uint32_t red = p >> 11;
        const std::uint32_t green = p >> 5 & 0x3F;
        const std::uint32_t blue = p & 0x1F;
        return (red << 3 | red >> 2) << 16 | (green << 2 | green >> 4) << 8 |
               (blue << 3 | blue >> 2);
    }
    default: {
        std::uint32_t p;
        std::memcpy(&p, row + x * 4, 4);
        return p & 0xFFFFFF;
    }
    }
}

} // namespace

RgbPicture framebufferPicture(const ScreenState& screen) {
    RgbPicture picture;
    picture.width = screen.width;
    picture.height = screen.height * screen.scanlineSize;
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) *
                           static_cast<std::size_t>(picture.height));
    for (std::int32_t y = 0; y < screen.height; ++y) {
        const std::uint8_t* row =
            screen.framebuffer + static_cast<std::ptrdiff_t>(y) * screen.pitch;
        for (std::int32_t line = 0; line < screen.scanlineSize; ++line) {
            for (std::int32_t x = 0; x < screen.width; ++x) {
                picture.pixels.push_back(pixelColour(screen, row, x));
            }
        }
    }
    return picture;
}

} // namespace ulo
