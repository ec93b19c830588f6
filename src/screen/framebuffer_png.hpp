// Pictures of the framebuffer as PNG files, for tests and documentation.
#pragma once

#include "screen/screen.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ulo {

// An RGB picture: width x height pixels 0x00RRGGBB, row-major.
struct RgbPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

// The page on show as the window would present it: palette colours at depths up to 8, 5-6-5
// pixels widened at depth 16, and each framebuffer row repeated scanline-size times.
RgbPicture framebufferPicture(const ScreenState& screen);

// Writes `picture` as an 8-bit RGB PNG; false when the file cannot be written.
bool writePng(const std::string& path, const RgbPicture& picture);

} // namespace ulo
