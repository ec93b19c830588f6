#include "support/screen_pictures.hpp"

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

::testing::AssertionResult samePicture(const RgbPicture& expected, const RgbPicture& actual,
                                       const std::string& name) {
    if (expected.width == actual.width && expected.height == actual.height &&
        expected.pixels == actual.pixels) {
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
    if (expected.width != actual.width || expected.height != actual.height) {
        message << "; sizes " << expected.width << "x" << expected.height << " and " << actual.width
                << "x" << actual.height;
    } else {
        for (std::size_t i = 0; i < expected.pixels.size(); ++i) {
            if (expected.pixels[i] != actual.pixels[i]) {
                message << "; first at x " << i % static_cast<std::size_t>(expected.width) << ", y "
                        << i / static_cast<std::size_t>(expected.width) << ": expected " << std::hex
                        << expected.pixels[i] << ", got " << actual.pixels[i];
                break;
            }
        }
    }
    return ::testing::AssertionFailure() << message.str();
}

} // namespace ulo::testing
