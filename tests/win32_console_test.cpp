// Console key events into key codes: the same codes the other consoles give for the same keys;
// and the bell, which asks for its tone without waiting for it.
#include "console/keys.hpp"
#include "support/memory_screen.hpp"
#include "win32/win32_console.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include <windows.h>

namespace ulo {
namespace {

ConsoleKeyEvent press(unsigned short virtualKey, unsigned short scanCode, char32_t character,
                      unsigned long state = 0) {
    return {true, virtualKey, scanCode, character, state};
}

// What each key does in the line is the key table's.
TEST(Win32ConsoleKeys, EscapeWithoutItsCharacterModifiersAndReleases) {
    // Some consoles give Escape no character.
    EXPECT_EQ(consoleKeyCode(press(VK_ESCAPE, 0x01, 0)), KEY_ESCAPE);
    EXPECT_EQ(consoleKeyCode(press(VK_SHIFT, 0x2A, 0, SHIFT_PRESSED)), -1);
    EXPECT_EQ(consoleKeyCode({false, 'A', 0x1E, 'a', 0}), -1);
}

TEST(Win32ConsoleKeys, TextIsCodePage437) {
    EXPECT_EQ(consoleKeyCode(press(0, 0, U'\u00E9')), 0x82); // é
    EXPECT_EQ(consoleKeyCode(press(0, 0, U'\u2591')), 0xB0); // ░
    EXPECT_EQ(consoleKeyCode(press(0, 0, U'\u20AC')), -1);   // € is not in code page 437
    EXPECT_EQ(consoleKeyCode(press(0, 0, U'\u266A')), -1);   // ♪ pictures byte 13, not Enter
    // A character composed with Alt and keypad digits arrives with the release of Alt.
    EXPECT_EQ(consoleKeyCode({false, VK_MENU, 0x38, U'\u00FC', 0}), 0x81); // ü
    EXPECT_EQ(consoleKeyCode({false, VK_MENU, 0x38, 0, 0}), -1);
}

TEST(Win32ConsoleKeys, AltAndCtrlGiveExtendedCodes) {
    EXPECT_EQ(consoleKeyCode(press('X', 0x2D, 'x', LEFT_ALT_PRESSED)), extendedKey(0x2D));
    EXPECT_EQ(consoleKeyCode(press(VK_LEFT, 0x4B, 0, LEFT_CTRL_PRESSED | ENHANCED_KEY)),
              extendedKey(0x73));
    EXPECT_EQ(consoleKeyCode(press(VK_ESCAPE, 0x01, 0, LEFT_ALT_PRESSED)), extendedKey(0x01));
}

// The bell asks the beep in use for its one tone and returns: the tone plays elsewhere, never on
// the conversation's thread. The console's table serves before the console is taken.
TEST(Win32ConsoleBell, BelAsksForOneToneAndReturns) {
    const testing::BeepRecorder beeps;
    win32ConsoleHooks().printBuffer(reinterpret_cast<const std::uint8_t*>("\a"), 1, 0);
    EXPECT_EQ(beeps.tones(), (std::vector<std::pair<int, int>>{{1000, 250}}));
}

} // namespace
} // namespace ulo
