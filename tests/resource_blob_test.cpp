// The packed fonts and palettes, the expander and the packer that must match it.
#include "console/console_hooks.hpp"
#include "lzw_encoder.hpp"
#include "support/screen_pictures.hpp"
#include "screen/resource_blob.hpp"
#include "screen/screen.hpp"

#include <gtest/gtest.h>

#include <random>

namespace ulo {
namespace {

using testing::fontFile;

std::uint8_t mirrored(std::uint8_t byte) {
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        out = static_cast<std::uint8_t>(out << 1 | (byte >> bit & 1));
    }
    return out;
}

std::vector<std::uint8_t> expand(const std::vector<std::uint8_t>& packed, std::size_t room,
                                 int& result) {
    std::vector<std::uint8_t> out(room);
    std::size_t capacity = room;
    result = expandResourceBlob(packed.data(), packed.size(), out.data(), &capacity);
    out.resize(result == 0 ? capacity : 0);
    return out;
}

std::array<int, 3> colour(const PaletteDesc& palette, int index) {
    const std::uint8_t* rgb = palette.rgb + index * 3;
    return {rgb[0], rgb[1], rgb[2]};
}

TEST(ResourceBlob, ExpandsToExactlyTheFontsWithBitZeroLeftmost) {
    const auto blob = resourceBlob();
    int result = -1;
    const auto block = expand({blob.begin(), blob.end()}, 20000, result);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(block.size(), RESOURCE_BLOCK_SIZE);

    std::size_t offset = 0;
    for (const int height : {8, 14, 16}) {
        const auto font = fontFile(height);
        ASSERT_EQ(font.size(), 256u * static_cast<std::size_t>(height));
        for (std::size_t i = 0; i < font.size(); ++i) {
            ASSERT_EQ(block[offset + i], mirrored(font[i])) << "font " << height << " byte " << i;
        }
        offset += font.size();
    }
    EXPECT_EQ(offset, PALETTES_OFFSET);

    expandResourcesOnce();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), resourceBlock().begin()));
    const FontDesc font16 = fontOfHeight(16);
    EXPECT_EQ(font16.bits[179 * 16 + 5], 0x18); // symmetric: a vertical line in the middle
    EXPECT_EQ(font16.bits['A' * 16 + 2], 0x08); // the apex: one pixel, fourth from the left
}

TEST(ResourceBlob, HoldsTheStandardDefaultPalettes) {
    expandResourcesOnce();
    const PaletteDesc two = defaultPalette(2);
    const PaletteDesc sixteen = defaultPalette(16);
    const PaletteDesc sixtyFour = defaultPalette(64);
    const PaletteDesc full = defaultPalette(256);
    ASSERT_EQ(two.count, 2);
    EXPECT_EQ(colour(two, 1), (std::array<int, 3>{255, 255, 255}));

    EXPECT_EQ(colour(sixteen, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(colour(sixteen, 1), (std::array<int, 3>{0, 0, 0xAA}));
    EXPECT_EQ(colour(sixteen, 6), (std::array<int, 3>{0xAA, 0x55, 0}));
    EXPECT_EQ(colour(sixteen, 7), (std::array<int, 3>{0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(colour(sixteen, 8), (std::array<int, 3>{0x55, 0x55, 0x55}));
    EXPECT_EQ(colour(sixteen, 14), (std::array<int, 3>{0xFF, 0xFF, 0x55}));

    EXPECT_EQ(colour(sixtyFour, 0x04), (std::array<int, 3>{0xAA, 0, 0}));
    EXPECT_EQ(colour(sixtyFour, 0x14), (std::array<int, 3>{0xAA, 0x55, 0}));
    EXPECT_EQ(colour(sixtyFour, 0x38), (std::array<int, 3>{0x55, 0x55, 0x55}));
    EXPECT_EQ(colour(sixtyFour, 0x3F), (std::array<int, 3>{0xFF, 0xFF, 0xFF}));

    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(colour(full, i), colour(sixteen, i)) << i;
    }
    EXPECT_EQ(colour(full, 16), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(colour(full, 23), (std::array<int, 3>{0x61, 0x61, 0x61}));
    EXPECT_EQ(colour(full, 31), (std::array<int, 3>{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(colour(full, 32), (std::array<int, 3>{0, 0, 0xFF}));
    EXPECT_EQ(colour(full, 40), (std::array<int, 3>{0xFF, 0, 0}));
    EXPECT_EQ(colour(full, 44), (std::array<int, 3>{0xFF, 0xFF, 0}));
    EXPECT_EQ(colour(full, 104), (std::array<int, 3>{0, 0, 0x71}));
    EXPECT_EQ(colour(full, 247), (std::array<int, 3>{0x2C, 0x30, 0x41}));
    EXPECT_EQ(colour(full, 248), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(colour(full, 255), (std::array<int, 3>{0, 0, 0}));
}

TEST(ResourceBlob, ExpanderRefusesBrokenStreams) {
    int result = 0;
    // No end code.
    expand(tools::packCodes(std::vector<std::uint16_t>{'a', 'b', 'c'}), 100, result);
    EXPECT_EQ(result, -1);
    // Nothing at all.
    expand({}, 100, result);
    EXPECT_EQ(result, -1);
    // More output than room.
    const auto blob = resourceBlob();
    expand({blob.begin(), blob.end()}, RESOURCE_BLOCK_SIZE - 1, result);
    EXPECT_EQ(result, -1);
    // A code ahead of the dictionary makes an entry that is its own prefix; reading it again
    // must fail instead of following the chain for ever.
    expand(tools::packCodes(std::vector<std::uint16_t>{65, 257, 257, 257, 4095}), 100000, result);
    EXPECT_EQ(result, -1);
}

// Fonts that do not decode whole would draw blank glyphs: the mode set fails instead, with the
// conversation left on the process console.
TEST(ResourceBlob, AFontThatFailsToDecodeFailsTheModeSet) {
    const auto blob = resourceBlob();
    const std::vector<std::uint8_t> unterminated(blob.begin(), blob.end() - 2);
    const std::vector<std::uint8_t> shortBlock =
        tools::packCodes(std::vector<std::uint16_t>{65, 4095});
    for (const auto& broken : {unterminated, shortBlock}) {
        useResourceBlob(broken);
        EXPECT_FALSE(expandResourcesOnce());
        EXPECT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_ILLEGAL_FUNCTION_CALL);
        EXPECT_EQ(activeScreen(), nullptr);
        EXPECT_EQ(consoleHooks().printBuffer, nullptr);
    }
    useResourceBlob({});
    ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    EXPECT_EQ(activeScreen()->font.bits['A' * 16 + 2], 0x08);
    setScreenMode(0, 0, 0, 0, 0);
}

TEST(ResourceBlob, PackerAndExpanderAgree) {
    std::mt19937 random(7);
    std::vector<std::vector<std::uint8_t>> inputs = {{42}, {'a', 'a', 'a', 'a', 'a'}};
    std::vector<std::uint8_t> noise(60000);
    for (auto& byte : noise) {
        byte = static_cast<std::uint8_t>(random());
    }
    inputs.push_back(noise);
    std::vector<std::uint8_t> runs; // long repeats: long chains and the code being defined
    for (int i = 0; i < 300; ++i) {
        runs.insert(runs.end(), static_cast<std::size_t>(i % 97 + 1),
                    static_cast<std::uint8_t>(i % 5));
    }
    inputs.push_back(runs);
    for (const auto& input : inputs) {
        const auto codes = tools::lzwCodes(input);
        ASSERT_EQ(codes.back(), tools::LZW_END_CODE);
        for (std::size_t i = 0; i + 1 < codes.size(); ++i) {
            ASSERT_LE(codes[i], tools::LZW_LAST_DICTIONARY_CODE); // 4095 only at the end
        }
        int result = -1;
        const auto out = expand(tools::packCodes(codes), input.size(), result);
        ASSERT_EQ(result, 0) << input.size() << " bytes";
        EXPECT_EQ(out, input);
    }
}

} // namespace
} // namespace ulo
