// Screen modes, the ScreenState they build and the choice of display driver.
#include "console/console_hooks.hpp"
#include "console/print.hpp"
#include "screen/screen.hpp"
#include "screen/window_thread.hpp"
#include "support/fake_drivers.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace ulo {
namespace {

using Calls = std::vector<std::string>;

// Both attempts of each named driver, in order.
Calls attempts(const std::vector<std::string>& names, int rate, int flags) {
    Calls calls;
    for (const auto& name : names) {
        for (const int r : {rate, 0}) {
            calls.push_back(name + " init " + std::to_string(r) + " flags " +
                            std::to_string(flags));
            calls.push_back(name + " shutdown");
        }
    }
    return calls;
}
Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::vector<std::string> ALL = {"Alpha", "Beta", "Gamma"};

class ScreenMode : public ::testing::Test {
protected:
    void SetUp() override { testing::setEnvironment("VXGFX", nullptr); }
    void TearDown() override { setScreenMode(0, 0, 0, 0, 0); }
    testing::FakeDrivers drivers;
};

TEST_F(ScreenMode, RefusesModesOutsideTheTableAndKeepsTheScreen) {
    ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    ScreenState* screen = activeScreen();
    for (const int mode : {-1, 3, 4, 5, 6, 22}) {
        setErrorCode(ERR_NONE);
        EXPECT_EQ(setScreenMode(mode, 32, 0, SCREEN_NULL, 0), ERR_ILLEGAL_FUNCTION_CALL) << mode;
        EXPECT_EQ(lastErrorCode(), ERR_ILLEGAL_FUNCTION_CALL);
        EXPECT_EQ(activeScreen(), screen);
    }
}

TEST_F(ScreenMode, Mode18AtDepth32) {
    testing::setEnvironment("VXGFX", "null");
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
    const ScreenState& s = *activeScreen();
    EXPECT_EQ(s.driver, &NULL_DISPLAY_DRIVER);
    EXPECT_TRUE(drivers.calls().empty());
    EXPECT_EQ(s.mode, 18);
    EXPECT_EQ(s.pageCount, 1);
    EXPECT_EQ(s.workPage, 0);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.depth, 32);
    EXPECT_EQ(s.colourMask, 0xFFFFFFFFu);
    EXPECT_EQ(s.bytesPerPixel, 4);
    EXPECT_EQ(s.pitch, 2560);
    EXPECT_EQ(s.drawPitch, 2560);
    EXPECT_EQ(s.scanlineSize, 1);
    EXPECT_EQ(s.defaultPalette, 256);
    EXPECT_EQ(s.font.height, 16);
    EXPECT_EQ(s.columns, 80);
    EXPECT_EQ(s.rows, 30);
    EXPECT_EQ(s.foreground, 0xFFFFFFFFu);
    EXPECT_EQ(s.background, 0u);
    EXPECT_EQ(s.viewportWidth, 640);
    EXPECT_EQ(s.viewportHeight, 480);
    EXPECT_EQ(s.lockFlags & (VIEWPORT_SET | LOCK_HELD | LOCK_TAKEN), 0u);
    for (int y = 0; y < 480; ++y) {
        ASSERT_EQ(s.rowTable[static_cast<std::size_t>(y)], s.framebuffer + y * 2560);
        ASSERT_EQ(s.dirty[static_cast<std::size_t>(y)], 0);
    }
    for (std::size_t i = 0; i < 640u * 480 * 4; ++i) {
        ASSERT_EQ(s.framebuffer[i], 0);
    }
    for (std::size_t i = 0; i < 80u * 30; ++i) {
        const TextCell& cell = s.textCells[0][i];
        ASSERT_EQ(cell.code, 32u);
        ASSERT_EQ(cell.foreground, 0xFFFFFFFFu);
        ASSERT_EQ(cell.background, 0u);
    }
    EXPECT_NE(consoleHooks().printBuffer, nullptr);
    EXPECT_NE(consoleHooks().sleep, nullptr);
    // The text view is the whole screen and the cursor at home, with no wrap pending (which the
    // forced empty print would carry out).
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    EXPECT_EQ(top, 1);
    EXPECT_EQ(bottom, 30);
    printBuffer("", PRINT_FORCE_ADJUST);
    std::int32_t column = 0;
    std::int32_t row = 0;
    getCursor(&column, &row);
    EXPECT_EQ(column, 1);
    EXPECT_EQ(row, 1);
    // Registered at the first successful set already.
    EXPECT_FALSE(registerExitRoutine(closeScreenAtExit));
}

TEST_F(ScreenMode, RunningOutOfMemoryLeavesNoScreenAndSaysSo) {
    // Each allocation of the mode set fails in turn, the first one first.
    int failures = 0;
    for (std::int32_t count = 0;; ++count) {
        ASSERT_LT(count, 100) << "the mode set never succeeded";
        failScreenAllocationsAfter(count);
        const RuntimeErrorCode result = setScreenMode(12, 32, 2, SCREEN_NULL, 0);
        failScreenAllocationsAfter(-1);
        if (result == ERR_NONE) {
            break;
        }
        ++failures;
        EXPECT_EQ(result, ERR_OUT_OF_MEMORY) << count;
        EXPECT_EQ(lastErrorCode(), ERR_OUT_OF_MEMORY);
        EXPECT_EQ(activeScreen(), nullptr);
        EXPECT_EQ(consoleHooks().printBuffer, nullptr); // text goes on to the process console
    }
    EXPECT_GE(failures, 3); // at least the state, its page table and a page
    ASSERT_NE(activeScreen(), nullptr);
    EXPECT_EQ(activeScreen()->pageCount, 2);
}

TEST_F(ScreenMode, DepthRules) {
    const auto depth = [](int mode, int requested, int flags = 0) {
        const ScreenDepth d = screenDepthFor(mode, requested, flags);
        return std::pair<int, std::uint32_t>(d.depth, d.colourMask);
    };
    EXPECT_EQ(depth(18, 24), std::make_pair(32, 0xFFFFFFFFu));
    EXPECT_EQ(depth(18, 15), std::make_pair(16, 0xFFFFu));
    EXPECT_EQ(depth(18, 16), std::make_pair(16, 0xFFFFu));
    EXPECT_EQ(depth(18, 12), std::make_pair(8, 0xFFu)); // not a depth a mode can ask for
    EXPECT_EQ(depth(14, 8), std::make_pair(8, 0xFFu));
    EXPECT_EQ(depth(13, 32), std::make_pair(8, 0xFFu)); // modes up to 13 keep their depth
    EXPECT_EQ(depth(12, 32), std::make_pair(4, 0xFu));
    EXPECT_EQ(depth(2, 0), std::make_pair(1, 1u));
    EXPECT_EQ(depth(1, 0, SCREEN_OPENGL), std::make_pair(16, 0xFFFFu));
    EXPECT_EQ(depth(1, 0, SCREEN_NULL), std::make_pair(2, 3u)); // negative flags: no raise

    ASSERT_EQ(setScreenMode(12, 32, 3, SCREEN_NULL, 0), ERR_NONE);
    const ScreenState& s = *activeScreen();
    EXPECT_EQ(s.depth, 4);
    EXPECT_EQ(s.bytesPerPixel, 1);
    EXPECT_EQ(s.pitch, 640);
    EXPECT_EQ(s.pageCount, 3);
    EXPECT_EQ(s.foreground, 15u); // the colour mask
    // The 256-colour default palette, red in the low byte.
    EXPECT_EQ(s.palette[1], 0xAA0000u);
    EXPECT_EQ(s.devicePalette[6], 0x0055AAu);

    ASSERT_EQ(setScreenMode(18, 8, 0, SCREEN_NULL, 0), ERR_NONE);
    EXPECT_EQ(activeScreen()->foreground, 15u); // depths 5-8 write with colour 15

    ASSERT_EQ(setScreenMode(2, 0, 0, SCREEN_NULL, 0), ERR_NONE);
    EXPECT_EQ(activeScreen()->scanlineSize, 2);
    EXPECT_EQ(activeScreen()->font.height, 8);
}

TEST_F(ScreenMode, TitleIsTheProgramNameWithoutItsExtension) {
    EXPECT_EQ(titleFromProgramPath("C:\\programs\\talk.exe"), "talk");
    EXPECT_EQ(titleFromProgramPath("/opt/a.b.exe"), "a.b");
    EXPECT_EQ(titleFromProgramPath("/usr/local/bin/ulo"), "ulo");
    EXPECT_EQ(titleFromProgramPath("ulo"), "ulo");
    EXPECT_EQ(screenTitle(), "ulo_tests");

    drivers.succeedOn("Alpha", 0);
    ASSERT_EQ(setScreenMode(2, 0, 0, 0, 0), ERR_NONE);
    EXPECT_EQ(drivers.lastTitle(), "ulo_tests");
    EXPECT_EQ(drivers.lastWidth(), 640);
    EXPECT_EQ(drivers.lastHeight(), 400); // 200 rows shown on two lines each
    EXPECT_EQ(drivers.lastDepth(), 1);
}

TEST_F(ScreenMode, ASecondSetShutsTheFirstDriverDownFirst) {
    drivers.succeedOn("Beta", 60);
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 60), ERR_NONE);
    EXPECT_EQ(activeScreen()->driver, &drivers.driver(1));
    drivers.clearCalls();
    ASSERT_EQ(setScreenMode(17, 32, 0, 0, 60), ERR_NONE);
    EXPECT_EQ(drivers.calls(), (Calls{"Beta shutdown", "Alpha init 60 flags 0", "Alpha shutdown",
                                      "Alpha init 0 flags 0", "Alpha shutdown",
                                      "Beta init 60 flags 0", "Beta lock", "Beta unlock"}));
    EXPECT_EQ(activeScreen()->height, 400);
    drivers.clearCalls();
    setScreenMode(0, 0, 0, 0, 0);
    EXPECT_EQ(drivers.calls(), (Calls{"Beta shutdown"}));
    EXPECT_EQ(activeScreen(), nullptr);
    EXPECT_EQ(consoleHooks().printBuffer, nullptr);
}

TEST_F(ScreenMode, EightBitScreensSendTheDefaultPaletteToTheDriver) {
    drivers.succeedOn("Alpha", 0);
    ASSERT_EQ(setScreenMode(13, 8, 0, 0, 0), ERR_NONE);
    // The driver started, the screen is finished under its lock.
    const Calls& calls = drivers.calls();
    ASSERT_EQ(calls.size(), 1u + 1 + 256 + 1);
    EXPECT_EQ(calls[1], "Alpha lock");
    EXPECT_EQ(calls[2], "Alpha palette 0 0 0 0");
    EXPECT_EQ(calls[2 + 4], "Alpha palette 4 170 0 0");
    EXPECT_EQ(calls[257], "Alpha palette 255 0 0 0");
    EXPECT_EQ(calls[258], "Alpha unlock");
}

TEST_F(ScreenMode, WithoutVariableEveryDriverWindowedThenFullScreen) {
    EXPECT_EQ(setScreenMode(18, 32, 0, 0, 75), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(drivers.calls(), attempts(ALL, 75, 0) + attempts(ALL, 75, 1));
    EXPECT_EQ(lastErrorCode(), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(activeScreen(), nullptr);
    EXPECT_EQ(consoleHooks().printBuffer, nullptr); // the conversation stays on the console
}

// The reason a refused attempt noted is not said later, when a screen set after it fails with
// none of its own.
TEST_F(ScreenMode, AScreenThatOpensForgetsWhyEarlierAttemptsFailed) {
    noteWindowFailure("Alpha", "no display mode of the window's size");
    drivers.succeedOn("Beta", 0);
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
    EXPECT_EQ(takeWindowFailure(), "");
}

TEST_F(ScreenMode, FullScreenRequestFlipsToWindowed) {
    setScreenMode(18, 32, 0, SCREEN_FULLSCREEN | SCREEN_NO_SWITCH, 0);
    EXPECT_EQ(drivers.calls(), attempts(ALL, 0, 5) + attempts(ALL, 0, 4));
}

TEST_F(ScreenMode, NamedDriverAloneThenAllThenAloneThenAllFullScreen) {
    testing::setEnvironment("VXGFX", "bEtA");
    setScreenMode(18, 32, 0, 0, 60);
    EXPECT_EQ(drivers.calls(), attempts({"Beta"}, 60, 0) + attempts(ALL, 60, 0) +
                                   attempts({"Beta"}, 60, 0) + attempts(ALL, 60, 1));
}

TEST_F(ScreenMode, UnknownNameActsLikeNoVariableAndIsReported) {
    testing::setEnvironment("VXGFX", "Delta");
    ::testing::internal::CaptureStderr();
    setScreenMode(18, 32, 0, 0, 60);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ulo: VXGFX names no display driver (Delta); the drivers are Alpha, Beta, Gamma, "
              "null\n");
    EXPECT_EQ(drivers.calls(), attempts(ALL, 60, 0) + attempts(ALL, 60, 1));
}

TEST_F(ScreenMode, TheVariableIsReadOnEveryCall) {
    testing::setEnvironment("VXGFX", "gamma");
    drivers.succeedOn("Gamma", 0);
    drivers.succeedOn("Alpha", 0);
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 60), ERR_NONE);
    EXPECT_EQ(activeScreen()->driver, &drivers.driver(2));
    testing::setEnvironment("VXGFX", nullptr);
    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 60), ERR_NONE);
    EXPECT_EQ(activeScreen()->driver, &drivers.driver(0));
}

TEST_F(ScreenMode, NullByNameOrFlagTakesTheNullDriverAtOnce) {
    for (const char* name : {"null", "NULL", "Null"}) {
        testing::setEnvironment("VXGFX", name);
        ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
        EXPECT_EQ(activeScreen()->driver, &NULL_DISPLAY_DRIVER);
    }
    testing::setEnvironment("VXGFX", "Beta");
    ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    EXPECT_EQ(activeScreen()->driver, &NULL_DISPLAY_DRIVER);
    EXPECT_TRUE(drivers.calls().empty());
    testing::setEnvironment("VXGFX", "nul"); // not the whole word
    EXPECT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_ILLEGAL_FUNCTION_CALL);
}

TEST_F(ScreenMode, ModeSetResetsTheViewAndTheCursor) {
    ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    setTextView(5, 10);
    setCursor(7, 12, CURSOR_KEEP);
    printBuffer("abc", 0);
    EXPECT_NE(screenColumn(), 0);
    ASSERT_EQ(setScreenMode(18, 32, 0, SCREEN_NULL, 0), ERR_NONE);
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    EXPECT_EQ(top, 1);
    EXPECT_EQ(bottom, 30);
    std::int32_t column = 0;
    std::int32_t row = 0;
    getCursor(&column, &row);
    EXPECT_EQ(column, 1);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(screenColumn(), 0);
}

TEST_F(ScreenMode, TheScreenIsClosedAtExit) {
    drivers.succeedOn("Gamma", 0);
    drivers.echoCalls();
    EXPECT_EXIT(
        {
            setScreenMode(18, 32, 0, 0, 0);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "Gamma init 0 flags 0\nGamma lock\nGamma unlock\nGamma shutdown\n$");

    ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
    drivers.clearCalls();
    closeScreenAtExit();
    EXPECT_EQ(drivers.calls(), (Calls{"Gamma shutdown"}));
    EXPECT_EQ(activeScreen(), nullptr);
    EXPECT_EQ(consoleHooks().printBuffer, nullptr);
    closeScreenAtExit(); // nothing left to close
    EXPECT_EQ(drivers.calls(), (Calls{"Gamma shutdown"}));
}

} // namespace
} // namespace ulo
