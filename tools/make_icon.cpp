// Build-time tool: writes the program's icon as a Windows icon file, for the resource script of
// the Windows build.
//
//   ulo_make_icon OUTPUT.ico
//
// One 32 x 32 image of 32 bits per pixel: a bitmap header, the pixels bottom row first as blue,
// green, red, alpha, and the 1-bit mask (set where the icon is transparent) that older systems
// draw with.
#include "screen/program_icon.hpp"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::vector<std::uint8_t> iconFile() {
    constexpr std::uint32_t SIZE = ulo::PROGRAM_ICON_SIZE;
    constexpr std::uint32_t HEADER_BYTES = 6 + 16;
    constexpr std::uint32_t BITMAP_HEADER_BYTES = 40;
    constexpr std::uint32_t MASK_ROW_BYTES = (SIZE + 31) / 32 * 4;
    constexpr std::uint32_t IMAGE_BYTES =
        BITMAP_HEADER_BYTES + SIZE * SIZE * 4 + SIZE * MASK_ROW_BYTES;

    std::vector<std::uint8_t> out;
    // The directory: reserved, type 1 (icon), one image, and its entry.
    put16(out, 0);
    put16(out, 1);
    put16(out, 1);
    out.push_back(static_cast<std::uint8_t>(SIZE));
    out.push_back(static_cast<std::uint8_t>(SIZE));
    out.push_back(0); // no palette
    out.push_back(0);
    put16(out, 1);  // planes
    put16(out, 32); // bits per pixel
    put32(out, IMAGE_BYTES);
    put32(out, HEADER_BYTES);

    // The bitmap header; the height counts the pixels and the mask together.
    put32(out, BITMAP_HEADER_BYTES);
    put32(out, SIZE);
    put32(out, SIZE * 2);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0); // uncompressed
    put32(out, SIZE * SIZE * 4 + SIZE * MASK_ROW_BYTES);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);

    for (std::uint32_t row = SIZE; row-- > 0;) {
        for (std::uint32_t x = 0; x < SIZE; ++x) {
            put32(out, ulo::PROGRAM_ICON[row * SIZE + x]); // 0xAARRGGBB is B, G, R, A in memory
        }
    }
    for (std::uint32_t row = SIZE; row-- > 0;) {
        std::vector<std::uint8_t> mask(MASK_ROW_BYTES, 0);
        for (std::uint32_t x = 0; x < SIZE; ++x) {
            if ((ulo::PROGRAM_ICON[row * SIZE + x] >> 24) == 0) {
                mask[x / 8] = static_cast<std::uint8_t>(mask[x / 8] | 0x80u >> (x % 8));
            }
        }
        out.insert(out.end(), mask.begin(), mask.end());
    }
    return out;
}

} // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: ulo_make_icon OUTPUT.ico\n");
        return 2;
    }
    const std::vector<std::uint8_t> icon = iconFile();
    std::ofstream out(arguments[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(icon.data()),
              static_cast<std::streamsize>(icon.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "ulo_make_icon: cannot write %s\n", arguments[1]);
        return 1;
    }
    return 0;
}
