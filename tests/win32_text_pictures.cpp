// Writes pictures of text screens, drawn by the tests' picture helper, as raw RGB files: three
// bytes a pixel, row by row, the form ImageMagick's `import ... rgb:FILE` gives a window's pixels
// in. The GDI window session waits for the window to show them.
//
// Each line of standard input is one picture: the file's name, then the screen's text rows, all
// separated by tabs.
#include "support/screen_pictures.hpp"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) {
            fields.push_back(field);
        }
        if (line.empty() || fields.empty()) {
            continue;
        }
        const ulo::RgbPicture picture =
            ulo::testing::textPicture(std::vector<std::string>(fields.begin() + 1, fields.end()));
        std::string bytes;
        for (const std::uint32_t pixel : picture.pixels) {
            bytes += static_cast<char>(pixel >> 16 & 0xFF);
            bytes += static_cast<char>(pixel >> 8 & 0xFF);
            bytes += static_cast<char>(pixel & 0xFF);
        }
        std::ofstream file(fields.front(), std::ios::binary);
        if (!(file << bytes)) {
            std::cerr << "cannot write " << fields.front() << "\n";
            return 1;
        }
    }
    return 0;
}
