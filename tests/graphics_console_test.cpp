// The graphics screen as a console device: what the grid console prints, scrolls and clears shows
// in the framebuffer's pixels and cells and marks its rows dirty; keys come from the key buffer
// that the window's thread fills; the bell asks for its tone without drawing anything.
#include "console/keys.hpp"
#include "console/print.hpp"
#include "conversation/engine.hpp"
#include "screen/screen.hpp"
#include "support/memory_screen.hpp"
#include "support/screen_pictures.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace ulo {
namespace {

using testing::samePicture;
using testing::textPicture;

class GraphicsConsole : public ::testing::Test {
protected:
    void SetUp() override {
        resetKeyBuffer();
        ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    }
    void TearDown() override { setScreenMode(0, 0, 0, 0, 0); }

    ScreenState& screen() { return *activeScreen(); }
    std::pair<int, int> cursor() { // (row, column), 1-based
        std::int32_t column = 0;
        std::int32_t row = 0;
        getCursor(&column, &row);
        return {row, column};
    }
    RgbPicture picture() { return framebufferPicture(screen()); }
    void clearDirty() { std::memset(screen().dirty.get(), 0, 480); }
    std::vector<int> dirtyRows() { return testing::dirtyRows(screen()); }
    static std::vector<std::string> withRow(int row, const std::string& text,
                                            std::vector<std::string> rows = {}) {
        rows.resize(std::max<std::size_t>(rows.size(), static_cast<std::size_t>(row)));
        rows[static_cast<std::size_t>(row - 1)] = text;
        return rows;
    }
};

TEST_F(GraphicsConsole, BannerAndEmptyLine) {
    greet();
    EXPECT_TRUE(samePicture(textPicture({"Ulo V.3 01-09-07"}), picture(), "banner"));
    EXPECT_EQ(cursor(), std::make_pair(3, 1));
}

TEST_F(GraphicsConsole, EightyCharactersOnTheLastRowWaitForTheNextOutput) {
    const std::string line(80, 'x');
    printBuffer("top", 0);
    setCursor(30, 1, CURSOR_KEEP);
    printBuffer(line, 0);
    EXPECT_EQ(cursor(), std::make_pair(30, 80));
    EXPECT_TRUE(samePicture(textPicture(withRow(30, line, {"top"})), picture(), "parked"));
    // The newline scrolls twice: once for the wrap, once for itself.
    printBuffer("\r\n", 0);
    EXPECT_EQ(cursor(), std::make_pair(30, 1));
    EXPECT_TRUE(samePicture(textPicture(withRow(28, line)), picture(), "two-scrolls"));
    printText(0, "next", PRINT_NEWLINE);
    EXPECT_TRUE(
        samePicture(textPicture(withRow(29, "next", withRow(27, line))), picture(), "after-blank"));
}

TEST_F(GraphicsConsole, ALongLineWrapsAndScrollsOnce) {
    std::string line;
    for (int i = 0; i < 200; ++i) {
        line.push_back(static_cast<char>('A' + i % 26));
    }
    setCursor(29, 1, CURSOR_KEEP);
    clearDirty();
    printBuffer(line, 0);
    EXPECT_EQ(cursor(), std::make_pair(30, 41));
    const auto rows = withRow(30, line.substr(160),
                              withRow(29, line.substr(80, 80), withRow(28, line.substr(0, 80))));
    EXPECT_TRUE(samePicture(textPicture(rows), picture(), "long-line"));
    EXPECT_EQ(dirtyRows().size(), 480u); // the scroll marks the whole view
}

TEST_F(GraphicsConsole, ClearModes) {
    for (int r = 1; r <= 30; ++r) {
        setCursor(r, 1, CURSOR_KEEP);
        printBuffer(std::string(80, static_cast<char>('a' + r % 26)), 0);
    }
    const RgbPicture full = picture();

    // The graphics viewport (the whole screen here): pixels only.
    clearDirty();
    clearScreen(CLEAR_GRAPHICS_VIEWPORT);
    EXPECT_TRUE(samePicture(textPicture({}), picture(), "viewport"));
    EXPECT_EQ(dirtyRows().size(), 480u);
    EXPECT_EQ(screen().textCells[0][0].code, static_cast<std::uint32_t>('b'));
    EXPECT_EQ(cursor(), std::make_pair(30, 80));
    EXPECT_EQ(screen().penX, 320.0f);
    EXPECT_EQ(screen().penY, 240.0f);

    // Any other value acts as the viewport clear.
    std::memset(screen().framebuffer, 0xFF, 2560);
    clearScreen(7);
    EXPECT_EQ(screen().framebuffer[100], 0);

    // The text view only, by default when the view is not the whole screen.
    for (int r = 1; r <= 30; ++r) {
        setCursor(r, 1, CURSOR_KEEP);
        printBuffer(std::string(80, static_cast<char>('a' + r % 26)), 0);
    }
    setTextView(5, 10);
    clearDirty();
    clearScreen(CLEAR_DEFAULT);
    RgbPicture expected = full;
    std::fill(expected.pixels.begin() + 4 * 16 * 640, expected.pixels.begin() + 10 * 16 * 640, 0);
    EXPECT_TRUE(samePicture(expected, picture(), "text-view"));
    EXPECT_EQ(dirtyRows().front(), 64);
    EXPECT_EQ(dirtyRows().back(), 159);
    EXPECT_EQ(dirtyRows().size(), 96u);
    EXPECT_EQ(screen().textCells[0][4 * 80].code, 32u);
    EXPECT_EQ(screen().textCells[0][3 * 80].code, static_cast<std::uint32_t>('e'));
    EXPECT_EQ(cursor(), std::make_pair(5, 1));

    // Everything, by default when the view is the whole screen.
    setTextView(0, 0);
    printBuffer("x", 0);
    clearScreen(CLEAR_DEFAULT);
    EXPECT_TRUE(samePicture(textPicture({}), picture(), "all"));
    EXPECT_EQ(dirtyRows().size(), 480u);
    for (int i = 0; i < 80 * 30; ++i) {
        ASSERT_EQ(screen().textCells[0][static_cast<std::size_t>(i)].code, 32u);
    }
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
    EXPECT_EQ(screenColumn(), 0);
}

TEST_F(GraphicsConsole, TextSizeAndCellsReadBack) {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    getTextSize(&columns, &rows);
    EXPECT_EQ(columns, 80);
    EXPECT_EQ(rows, 30);
    setCursor(5, 3, CURSOR_KEEP);
    printBuffer("q", 0);
    std::uint32_t foreground = 0;
    std::uint32_t background = 1;
    EXPECT_EQ(consoleHooks().readCell(3, 5, &foreground, &background), 'q');
    EXPECT_EQ(foreground, 0xFFFFFFFFu);
    EXPECT_EQ(background, 0u);
}

TEST_F(GraphicsConsole, KeysComeFromTheKeyBufferTheWindowFills) {
    EXPECT_FALSE(keyAvailable());
    EXPECT_EQ(readKey(), 0);
    pushKey('a'); // as the window's thread does
    pushKey(KEY_UP);
    pushKey(WINDOW_CLOSE_KEY);
    EXPECT_TRUE(keyAvailable());
    EXPECT_EQ(readKey(), 'a');
    EXPECT_EQ(readKey(), KEY_UP);
    EXPECT_EQ(consoleHooks().waitKey(), WINDOW_CLOSE_KEY);
    EXPECT_FALSE(keyAvailable());
}

TEST_F(GraphicsConsole, TheBellAsksForOneToneAndDrawsNothing) {
    const testing::BeepRecorder beeps;
    clearDirty();
    printBuffer("\a", 0);
    EXPECT_EQ(beeps.tones(), (std::vector<std::pair<int, int>>{{1000, 250}}));
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
    EXPECT_TRUE(dirtyRows().empty());
}

TEST_F(GraphicsConsole, LineInputEditsOnTheScreen) {
    printText(0, "banner", PRINT_NEWLINE);
    for (const KeyCode key : {KeyCode{'a'}, KeyCode{'b'}, KeyCode{'c'}, KEY_LEFT, KEY_LEFT,
                              KeyCode{'X'}, WINDOW_CLOSE_KEY, KEY_ENTER}) {
        pushKey(key);
    }
    static constexpr std::string_view NO_PROMPT;
    std::string line = "old";
    EXPECT_EQ(inputLine(&NO_PROMPT, line, -1, 0, 0, -1), ERR_NONE);
    EXPECT_EQ(line, "aXbc");
    EXPECT_EQ(cursor(), std::make_pair(3, 1));
    EXPECT_TRUE(samePicture(textPicture({"banner", "aXbc"}), picture(), "edited"));
}

} // namespace
} // namespace ulo
