#include "support/screen_pictures.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ulo::testing {

std::vector<std::uint8_t> fontFile(int height) {
    const std::string path =
        std::string(ULO_FONT_DIR) + "/cp437-8x" + std::to_string(height) + ".bin";
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

RgbPicture textPicture(const std::vector<std::string>& rows, int columns, int rowCount) {
    static const std::vector<std::uint8_t> font = fontFile(16);
    RgbPicture picture;
    picture.width = columns * 8;
    picture.height = rowCount * 16;
    picture.pixels.assign(static_cast<std::size_t>(picture.width * picture.height), 0);
    for (int row = 0; row < rowCount && row < static_cast<int>(rows.size()); ++row) {
        const std::string& text = rows[static_cast<std::size_t>(row)];
        for (int column = 0; column < columns && column < static_cast<int>(text.size()); ++column) {
            const auto code = static_cast<std::uint8_t>(text[static_cast<std::size_t>(column)]);
            for (int j = 0; j < 16; ++j) {
                const std::uint8_t bits = font[static_cast<std::size_t>(code * 16 + j)];
                for (int i = 0; i < 8; ++i) {
                    if ((bits & (0x80 >> i)) != 0) {
                        picture.pixels[static_cast<std::size_t>((row * 16 + j) * picture.width +
                                                                column * 8 + i)] = 0xFFFFFF;
                    }
                }
            }
        }
    }
    return picture;
}

namespace {

bool closeTo(std::uint32_t expected, std::uint32_t actual, int tolerance) {
    for (const int shift : {0, 8, 16}) {
        const int a = static_cast<int>(expected >> shift & 0xFF);
        const int b = static_cast<int>(actual >> shift & 0xFF);
        if (std::abs(a - b) > tolerance) {
            return false;
        }
    }
    return true;
}

bool sameSize(const RgbPicture& a, const RgbPicture& b) {
    return a.width == b.width && a.height == b.height && a.pixels.size() == b.pixels.size();
}

// The first pixel of two pictures of one size that differs by more than `tolerance`, or the
// number of pixels.
std::size_t firstDifference(const RgbPicture& expected, const RgbPicture& actual, int tolerance) {
    std::size_t i = 0;
    while (i < expected.pixels.size() && closeTo(expected.pixels[i], actual.pixels[i], tolerance)) {
        ++i;
    }
    return i;
}

} // namespace

bool alikePictures(const RgbPicture& expected, const RgbPicture& actual, int tolerance) {
    return sameSize(expected, actual) &&
           firstDifference(expected, actual, tolerance) == expected.pixels.size();
}

std::vector<int> dirtyRows(const ScreenState& screen) {
    std::vector<int> rows;
    for (int y = 0; y < screen.height * screen.scanlineSize; ++y) {
        if (screen.dirty[static_cast<std::size_t>(y)] != 0) {
            rows.push_back(y);
        }
    }
    return rows;
}

::testing::AssertionResult samePicture(const RgbPicture& expected, const RgbPicture& actual,
                                       const std::string& name, int tolerance) {
    if (alikePictures(expected, actual, tolerance)) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream message;
#if ULO_HAVE_PNG
    const std::filesystem::path directory = ::testing::TempDir();
    const std::string expectedPath = (directory / (name + "-expected.png")).string();
    const std::string actualPath = (directory / (name + "-actual.png")).string();
    writePng(expectedPath, expected);
    writePng(actualPath, actual);
    message << name << ": pictures differ (" << expectedPath << ", " << actualPath << ")";
#else
    message << name << ": pictures differ";
#endif
    if (!sameSize(expected, actual)) {
        message << "; sizes " << expected.width << "x" << expected.height << " and " << actual.width
                << "x" << actual.height;
    } else {
        const std::size_t first = firstDifference(expected, actual, tolerance);
        message << "; first at x " << first % static_cast<std::size_t>(expected.width) << ", y "
                << first / static_cast<std::size_t>(expected.width) << ": expected " << std::hex
                << expected.pixels[first] << ", got " << actual.pixels[first];
    }
    return ::testing::AssertionFailure() << message.str();
}

} // namespace ulo::testing
