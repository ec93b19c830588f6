// Glyphs, scrolling, cells, dirty rows and the screen lock on the framebuffer.
#include "console/print.hpp"
#include "screen/memory_routines.hpp"
#include "screen/text_cells.hpp"
#include "support/fake_drivers.hpp"
#include "support/screen_pictures.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

namespace ulo {
namespace {

using testing::samePicture;
using testing::textPicture;

class TextCells : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE); }
    void TearDown() override { setScreenMode(0, 0, 0, 0, 0); }

    ScreenState& screen() { return *activeScreen(); }
    std::uint32_t pixel(int x, int y) {
        std::uint32_t value;
        std::memcpy(&value, screen().framebuffer + y * 2560 + x * 4, 4);
        return value;
    }
    std::vector<int> dirtyRows() { return testing::dirtyRows(screen()); }
    void clearDirty() { std::memset(screen().dirty.get(), 0, 480); }
    std::string cellRow(int row) {
        std::string text;
        for (int c = 0; c < 80; ++c) {
            text.push_back(static_cast<char>(screen().textCells[0][row * 80 + c].code));
        }
        return text;
    }
    // Rows 0-29 each filled with a different run of letters.
    std::vector<std::string> fillRows() {
        std::vector<std::string> rows;
        for (int r = 0; r < 30; ++r) {
            std::string row;
            for (int c = 0; c < 80; ++c) {
                row.push_back(static_cast<char>('!' + (r * 7 + c) % 90));
            }
            DirtySpan span;
            drawGlyphs(screen(), span, 0, r, reinterpret_cast<const std::uint8_t*>(row.data()),
                       row.size());
            rows.push_back(row);
        }
        return rows;
    }
    static std::vector<int> range(int first, int end) {
        std::vector<int> rows;
        for (int y = first; y < end; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
};

TEST_F(TextCells, LetterAAtTheOriginSetsExactlyItsGlyphPixels) {
    printBuffer("A", 0);
    int set = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint32_t p = pixel(x, y);
            ASSERT_TRUE(p == 0xFFFFFFFFu || p == 0u) << x << "," << y;
            set += p != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(set, 39);
    EXPECT_TRUE(samePicture(textPicture({"A"}), framebufferPicture(screen()), "letter-a"));
    EXPECT_EQ(dirtyRows(), range(0, 16));
    EXPECT_EQ(screen().textCells[0][0].code, 'A');
    EXPECT_EQ(screen().textCells[0][0].foreground, 0xFFFFFFFFu);
}

TEST_F(TextCells, ASpaceErasesACell) {
    printBuffer("\xDB", 0);
    setCursor(1, 1, CURSOR_KEEP);
    printBuffer(" ", 0);
    EXPECT_TRUE(samePicture(textPicture({}), framebufferPicture(screen()), "space"));
}

TEST_F(TextCells, LineAndBlockGlyphs) {
    printBuffer("\xB3\xDB", 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(pixel(x, y), x == 3 || x == 4 ? 0xFFFFFFFFu : 0u) << x << "," << y;
            EXPECT_EQ(pixel(8 + x, y), 0xFFFFFFFFu) << x << "," << y;
        }
    }
    EXPECT_TRUE(samePicture(textPicture({"\xB3\xDB"}), framebufferPicture(screen()), "179-219"));
}

TEST_F(TextCells, ScrollingTheWholeViewByOneRow) {
    auto rows = fillRows();
    clearDirty();
    DirtySpan span;
    scrollText(screen(), span, 0, 0, 79, 29, 1);
    EXPECT_EQ(span.first, 0);
    EXPECT_EQ(span.end, 480);
    rows.erase(rows.begin());
    EXPECT_TRUE(samePicture(textPicture(rows), framebufferPicture(screen()), "scroll-1"));
    EXPECT_EQ(cellRow(0), rows[0]);
    EXPECT_EQ(cellRow(28), rows[28]);
    EXPECT_EQ(cellRow(29), std::string(80, ' '));
    markDirty(screen(), span);
    EXPECT_EQ(dirtyRows(), range(0, 480));
}

TEST_F(TextCells, ScrollingByTheViewHeightOrMoreClearsIt) {
    for (const int n : {30, 31}) {
        fillRows();
        DirtySpan span;
        scrollText(screen(), span, 0, 0, 79, 29, n);
        EXPECT_EQ(span.end - span.first, 480);
        EXPECT_TRUE(samePicture(textPicture({}), framebufferPicture(screen()), "scroll-30"));
        for (int r = 0; r < 30; ++r) {
            ASSERT_EQ(cellRow(r), std::string(80, ' ')) << r;
        }
    }
}

TEST_F(TextCells, ScrollingPartOfTheViewLeavesTheRest) {
    auto rows = fillRows();
    DirtySpan span;
    scrollText(screen(), span, 0, 10, 79, 19, 3);
    EXPECT_EQ(span.first, 160);
    EXPECT_EQ(span.end, 320);
    auto expected = rows;
    for (int r = 10; r <= 16; ++r) {
        expected[static_cast<std::size_t>(r)] = rows[static_cast<std::size_t>(r + 3)];
    }
    for (int r = 17; r <= 19; ++r) {
        expected[static_cast<std::size_t>(r)].clear();
    }
    EXPECT_TRUE(samePicture(textPicture(expected), framebufferPicture(screen()), "scroll-part"));
    EXPECT_EQ(cellRow(9), rows[9]);
    EXPECT_EQ(cellRow(10), rows[13]);
    EXPECT_EQ(cellRow(19), std::string(80, ' '));
    EXPECT_EQ(cellRow(20), rows[20]);
}

TEST_F(TextCells, FillTextCellsCoversAHalfOpenRectangle) {
    fillTextCells(screen(), 2, 1, 5, 3, 0, 'x', 7, 9);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            const TextCell& cell = screen().textCells[0][r * 80 + c];
            const bool inside = c >= 2 && c < 5 && r >= 1 && r < 3;
            EXPECT_EQ(cell.code, inside ? 'x' : ' ') << c << "," << r;
            EXPECT_EQ(cell.background, inside ? 9u : 0u);
        }
    }
}

TEST_F(TextCells, DrawingOnAPageNotOnShowMarksNothing) {
    ASSERT_EQ(setScreenMode(18, 32, 2, SCREEN_NULL, 0), ERR_NONE);
    screen().workPage = 1;
    printBuffer("hello", 0);
    EXPECT_TRUE(dirtyRows().empty());
    EXPECT_TRUE(samePicture(textPicture({}), framebufferPicture(screen()), "hidden-page"));
    EXPECT_EQ(screen().textCells[1][0].code, 'h');
    EXPECT_EQ(screen().textCells[0][0].code, ' ');
    screen().workPage = 0;
    printBuffer("x", 0);
    EXPECT_EQ(dirtyRows(), range(0, 16));
}

// Other depths and fonts: every pixel of the cell is the foreground where the font file has a
// bit, the background elsewhere.
TEST_F(TextCells, OtherDepthsAndFontsDrawTheSameGlyphs) {
    struct Case {
        int mode;
        int depth;
        int fontHeight;
        std::uint32_t foreground;
    };
    for (const Case c : {Case{18, 16, 16, 0xFFFF}, Case{18, 8, 16, 15}, Case{12, 0, 16, 15},
                         Case{13, 0, 8, 15}, Case{9, 0, 14, 15}, Case{14, 24, 8, 0xFFFFFFFF}}) {
        ASSERT_EQ(setScreenMode(c.mode, c.depth, 0, SCREEN_NULL, 0), ERR_NONE);
        const ScreenState& s = screen();
        printBuffer("Ag\xB3", 0);
        const auto font = testing::fontFile(c.fontHeight);
        for (int i = 0; i < 3; ++i) {
            const auto code = static_cast<std::uint8_t>("Ag\xB3"[i]);
            for (int y = 0; y < c.fontHeight; ++y) {
                const std::uint8_t bits = font[static_cast<std::size_t>(code * c.fontHeight + y)];
                for (int x = 0; x < 8; ++x) {
                    const std::uint32_t expected = (bits & (0x80 >> x)) != 0 ? c.foreground : 0;
                    ASSERT_EQ(s.pixels.get(s, i * 8 + x, y), expected)
                        << "mode " << c.mode << " glyph " << i << " at " << x << "," << y;
                }
            }
        }
        ASSERT_EQ(s.pixels.get(s, 24, 0), 0u); // nothing beyond the run
    }
}

// Each routine set this processor runs draws and scrolls exactly the plain set's pixels: runs of
// every length (beyond one vector step too) from any column, every code.
TEST_F(TextCells, EveryRoutineSetDrawsThePlainSetsPixels) {
    const auto picture = [](RoutineSet set) {
        limitRoutineSets(set);
        EXPECT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
        ScreenState& s = *activeScreen();
        std::mt19937 random(7);
        for (std::int32_t row = 0; row < 30; ++row) {
            const auto column = static_cast<std::int32_t>(random() % 20);
            std::vector<std::uint8_t> run(random() % static_cast<std::uint32_t>(81 - column));
            for (auto& code : run) {
                code = static_cast<std::uint8_t>(random());
            }
            DirtySpan span;
            drawGlyphs(s, span, column, row, run.data(), run.size());
        }
        DirtySpan span;
        scrollText(s, span, 0, 4, 79, 20, 3);
        return framebufferPicture(s);
    };
    const RgbPicture plain = picture(RoutineSet::Plain);
    for (const RoutineSet set : {RoutineSet::Sse2, RoutineSet::Avx2, RoutineSet::Avx512}) {
        if (routineSetSupported(set)) {
            EXPECT_TRUE(samePicture(plain, picture(set),
                                    "routine-set-" + std::to_string(static_cast<int>(set))));
        }
    }
    limitRoutineSets(RoutineSet::Avx512);
}

TEST_F(TextCells, TheLockIsTakenOnceAndReleasedByItsTaker) {
    testing::FakeDrivers drivers;
    drivers.succeedOn("Alpha", 0);
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
    drivers.clearCalls();
    printBuffer("a", 0);
    EXPECT_EQ(drivers.calls(), (std::vector<std::string>{"Alpha lock", "Alpha unlock"}));
    drivers.clearCalls();
    {
        const ScreenLock outer(activeScreen());
        EXPECT_EQ(screen().lockFlags & (LOCK_TAKEN | LOCK_HELD), LOCK_TAKEN | LOCK_HELD);
        printBuffer("b", 0);
        clearScreen(CLEAR_ALL);
        EXPECT_EQ(drivers.calls(), (std::vector<std::string>{"Alpha lock"}));
    }
    EXPECT_EQ(drivers.calls(), (std::vector<std::string>{"Alpha lock", "Alpha unlock"}));
    EXPECT_EQ(screen().lockFlags & (LOCK_TAKEN | LOCK_HELD), 0u);
}

} // namespace
} // namespace ulo
