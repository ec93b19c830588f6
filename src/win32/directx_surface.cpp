#include "win32/directx_surface.hpp"

#include <algorithm>
#include <array>

namespace ulo {
namespace {

constexpr DWORD GREEN_MASK_555 = 0x3E0;
constexpr std::array<std::int32_t, 5> LADDER_HEIGHTS = {240, 480, 600, 768, 1024};

std::int32_t partnerDepth(std::int32_t depth) {
    switch (depth) {
    case 15:
        return 16;
    case 16:
        return 15;
    case 24:
        return 32;
    case 32:
        return 24;
    default:
        return depth;
    }
}

} // namespace

std::int32_t displayModeDepth(const DDPIXELFORMAT& format) {
    const auto bits = static_cast<std::int32_t>(format.dwRGBBitCount);
    return bits == 16 && format.dwGBitMask == GREEN_MASK_555 ? 15 : bits;
}

std::optional<SurfaceFormat> surfaceFormatOf(const DDPIXELFORMAT& format) {
    if ((format.dwFlags & DDPF_RGB) == 0) {
        return std::nullopt;
    }
    SurfaceFormat surface;
    surface.bits = displayModeDepth(format);
    if (surface.bits == 15 || surface.bits == 16) {
        surface.blueFirst = format.dwRBitMask == 0x1F;
    } else if (surface.bits > 23) {
        surface.blueFirst = format.dwRBitMask == 0xFF;
    }
    return surface;
}

std::vector<DisplayModeTry> displayModeTries(std::int32_t height, std::int32_t depth) {
    std::vector<DisplayModeTry> tries;
    for (;;) {
        tries.push_back({height, depth});
        const std::int32_t partner = partnerDepth(depth);
        if (partner != depth) {
            tries.push_back({height, partner});
        }
        const auto next = std::find_if(LADDER_HEIGHTS.begin(), LADDER_HEIGHTS.end(),
                                       [height](std::int32_t step) { return step > height; });
        if (next == LADDER_HEIGHTS.end()) {
            return tries;
        }
        height = *next;
    }
}

} // namespace ulo
