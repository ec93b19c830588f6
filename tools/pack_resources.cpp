// Build-time tool: packs the three code page 437 fonts and the four default palettes into the
// resource block that the program expands at its first mode set, and writes it as C++ source.
//
//   ulo_pack_resources FONT_8x8 FONT_8x14 FONT_8x16 OUTPUT.cpp
//
// The font files keep the leftmost pixel in the most significant bit; the program keeps it in
// bit 0, so every byte is mirrored. The palettes follow the fonts as red, green, blue bytes:
// 2 colours (black, white), the 16 colours of the colour text modes, the 64 colours of the
// enhanced adapter and the 256-colour default palette of the video graphics array.
#include "lzw_encoder.hpp"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::array<std::size_t, 3> FONT_SIZES = {2048, 3584, 4096};
constexpr std::size_t EXPANDED_SIZE = 10742;

std::uint8_t mirror(std::uint8_t byte) {
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if ((byte & (1u << bit)) != 0) {
            out = static_cast<std::uint8_t>(out | 0x80u >> bit);
        }
    }
    return out;
}

// The display adapters' 6-bit colour levels widened to 8 bits: 0x2A -> 0xAA, 0x3F -> 0xFF.
std::uint8_t widen(int level) {
    return static_cast<std::uint8_t>(level << 2 | level >> 4);
}

void addColour(std::vector<std::uint8_t>& out, int red, int green, int blue) {
    out.push_back(widen(red));
    out.push_back(widen(green));
    out.push_back(widen(blue));
}

// Colour i of the 16-colour set (levels in 6 bits): bit 0 blue, bit 1 green, bit 2 red, bit 3
// bright; colour 6 is brown rather than dark yellow.
void addTextColour(std::vector<std::uint8_t>& out, int i) {
    const int base = (i & 8) != 0 ? 0x15 : 0;
    const int red = base + ((i & 4) != 0 ? 0x2A : 0);
    const int green = base + ((i & 2) != 0 ? (i == 6 ? 0x15 : 0x2A) : 0);
    const int blue = base + ((i & 1) != 0 ? 0x2A : 0);
    addColour(out, red, green, blue);
}

std::vector<std::uint8_t> palettes() {
    std::vector<std::uint8_t> out;
    addColour(out, 0, 0, 0);
    addColour(out, 0x3F, 0x3F, 0x3F);
    for (int i = 0; i < 16; ++i) {
        addTextColour(out, i);
    }
    // 64 colours: bits 0-2 blue, green, red at two thirds; bits 3-5 the same at one third.
    for (int i = 0; i < 64; ++i) {
        const auto level = [i](int high, int low) {
            return ((i & high) != 0 ? 0x2A : 0) + ((i & low) != 0 ? 0x15 : 0);
        };
        addColour(out, level(4, 32), level(2, 16), level(1, 8));
    }
    // 256 colours: the 16 text colours, a ramp of 16 greys, then 9 rings of 24 hues (three
    // intensities, three saturations each), then 8 black entries.
    for (int i = 0; i < 16; ++i) {
        addTextColour(out, i);
    }
    constexpr std::array<int, 16> GREYS = {0x00, 0x05, 0x08, 0x0B, 0x0E, 0x11, 0x14, 0x18,
                                           0x1C, 0x20, 0x24, 0x28, 0x2D, 0x32, 0x38, 0x3F};
    for (const int grey : GREYS) {
        addColour(out, grey, grey, grey);
    }
    constexpr std::array<std::array<int, 5>, 9> RINGS = {{
        {0x00, 0x10, 0x1F, 0x2F, 0x3F},
        {0x1F, 0x27, 0x2F, 0x37, 0x3F},
        {0x2D, 0x31, 0x36, 0x3A, 0x3F},
        {0x00, 0x07, 0x0E, 0x15, 0x1C},
        {0x0E, 0x11, 0x15, 0x18, 0x1C},
        {0x14, 0x16, 0x18, 0x1A, 0x1C},
        {0x00, 0x04, 0x08, 0x0C, 0x10},
        {0x08, 0x0A, 0x0C, 0x0E, 0x10},
        {0x0B, 0x0C, 0x0D, 0x0F, 0x10},
    }};
    // Level index per hue step: blue falls while red rises, then green, then blue again.
    constexpr std::array<int, 24> RED = {0, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4,
                                         4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    constexpr std::array<int, 24> GREEN = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3,
                                           4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 1};
    constexpr std::array<int, 24> BLUE = {4, 4, 4, 4, 4, 3, 2, 1, 0, 0, 0, 0,
                                          0, 0, 0, 0, 0, 1, 2, 3, 4, 4, 4, 4};
    for (const auto& levels : RINGS) {
        for (std::size_t hue = 0; hue < 24; ++hue) {
            addColour(out, levels[static_cast<std::size_t>(RED[hue])],
                      levels[static_cast<std::size_t>(GREEN[hue])],
                      levels[static_cast<std::size_t>(BLUE[hue])]);
        }
    }
    for (int i = 0; i < 8; ++i) {
        addColour(out, 0, 0, 0);
    }
    return out;
}

bool readFont(const char* path, std::size_t expected, std::vector<std::uint8_t>& out) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    if (!file.is_open() || bytes.size() != expected) {
        std::fprintf(stderr, "%s: expected %zu bytes, got %zu\n", path, expected, bytes.size());
        return false;
    }
    for (const char byte : bytes) {
        out.push_back(mirror(static_cast<std::uint8_t>(byte)));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FONT_8x8 FONT_8x14 FONT_8x16 OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> block;
    for (std::size_t i = 0; i < FONT_SIZES.size(); ++i) {
        if (!readFont(argv[i + 1], FONT_SIZES[i], block)) {
            return 1;
        }
    }
    const std::vector<std::uint8_t> colours = palettes();
    block.insert(block.end(), colours.begin(), colours.end());
    if (block.size() != EXPANDED_SIZE) {
        std::fprintf(stderr, "resource block is %zu bytes, expected %zu\n", block.size(),
                     EXPANDED_SIZE);
        return 1;
    }
    const std::vector<std::uint8_t> packed = ulo::tools::lzwEncode(block);

    std::string source = "// Generated at build time by ulo_pack_resources; do not edit.\n"
                         "#include \"screen/resource_blob.hpp\"\n\n"
                         "namespace ulo {\nnamespace {\n"
                         "constexpr std::uint8_t PACKED[" +
                         std::to_string(packed.size()) + "] = {";
    for (std::size_t i = 0; i < packed.size(); ++i) {
        source += (i % 16 == 0) ? "\n    " : " ";
        source += std::to_string(packed[i]) + ",";
    }
    source += "\n};\n} // namespace\n\n"
              "std::span<const std::uint8_t> resourceBlob() {\n"
              "    return PACKED;\n}\n\n} // namespace ulo\n";

    const std::string path = argv[4];
    const std::string temporary = path + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << source;
    out.close();
    if (!out || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
