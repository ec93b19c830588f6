// Pixel converters: every member of every routine set against a reference written from the
// pixel layouts, on random pixels and random dirty rows.
#include "screen/blitters.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace ulo {
namespace {

constexpr std::uint8_t UNTOUCHED = 0xA5;

// A screen built by hand, so that widths the mode table lacks (vector tails) are covered too.
struct TestScreen {
    ScreenState state;
    TestScreen(int width, int height, int depth, int scanlineSize, std::uint32_t seed) {
        std::mt19937 random(seed);
        state.width = width;
        state.height = height;
        state.depth = depth;
        state.bytesPerPixel = (depth + 7) / 8;
        state.pitch = width * state.bytesPerPixel;
        state.scanlineSize = scanlineSize;
        state.pages.reset(new PageBytes[1]);
        state.pages[0].reset(static_cast<std::uint8_t*>(
            std::calloc(static_cast<std::size_t>(state.pitch * height), 1)));
        state.framebuffer = state.pages[0].get();
        for (int i = 0; i < state.pitch * height; ++i) {
            state.framebuffer[i] = static_cast<std::uint8_t>(random());
        }
        state.dirty.reset(new std::uint8_t[static_cast<std::size_t>(height * scanlineSize)]());
        for (int y = 0; y < height; ++y) {
            state.dirty[static_cast<std::size_t>(y)] = random() % 3 != 0 ? 1 : 0;
        }
        state.devicePalette.reset(new std::uint32_t[256]);
        for (int i = 0; i < 256; ++i) {
            state.devicePalette[static_cast<std::size_t>(i)] = random() & 0xFFFFFF;
        }
        state.blitterTable.reset(new std::uint32_t[512]);
    }
};

struct Rgb {
    std::uint32_t red, green, blue;
};

// The destination bytes of source pixel x of row y, from the layouts alone.
std::vector<std::uint8_t> expectedPixel(const ScreenState& s, int x, int y, int bits,
                                        bool blueFirst) {
    const std::uint8_t* at = s.framebuffer + y * s.pitch + x * s.bytesPerPixel;
    std::vector<std::uint8_t> out;
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    if (s.bytesPerPixel == 1 && bits == 8) {
        put(*at, 1);
        return out;
    }
    Rgb c{};      // 8-bit channels
    Rgb narrow{}; // 5-6-5 fields when the source has them
    bool fields = false;
    if (s.bytesPerPixel == 1) {
        const std::uint32_t e = s.devicePalette[*at];
        c = {e & 0xFF, e >> 8 & 0xFF, e >> 16 & 0xFF};
    } else if (s.bytesPerPixel == 2) {
        const std::uint32_t p = at[0] | at[1] << 8;
        narrow = {p >> 11, p >> 5 & 0x3F, p & 0x1F};
        c = {narrow.red << 3, narrow.green << 2, narrow.blue << 3};
        fields = true;
    } else {
        std::uint32_t p;
        std::memcpy(&p, at, 4);
        if (bits == 32 && !blueFirst) {
            put(p, 4); // the straight copy keeps bits 24-31
            return out;
        }
        c = {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF};
    }
    const std::uint32_t high = blueFirst ? c.blue : c.red;
    const std::uint32_t low = blueFirst ? c.red : c.blue;
    switch (bits) {
    case 15:
        if (fields) {
            const std::uint32_t h = blueFirst ? narrow.blue : narrow.red;
            const std::uint32_t l = blueFirst ? narrow.red : narrow.blue;
            put(h << 10 | (narrow.green >> 1) << 5 | l, 2);
        } else {
            put((high >> 3) << 10 | (c.green >> 3) << 5 | low >> 3, 2);
        }
        break;
    case 16:
        if (fields) {
            const std::uint32_t h = blueFirst ? narrow.blue : narrow.red;
            const std::uint32_t l = blueFirst ? narrow.red : narrow.blue;
            put(h << 11 | narrow.green << 5 | l, 2);
        } else {
            put((high >> 3) << 11 | (c.green >> 2) << 5 | low >> 3, 2);
        }
        break;
    case 24:
        put(low | c.green << 8 | high << 16, 3);
        break;
    default:
        put(low | c.green << 8 | high << 16, 4);
        break;
    }
    return out;
}

std::vector<RoutineSet> supportedSets() {
    std::vector<RoutineSet> sets;
    for (const RoutineSet set :
         {RoutineSet::Plain, RoutineSet::Sse2, RoutineSet::Avx2, RoutineSet::Avx512}) {
        if (routineSetSupported(set)) {
            sets.push_back(set);
        }
    }
    return sets;
}

const char* setName(RoutineSet set) {
    constexpr const char* NAMES[] = {"plain", "sse2", "avx2", "avx512"};
    return NAMES[static_cast<int>(set)];
}

TEST(Blitters, EveryMemberMatchesThePixelLayouts) {
    struct Geometry {
        int width, height, scanlineSize;
    };
    int checked = 0;
    for (const int depth : {8, 16, 32}) {
        for (const Geometry g : {Geometry{640, 12, 1}, Geometry{37, 9, 1}, Geometry{53, 7, 2}}) {
            TestScreen screen(g.width, g.height, depth, g.scanlineSize,
                              static_cast<std::uint32_t>(depth * 1000 + g.width));
            const ScreenState& s = screen.state;
            for (const RoutineSet set : supportedSets()) {
                for (const int bits : {8, 15, 16, 24, 32}) {
                    for (const bool blueFirst : {false, true}) {
                        const Blitter blit = blitterOfSet(set, depth, bits, blueFirst);
                        if (bits == 8 && depth != 8) {
                            EXPECT_EQ(blit, nullptr);
                            continue;
                        }
                        ASSERT_NE(blit, nullptr);
                        buildBlitterTable(screen.state, blueFirst);
                        const int size = bits == 15 ? 2 : (bits + 7) / 8;
                        const int pitch = g.width * size + 5; // padding stays untouched
                        std::vector<std::uint8_t> out(
                            static_cast<std::size_t>(pitch * g.height * g.scanlineSize), UNTOUCHED);
                        blit(s, out.data(), pitch);
                        for (int line = 0; line < g.height * g.scanlineSize; ++line) {
                            const int y = line / g.scanlineSize;
                            const std::uint8_t* row = out.data() + line * pitch;
                            for (int x = 0; x < g.width; ++x) {
                                std::vector<std::uint8_t> expected(static_cast<std::size_t>(size),
                                                                   UNTOUCHED);
                                if (s.dirty[static_cast<std::size_t>(y)] != 0) {
                                    expected = expectedPixel(s, x, y, bits, blueFirst);
                                }
                                ASSERT_EQ(
                                    std::vector<std::uint8_t>(row + x * size, row + (x + 1) * size),
                                    expected)
                                    << setName(set) << " depth " << depth << " to " << bits
                                    << (blueFirst ? " blue-first" : " red-first") << " width "
                                    << g.width << " line " << line << " x " << x;
                            }
                            for (int pad = g.width * size; pad < pitch; ++pad) {
                                ASSERT_EQ(row[pad], UNTOUCHED);
                            }
                        }
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_GE(checked, 3 * 3 * 9 - 9);
}

TEST(Blitters, ChoiceFollowsDepthAndDestination) {
    TestScreen screen(64, 2, 32, 1, 1);
    ScreenState& s = screen.state;
    EXPECT_EQ(chooseBlitter(s, 8, false), nullptr);
    EXPECT_EQ(chooseBlitter(s, 12, false), nullptr);
    s.depth = 12;
    EXPECT_EQ(chooseBlitter(s, 32, false), nullptr);
    s.depth = 32;

    // White to 5-6-5 and a blue pixel with a top byte to a blue-first surface.
    const std::uint32_t white = 0xFFFFFFFF;
    const std::uint32_t blue = 0xFF0000FF;
    std::memcpy(s.framebuffer, &white, 4);
    std::memcpy(s.framebuffer + 4, &blue, 4);
    s.dirty[0] = 1;
    s.dirty[1] = 0;
    std::vector<std::uint8_t> out(64 * 4 * 2, 0);
    chooseBlitter(s, 16, false)(s, out.data(), 64 * 4);
    EXPECT_EQ(out[0] | out[1] << 8, 0xFFFF);
    EXPECT_EQ(out[2] | out[3] << 8, 0x001F);
    chooseBlitter(s, 32, true)(s, out.data(), 64 * 4);
    std::uint32_t swapped;
    std::memcpy(&swapped, out.data() + 4, 4);
    EXPECT_EQ(swapped, 0x00FF0000u);
    // The lookup table, red-first: low byte 0x1F is blue, high byte 0xF8 is red.
    chooseBlitter(s, 32, false);
    EXPECT_EQ(s.blitterTable[0x1F], 0xF8u);
    EXPECT_EQ(s.blitterTable[0xE0], 0x1C00u);
    EXPECT_EQ(s.blitterTable[256 + 0x07], 0xE000u);
    EXPECT_EQ(s.blitterTable[256 + 0xF8], 0xF80000u);
}

TEST(MemoryRoutines, VectorFillsAndCopiesWriteThePlainBytes) {
    const MemoryRoutines& plain = memoryRoutines(RoutineSet::Plain);
    std::mt19937 random(3);
    for (const RoutineSet set : supportedSets()) {
        const MemoryRoutines& routines = memoryRoutines(set);
        for (const std::size_t count : {0u, 1u, 7u, 16u, 33u, 641u}) {
            const std::uint32_t colour = static_cast<std::uint32_t>(random());
            // A colour of alike bytes too: the fills may take a shorter way for it.
            for (const std::uint32_t fillColour : {colour, 0u}) {
                for (const std::size_t pixelBytes : {1u, 2u, 4u}) {
                    std::vector<std::uint8_t> expected(count * 4 + 8, UNTOUCHED);
                    std::vector<std::uint8_t> actual = expected;
                    plain.fill(expected.data() + 1, fillColour, count, pixelBytes);
                    routines.fill(actual.data() + 1, fillColour, count, pixelBytes);
                    ASSERT_EQ(actual, expected)
                        << setName(set) << " fill of " << count << " x " << pixelBytes;
                }
            }
            std::vector<std::uint8_t> source(count + 3);
            for (auto& byte : source) {
                byte = static_cast<std::uint8_t>(random());
            }
            std::vector<std::uint8_t> copied(count + 8, UNTOUCHED);
            routines.copy(copied.data() + 2, source.data() + 3, count);
            ASSERT_TRUE(std::equal(source.begin() + 3, source.end(), copied.begin() + 2));
            ASSERT_EQ(copied[count + 2], UNTOUCHED) << setName(set) << " copy of " << count;
        }
    }
    // The fills repeat the colour's low bytes in memory order.
    std::uint8_t words[8] = {};
    plain.fill(words, 0x12345678, 2, 2);
    EXPECT_EQ(words[0], 0x78);
    EXPECT_EQ(words[1], 0x56);
    EXPECT_EQ(words[2], 0x78);
    EXPECT_EQ(words[4], 0);
}

} // namespace
} // namespace ulo
