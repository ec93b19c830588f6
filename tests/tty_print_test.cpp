#include "console/print.hpp"
#include "console/tty_print.hpp"
#include "support/memory_screen.hpp"

#include <gtest/gtest.h>

namespace ulo {
namespace {

using testing::MemoryScreen;

void print(std::string_view text) {
    printText(0, text, 0);
}

class TtyPrint : public ::testing::Test {
protected:
    MemoryScreen screen;
};

TEST_F(TtyPrint, LongLineFromRow29WrapsAndScrollsOnce) {
    screen.moveTo(29, 1);
    std::string line;
    for (int i = 0; i < 200; ++i) {
        line.push_back(static_cast<char>('A' + i % 26));
    }
    print(line);
    EXPECT_EQ(screen.scrolls(), 1);
    EXPECT_EQ(screen.row(28), line.substr(0, 80));
    EXPECT_EQ(screen.row(29), line.substr(80, 80));
    EXPECT_EQ(screen.row(30), line.substr(160) + std::string(40, ' '));
    EXPECT_EQ(screen.cursorRow(), 30);
    EXPECT_EQ(screen.cursorColumn(), 41);
}

TEST_F(TtyPrint, FullLastRowParksTheCursorUntilMoreOutput) {
    screen.moveTo(30, 1);
    print(std::string(80, 'x'));
    EXPECT_EQ(screen.scrolls(), 0);
    EXPECT_TRUE(screen.pendingWrap());
    EXPECT_EQ(screen.cursorRow(), 30);
    EXPECT_EQ(screen.cursorColumn(), 80);
    printEnd(0, PRINT_NEWLINE); // the wrap and the newline each advance one row
    EXPECT_EQ(screen.scrolls(), 2);
    EXPECT_EQ(screen.row(28), std::string(80, 'x'));
    EXPECT_EQ(screen.row(29), std::string(80, ' '));
    EXPECT_EQ(screen.cursorColumn(), 1);
}

TEST_F(TtyPrint, ControlCharacters) {
    screen.moveTo(1, 79);
    print("\t");
    EXPECT_EQ(screen.row(1), std::string(80, ' '));
    EXPECT_EQ(screen.cursorRow(), 2);
    EXPECT_EQ(screen.cursorColumn(), 1);

    print("\bab\b\bc\x0c\a");
    EXPECT_EQ(screen.row(2).substr(0, 3), "c\x0c ");
    EXPECT_EQ(screen.cursorColumn(), 3); // BEL prints nothing and does not move
    EXPECT_EQ(screen.beeps(), 1);

    print("\tT\nL\rR");
    EXPECT_EQ(screen.row(2).substr(0, 9), "c\x0c      T");
    EXPECT_EQ(screen.row(3).substr(0, 2), "R ");
    EXPECT_EQ(screen.cursorRow(), 3);
    EXPECT_EQ(screen.cursorColumn(), 2);
    EXPECT_EQ(screen.scrolls(), 0);
}

TEST_F(TtyPrint, NewlineOnTheLastRowScrollsAtOnce) {
    screen.moveTo(30, 5);
    print("end\r\n");
    EXPECT_EQ(screen.scrolls(), 1);
    EXPECT_EQ(screen.row(29).substr(4, 3), "end");
    EXPECT_EQ(screen.cursorRow(), 30);
    EXPECT_EQ(screen.cursorColumn(), 1);
    // An empty print with a newline is just a newline.
    printText(0, "", PRINT_NEWLINE);
    EXPECT_EQ(screen.scrolls(), 2);
}

TEST(TtyPrintTarget, LongRunsPassTheBufferAndABottomOfMinusOneNeverScrolls) {
    struct Grid {
        std::string text;
        int scrolls = 0;
    } grid;
    TtyTarget target{
        &grid,
        [](TtyTarget& t, int, int, int, int, int) { ++static_cast<Grid*>(t.context)->scrolls; },
        [](TtyTarget& t, const std::uint8_t* bytes, std::size_t count) {
            static_cast<Grid*>(t.context)->text.append(reinterpret_cast<const char*>(bytes), count);
            return 1;
        },
        nullptr,
        0,
        0,
        9999,
        -1,
        0,
        0};
    const std::string run(1000, 'q');
    ttyPrint(target, reinterpret_cast<const std::uint8_t*>(run.data()), run.size(), 1);
    EXPECT_EQ(grid.text, run);
    EXPECT_EQ(target.x, 1000);
    ttyPrint(target, reinterpret_cast<const std::uint8_t*>("\n\n"), 2, 1);
    EXPECT_EQ(target.y, 2);
    EXPECT_EQ(target.x, 0);
    EXPECT_EQ(grid.scrolls, 0);
}

} // namespace
} // namespace ulo
