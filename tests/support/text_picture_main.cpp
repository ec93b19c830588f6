// Writes a text screen as the window should show it, as a binary PPM file, for the window tests
// that compare pictures outside a test program (the Windows build has no PNG library).
//
//   ulo_text_picture OUTPUT.ppm [ROW...]
#include "support/screen_pictures.hpp"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ppm [ROW...]\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> rows(argv + 2, argv + argc);
    const ulo::RgbPicture picture = ulo::testing::textPicture(rows);
    std::ofstream file(argv[1], std::ios::binary);
    file << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    for (const std::uint32_t pixel : picture.pixels) {
        const char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                             static_cast<char>(pixel)};
        file.write(rgb, sizeof rgb);
    }
    return file.good() ? 0 : 1;
}
