// What DirectDraw tells about the display, turned into what the pixel converters need, and the
// display modes a full-screen window tries; and the step that draws the dirty rows into a
// surface, which works on anything with DirectDraw's Restore, Lock and Unlock.
#pragma once

#include "screen/blitters.hpp"
#include "screen/screen.hpp"

#include <cstdint>
#include <optional>
#include <vector>
#include <windows.h>

#include <ddraw.h>

namespace ulo {

// The destination of a pixel converter: bits per pixel and whether blue has the highest field.
struct SurfaceFormat {
    std::int32_t bits = 0;
    bool blueFirst = false;
};

// The format of a surface or display mode from its pixel format; none unless it is RGB. A 16-bit
// format whose green mask is 0x3E0 counts as 15 bits; red in the lowest field (mask 0x1F at 15
// and 16 bits, 0xFF above 23 bits) means blue first.
std::optional<SurfaceFormat> surfaceFormatOf(const DDPIXELFORMAT& format);

// The depth a display mode offers: its bit count, 15 for a 16-bit mode with green mask 0x3E0.
std::int32_t displayModeDepth(const DDPIXELFORMAT& format);

struct DisplayModeTry {
    std::int32_t height;
    std::int32_t depth;
};

// The modes a full-screen window asks for, in order, all as wide as the picture: the picture's
// height at its depth, then at the partner depth (15 with 16, 24 with 32), then the same two for
// each of the heights 240, 480, 600, 768 and 1024 that are above the last one; nothing beyond
// 1024 lines.
std::vector<DisplayModeTry> displayModeTries(std::int32_t height, std::int32_t depth);

// Restores the primary surface and the back surface (when there is one) in case another program
// took the display, then converts the dirty rows into `target`, `verticalOffset` lines down, while
// it is locked. False when it cannot be locked: nothing is drawn and the rows stay dirty.
template <typename Surface>
bool drawDirtyRows(Surface& primary, Surface* back, Surface& target, const ScreenState& screen,
                   Blitter blitter, std::int32_t verticalOffset) {
    primary.Restore();
    if (back != nullptr) {
        back->Restore();
    }
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    if (FAILED(target.Lock(nullptr, &description, DDLOCK_WAIT, nullptr))) {
        return false;
    }
    auto* lines = static_cast<std::uint8_t*>(description.lpSurface);
    blitter(screen, lines + static_cast<std::ptrdiff_t>(verticalOffset) * description.lPitch,
            static_cast<std::int32_t>(description.lPitch));
    target.Unlock(nullptr);
    return true;
}

} // namespace ulo
