// Pixel converters: copy the dirty rows of the framebuffer into a presentation surface of 8, 15,
// 16, 24 or 32 bits per pixel, red-first or blue-first. One converter is chosen per window
// creation, so the per-pixel loops contain no format tests.
#pragma once

#include "screen/memory_routines.hpp"
#include "screen/screen.hpp"

#include <cstdint>

namespace ulo {

// Writes every framebuffer row whose dirty flag is set into `destination` (each row to
// scanline-size consecutive lines, `destinationPitch` bytes apart), converting its pixels.
// Lines of clean rows are left untouched; the dirty flags are not cleared.
using Blitter = void (*)(const ScreenState& screen, std::uint8_t* destination,
                         std::int32_t destinationPitch);

// Rebuilds the lookup table for 16-bit sources for the red/blue order and returns the converter
// for the screen's depth and the destination's bits and order, or null when none fits. The
// vector members are used when the processor has vector units and the scanline size is 1.
Blitter chooseBlitter(ScreenState& screen, std::int32_t destinationBits, bool blueFirst);

// The member of one routine set, without touching the lookup table; null when none fits.
Blitter blitterOfSet(RoutineSet set, std::int32_t screenDepth, std::int32_t destinationBits,
                     bool blueFirst);

// Fills the screen's 512-entry lookup table: entry i gives the colour of a 16-bit pixel's low
// byte i, entry 256 + i that of its high byte, as a 32-bit destination word.
void buildBlitterTable(ScreenState& screen, bool blueFirst);

} // namespace ulo
