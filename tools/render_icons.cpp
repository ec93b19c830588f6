// Renders the window's icon as PNG files for the desktop's icon theme, one per size, scaled from
// the very pixels the window shows (nearest neighbour, so the icon's squares stay sharp).
//
//   ulo_render_icons DIRECTORY SIZE...
//
// writes DIRECTORY/SIZExSIZE/apps/ulo.png for each SIZE, the layout of a hicolor theme folder.
#include "screen/program_icon.hpp"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The icon at size x size as RGBA bytes, row by row.
std::vector<std::uint8_t> scaledIcon(int size) {
    const std::uint32_t* icon = ulo::PROGRAM_ICON.data();
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(size * size * 4));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int sourceX = x * ulo::PROGRAM_ICON_SIZE / size;
            const int sourceY = y * ulo::PROGRAM_ICON_SIZE / size;
            const std::uint32_t argb = icon[sourceY * ulo::PROGRAM_ICON_SIZE + sourceX];
            rgba.push_back(static_cast<std::uint8_t>(argb >> 16));
            rgba.push_back(static_cast<std::uint8_t>(argb >> 8));
            rgba.push_back(static_cast<std::uint8_t>(argb));
            rgba.push_back(static_cast<std::uint8_t>(argb >> 24));
        }
    }
    return rgba;
}

bool writeIcon(const std::filesystem::path& path, int size) {
    const std::vector<std::uint8_t> rgba = scaledIcon(size);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIRECTORY SIZE...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1 || size > 1024) {
            std::fprintf(stderr, "bad size %s\n", argv[i]);
            return 2;
        }
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path folder = directory / name / "apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!writeIcon(folder / "ulo.png", size)) {
            std::fprintf(stderr, "cannot write %s\n", (folder / "ulo.png").c_str());
            return 1;
        }
    }
    return 0;
}
