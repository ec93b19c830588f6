// Pictures of text screens computed straight from the font files (leftmost pixel in the most
// significant bit there), to compare the framebuffer with; mismatches are written as PNG files.
#pragma once

#include "screen/framebuffer_png.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo::testing {

// The font file with glyphs of `height` rows (8, 14 or 16), as shipped.
std::vector<std::uint8_t> fontFile(int height);

// `rows` (missing rows and characters are spaces) drawn white on black in the 8 x 16 font on a
// columns x rowCount grid.
RgbPicture textPicture(const std::vector<std::string>& rows, int columns = 80, int rowCount = 30);

// Compares two pictures; on a mismatch both are written to the test's temporary directory and
// the result names them and the first differing pixel.
::testing::AssertionResult samePicture(const RgbPicture& expected, const RgbPicture& actual,
                                       const std::string& name);

} // namespace ulo::testing
