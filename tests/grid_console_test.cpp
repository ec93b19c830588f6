// The grid console, once for every console: printing with the pending wrap and lazy scrolling,
// clearing, the cursor, keys and the bell, on a device that records what it is asked to do.
#include "console/grid_console.hpp"
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

std::pair<int, int> cursor() { // (row, column), 1-based
    std::int32_t column = 0;
    std::int32_t row = 0;
    getCursor(&column, &row);
    return {row, column};
}

class GridConsole : public ::testing::Test {
protected:
    MemoryScreen screen;
};

TEST_F(GridConsole, ALongLineFromRow29WrapsAndScrollsOnce) {
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
    EXPECT_EQ(cursor(), std::make_pair(30, 41));
}

TEST_F(GridConsole, AFullLastRowParksTheCursorUntilMoreOutput) {
    screen.moveTo(30, 1);
    print(std::string(80, 'x'));
    EXPECT_EQ(screen.scrolls(), 0);
    EXPECT_TRUE(screen.pendingWrap());
    EXPECT_EQ(cursor(), std::make_pair(30, 80));
    printBuffer("", 0); // nothing happens without the force bit
    EXPECT_TRUE(screen.pendingWrap());
    printEnd(0, PRINT_NEWLINE); // the wrap and the newline each advance one row
    EXPECT_EQ(screen.scrolls(), 2);
    EXPECT_FALSE(screen.pendingWrap());
    EXPECT_EQ(screen.row(28), std::string(80, 'x'));
    EXPECT_EQ(screen.row(29), std::string(80, ' '));
    EXPECT_EQ(cursor(), std::make_pair(30, 1));

    // A forced empty print carries out the wrap alone.
    setCursor(30, 71, CURSOR_KEEP);
    print("0123456789");
    ASSERT_TRUE(screen.pendingWrap());
    printBuffer("", PRINT_FORCE_ADJUST);
    EXPECT_EQ(cursor(), std::make_pair(30, 1));
    EXPECT_EQ(screen.row(29), std::string(70, ' ') + "0123456789");
}

TEST_F(GridConsole, ControlCharacters) {
    screen.moveTo(1, 79);
    print("\t");
    EXPECT_EQ(screen.row(1), std::string(80, ' '));
    EXPECT_EQ(cursor(), std::make_pair(2, 1));

    print("\bab\b\bc\x0c\a");
    EXPECT_EQ(screen.row(2).substr(0, 3), "c\x0c ");
    EXPECT_EQ(cursor(), std::make_pair(2, 3)); // BEL prints nothing and does not move
    EXPECT_EQ(screen.beeps(), 1);              // and asks the device's bell once

    print("\tT\nL\rR");
    EXPECT_EQ(screen.row(2).substr(0, 9), "c\x0c      T");
    EXPECT_EQ(screen.row(3).substr(0, 2), "R ");
    EXPECT_EQ(cursor(), std::make_pair(3, 2));
    EXPECT_EQ(screen.scrolls(), 0);
}

TEST_F(GridConsole, NewlineOnTheLastRowScrollsAtOnce) {
    screen.moveTo(30, 5);
    print("end\r\n");
    EXPECT_EQ(screen.scrolls(), 1);
    EXPECT_EQ(screen.row(29).substr(4, 3), "end");
    EXPECT_EQ(cursor(), std::make_pair(30, 1));
    // An empty print with a newline is just a newline.
    printText(0, "", PRINT_NEWLINE);
    EXPECT_EQ(screen.scrolls(), 2);
}

TEST_F(GridConsole, ClearModes) {
    for (int r = 1; r <= 30; ++r) {
        setCursor(r, 1, CURSOR_KEEP);
        print(std::string(80, static_cast<char>('a' + r % 26)));
    }
    ASSERT_TRUE(screen.pendingWrap());
    // The graphics viewport, and any mode other than the text ones: the text and its cursor stay.
    clearScreen(CLEAR_GRAPHICS_VIEWPORT);
    clearScreen(7);
    EXPECT_EQ(screen.viewportClears(), 2);
    EXPECT_EQ(screen.row(1), std::string(80, 'b'));
    EXPECT_EQ(cursor(), std::make_pair(30, 80));

    // The default is the viewport while the program has set one of its own.
    screen.setViewport(true);
    clearScreen(CLEAR_DEFAULT);
    EXPECT_EQ(screen.viewportClears(), 3);
    EXPECT_EQ(screen.row(1), std::string(80, 'b'));
    screen.setViewport(false);

    // Else the text view, when it is not the whole screen; the cursor goes to its top.
    setTextView(5, 10);
    clearScreen(CLEAR_DEFAULT);
    EXPECT_EQ(screen.row(4), std::string(80, 'e'));
    EXPECT_EQ(screen.row(5), std::string(80, ' '));
    EXPECT_EQ(screen.row(10), std::string(80, ' '));
    EXPECT_EQ(screen.row(11), std::string(80, 'l'));
    EXPECT_EQ(cursor(), std::make_pair(5, 1));

    // And everything, when the view is the whole screen; a pending wrap ends with it.
    setTextView(0, 0);
    setCursor(30, 80, CURSOR_KEEP);
    print("z");
    ASSERT_TRUE(screen.pendingWrap());
    clearScreen(CLEAR_DEFAULT);
    EXPECT_FALSE(screen.pendingWrap());
    for (int r = 1; r <= 30; ++r) {
        ASSERT_EQ(screen.row(r), std::string(80, ' '));
    }
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
    EXPECT_EQ(screenColumn(), 0);
    print("a");
    EXPECT_EQ(screen.row(1).substr(0, 2), "a ");
}

TEST_F(GridConsole, CursorPlacedInsideTheViewAndReportedPacked) {
    // This device shows no text cursor: the visibility bit reads clear, whatever was asked.
    EXPECT_EQ(setCursor(5, 10, CURSOR_SHOW), 10 | 5 << 8);
    EXPECT_EQ(cursor(), std::make_pair(5, 10));
    setCursor(31, 1, CURSOR_KEEP); // refused: outside the view
    setCursor(1, 81, CURSOR_KEEP);
    EXPECT_EQ(cursor(), std::make_pair(5, 10));
    setCursor(0, 3, CURSOR_KEEP); // 0 keeps the row
    EXPECT_EQ(cursor(), std::make_pair(5, 3));
    EXPECT_EQ(consoleHooks().getColumn(), 3);
    EXPECT_EQ(consoleHooks().getRow(), 5);
    // A new text view leaves the cursor where it was.
    setTextView(10, 20);
    EXPECT_EQ(cursor(), std::make_pair(5, 3));
    setTextView(0, 0);
}

TEST(GridConsoleShowingACursor, ReportsItsVisibilityAndKeepsItInTheView) {
    MemoryScreen screen(80, 30, true);
    EXPECT_EQ(setCursor(5, 10, CURSOR_HIDE), 10 | 5 << 8);
    EXPECT_EQ(setCursor(0, 0, CURSOR_KEEP), 10 | 5 << 8);
    EXPECT_EQ(setCursor(0, 0, CURSOR_SHOW), 10 | 5 << 8 | 1 << 16);
    setTextView(10, 20);
    EXPECT_EQ(cursor(), std::make_pair(10, 10));
    setTextView(0, 0);
}

TEST_F(GridConsole, KeysComeThroughTheKeyBuffer) {
    EXPECT_FALSE(keyAvailable());
    EXPECT_EQ(readKey(), 0);
    screen.press({'a', KEY_UP, WINDOW_CLOSE_KEY, 'b', 'c', KEY_F1});
    EXPECT_TRUE(keyAvailable());
    EXPECT_EQ(readKey(), 'a');
    EXPECT_EQ(readKey(), KEY_UP);
    EXPECT_EQ(consoleHooks().waitKey(), WINDOW_CLOSE_KEY);
    std::string text;
    EXPECT_EQ(consoleHooks().readString(text, 5), ERR_NONE);
    EXPECT_EQ(text, "bc"); // the extended key is passed over
    EXPECT_FALSE(keyAvailable());
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
