#include "screen/framebuffer_png.hpp"

#include <cstdio>
#include <png.h>
#include <utility>

namespace ulo {
namespace {

struct PngFile {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

} // namespace

bool writePng(const std::string& path, const RgbPicture& picture) {
    PngFile out;
    out.file = std::fopen(path.c_str(), "wb");
    if (out.file == nullptr) {
        return false;
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (out.png == nullptr) {
        return false;
    }
    out.info = png_create_info_struct(out.png);
    if (out.info == nullptr) {
        return false;
    }
    std::vector<png_byte> line(static_cast<std::size_t>(picture.width) * 3);
    // libpng reports write errors by jumping back here; no C++ object is live across it except
    // those declared above, which are destroyed normally after the return.
    if (setjmp(png_jmpbuf(out.png)) != 0) {
        return false;
    }
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const std::uint32_t colour =
                picture
                    .pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                            static_cast<std::size_t>(x)];
            line[static_cast<std::size_t>(x) * 3] = static_cast<png_byte>(colour >> 16);
            line[static_cast<std::size_t>(x) * 3 + 1] = static_cast<png_byte>(colour >> 8);
            line[static_cast<std::size_t>(x) * 3 + 2] = static_cast<png_byte>(colour);
        }
        png_write_row(out.png, line.data());
    }
    png_write_end(out.png, nullptr);
    return std::fclose(std::exchange(out.file, nullptr)) == 0;
}

} // namespace ulo
