#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "support/memory_screen.hpp"

#include <gtest/gtest.h>

namespace ulo {
namespace {

using testing::MemoryScreen;

class LineEditor : public ::testing::Test {
protected:
    // Reads one line as the conversation does: no prompt, a newline afterwards.
    std::string readLine() {
        static constexpr std::string_view NO_PROMPT;
        std::string line = "unchanged";
        EXPECT_EQ(inputLine(&NO_PROMPT, line, -1, 0, 0, -1), ERR_NONE);
        return line;
    }

    MemoryScreen screen;
};

TEST_F(LineEditor, EnterAtOnceGivesAnEmptyLine) {
    screen.moveTo(30, 1);
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), "");
    EXPECT_EQ(screen.scrolls(), 1);
    EXPECT_EQ(screen.cursorColumn(), 1);
}

TEST_F(LineEditor, InsertsAtTheEditPosition) {
    screen.type("abc");
    screen.press({KEY_LEFT, KEY_LEFT, 'X', 'Y', KEY_ENTER});
    EXPECT_EQ(readLine(), "aXYbc");
    EXPECT_EQ(screen.row(1).substr(0, 6), "aXYbc ");
    EXPECT_EQ(screen.cursorRow(), 2);
    EXPECT_EQ(screen.cursorColumn(), 1);
}

TEST_F(LineEditor, BackspaceDeleteHomeEnd) {
    screen.press({KEY_BACKSPACE}); // nothing at the start, no beep
    screen.type("hello");
    screen.press({KEY_DELETE}); // at the end: a beep
    screen.press({KEY_HOME, KEY_DELETE, KEY_END, KEY_BACKSPACE, KEY_LEFT, KEY_BACKSPACE});
    screen.press({KEY_INSERT, KEY_F1, WINDOW_CLOSE_KEY, KEY_PAGE_UP, 1, 31, KEY_ENTER});
    EXPECT_EQ(readLine(), "el");
    EXPECT_EQ(screen.beeps(), 1);
    EXPECT_EQ(screen.row(1).substr(0, 6), "el    ");
}

TEST_F(LineEditor, EscapeBlanksTheLine) {
    screen.moveTo(5, 11);
    screen.type("0123456789");
    screen.press({KEY_LEFT, KEY_ESCAPE});
    screen.type("new");
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), "new");
    EXPECT_EQ(screen.row(5), std::string(10, ' ') + "new" + std::string(67, ' '));
}

TEST_F(LineEditor, TabStopsCountFromTheStartOfTheText) {
    screen.moveTo(1, 5);
    screen.type("abc\t");
    screen.press({KEY_HOME});
    screen.type("12345678\t");
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), "12345678        abc     ");
}

TEST_F(LineEditor, UpAndDownMoveByAScreenRow) {
    const std::string text(100, 'a');
    screen.type(text);
    screen.press({KEY_DOWN, KEY_UP, 'U', KEY_UP, 'V', KEY_DOWN, KEY_DOWN, 'D', KEY_ENTER});
    std::string expected = text;
    expected.insert(20, 1, 'U');
    // The second Up finds fewer than 80 characters before it and does nothing; Down then moves
    // forward a row while 80 characters follow, once.
    expected.insert(21, 1, 'V');
    expected.insert(102, 1, 'D');
    EXPECT_EQ(readLine(), expected);
}

TEST_F(LineEditor, TypingThe80thCharacterOnTheLastRowScrollsAtOnce) {
    screen.moveTo(30, 1);
    screen.type(std::string(80, 'z'));
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), std::string(80, 'z'));
    EXPECT_EQ(screen.row(28), std::string(80, 'z'));
    EXPECT_EQ(screen.scrolls(), 2); // once at the 80th character, once for the newline
}

TEST_F(LineEditor, InsertingIntoAWrappedLineOnTheLastRowFollowsTheScroll) {
    screen.moveTo(30, 1);
    screen.type(std::string(79, 'a'));
    screen.press({KEY_HOME, 'b', 'c', KEY_ENTER});
    EXPECT_EQ(readLine(), "bc" + std::string(79, 'a'));
    EXPECT_EQ(screen.row(28), "bc" + std::string(78, 'a'));
    EXPECT_EQ(screen.row(29), "a" + std::string(79, ' '));
}

TEST_F(LineEditor, AFullLineRefusesKeysWithTheBell) {
    screen.type(std::string(MAX_LINE_LENGTH - 3, 'a'));
    screen.press({KEY_HOME, KEY_TAB, KEY_END}); // 8 spaces would not fit
    screen.type("bcde");                        // e would not
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), std::string(MAX_LINE_LENGTH - 3, 'a') + "bcd");
    EXPECT_EQ(screen.beeps(), 2);
}

TEST_F(LineEditor, PromptQuestionMarkAndFixedDestination) {
    const std::string_view prompt = "Name";
    screen.type("abcdef");
    screen.press({KEY_ENTER});
    std::string destination;
    EXPECT_EQ(inputLine(&prompt, destination, 4, 0, 1, 0), ERR_NONE);
    EXPECT_EQ(destination, "abc");
    EXPECT_EQ(screen.row(1).substr(0, 12), "Name? abcdef");
    EXPECT_EQ(screen.cursorRow(), 1); // no newline asked for
}

TEST_F(LineEditor, EndedInputEndsTheLine) {
    screen.type("partial");
    std::string line;
    EXPECT_EQ(inputLine(nullptr, line, -1, 0, 0, -1), ERR_NONE);
    EXPECT_EQ(line, "partial");
    line = "kept";
    EXPECT_EQ(inputLine(nullptr, line, -1, 0, 0, -1), ERR_INPUT_ENDED);
    EXPECT_EQ(line, "kept");
}

TEST_F(LineEditor, EachKeyWorksWithTheSizeTheScreenHasThen) {
    screen.type("abc");
    screen.pressResize(40, 10); // the terminal got narrower while the line was typed
    screen.type(std::string(40, 'x'));
    screen.press({KEY_UP, 'U', KEY_ENTER});
    std::string expected = "abc" + std::string(40, 'x');
    expected.insert(3, 1, 'U'); // Up went back one row of the new width: 43 - 40
    EXPECT_EQ(readLine(), expected);
    EXPECT_EQ(screen.row(1), "abcUxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
    EXPECT_EQ(screen.row(2).substr(0, 5), "xxxx ");
    EXPECT_EQ(screen.cursorRow(), 3);
}

TEST_F(LineEditor, ANewWidthDrawsTheLineAgainInIt) {
    std::string line;
    for (int i = 0; i < 10; ++i) {
        line += "0123456789";
    }
    // Narrower in the middle of a line: it goes on over more rows.
    screen.type(line);
    screen.pressResize(40, 30);
    screen.type("Z");
    screen.press({KEY_ENTER});
    EXPECT_EQ(readLine(), line + "Z");
    EXPECT_EQ(screen.row(2), line.substr(40, 40));
    EXPECT_EQ(screen.row(3), line.substr(80) + "Z" + std::string(19, ' '));
    // Wider: it takes fewer rows, and the row it no longer needs is blanked.
    screen.type(line);
    screen.pressResize(80, 30);
    screen.press({KEY_HOME, 'Z', KEY_ENTER});
    EXPECT_EQ(readLine(), "Z" + line);
    EXPECT_EQ(screen.row(4), "Z" + line.substr(0, 79));
    EXPECT_EQ(screen.row(5), line.substr(79) + std::string(59, ' '));
    EXPECT_EQ(screen.row(6), std::string(80, ' '));
}

TEST(TextView, TheWholeScreenViewFollowsTheScreenSize) {
    MemoryScreen screen;
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    screen.pressResize(40, 10);
    EXPECT_FALSE(keyAvailable()); // the size change is carried out; no key follows it
    getTextView(&top, &bottom);
    EXPECT_EQ(top, 1);
    EXPECT_EQ(bottom, 10);
    setTextView(2, 5); // a view of its own keeps its rows
    screen.pressResize(40, 20);
    keyAvailable();
    getTextView(&top, &bottom);
    EXPECT_EQ(top, 2);
    EXPECT_EQ(bottom, 5);
    setTextView(0, 0);
}

TEST(AdvancePosition, WrapsRowsBothWays) {
    EXPECT_EQ(advancePosition({1, 5}, -1, 80).x, 80);
    EXPECT_EQ(advancePosition({1, 5}, -1, 80).y, 4);
    EXPECT_EQ(advancePosition({80, 5}, 1, 80).x, 1);
    EXPECT_EQ(advancePosition({80, 5}, 1, 80).y, 6);
    EXPECT_EQ(advancePosition({3, 2}, -163, 80).y, -1);
    EXPECT_EQ(advancePosition({3, 2}, -163, 80).x, 80);
}

} // namespace
} // namespace ulo
