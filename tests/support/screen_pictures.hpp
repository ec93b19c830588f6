// Pictures of text screens computed straight from the font files (leftmost pixel in the most
// significant bit there), to compare the framebuffer with; mismatches are written as PNG files.
// And the rows a screen has marked for presenting.
#pragma once

#include "screen/framebuffer_png.hpp"
#include "screen/screen.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo::testing {

// The font file with glyphs of `height` rows (8, 14 or 16), as shipped.
std::vector<std::uint8_t> fontFile(int height);

// `rows` (missing rows and characters are spaces) drawn white on black in the 8 x 16 font on a
// columns x rowCount grid.
RgbPicture textPicture(const std::vector<std::string>& rows, int columns = 80, int rowCount = 30);

// True when two pictures have one size and their pixels differ by at most `tolerance` in each
// colour channel.
bool alikePictures(const RgbPicture& expected, const RgbPicture& actual, int tolerance = 0);

// Compares two pictures as alikePictures does; on a mismatch both are written to the test's
// temporary directory and the result names them and the first differing pixel.
::testing::AssertionResult samePicture(const RgbPicture& expected, const RgbPicture& actual,
                                       const std::string& name, int tolerance = 0);

// The framebuffer rows whose dirty flag is set, in order.
std::vector<int> dirtyRows(const ScreenState& screen);

} // namespace ulo::testing
