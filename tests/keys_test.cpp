#include "console/keys.hpp"

#include <gtest/gtest.h>

namespace ulo {
namespace {

KeyCode press(std::uint8_t character, std::uint8_t scanCode, std::uint8_t base,
              std::uint32_t state = 0) {
    return translateKey(KeyPress{character, scanCode, base, state});
}

TEST(TranslateKey, GreyKeysUseTheEnhancedTable) {
    EXPECT_EQ(press(0, 0x48, 0, ENHANCED_KEY), KEY_UP);
    EXPECT_EQ(press(0, 0x4B, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED), 0x73FF);
    EXPECT_EQ(press(0, 0x53, 0, ENHANCED_KEY | SHIFT_PRESSED), KEY_DELETE);
    EXPECT_EQ(press(0, 0x4F, 0, ENHANCED_KEY | RIGHT_ALT_PRESSED), 0x9FFF);
    // Keypad Enter and / give characters unless Alt (or Ctrl for /) turns them into codes.
    EXPECT_EQ(press(0, 0x1C, 0, ENHANCED_KEY), 13);
    EXPECT_EQ(press(0, 0x1C, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED), 10);
    EXPECT_EQ(press(0, 0x35, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED), 0x95FF);
    EXPECT_EQ(press(0, 0x35, 0, ENHANCED_KEY | SHIFT_PRESSED), '?');
    EXPECT_EQ(translateKey(KeyPress{0, 0x35, 0, ENHANCED_KEY}, true), -1);
    EXPECT_EQ(press(0, 0x30, 0, ENHANCED_KEY), -1); // not a grey key
}

TEST(TranslateKey, FunctionKeysAndModifiers) {
    EXPECT_EQ(press(0, 0x3B, 0), KEY_F1);
    EXPECT_EQ(press(0, 0x44, 0), KEY_F10);
    EXPECT_EQ(press(0, 0x58, 0), KEY_F12);
    EXPECT_EQ(press(0, 0x58, 0, SHIFT_PRESSED), 0x88FF);
    EXPECT_EQ(press(0, 0x57, 0, LEFT_CTRL_PRESSED | SHIFT_PRESSED), 0x89FF);    // Ctrl wins
    EXPECT_EQ(press(0, 0x3E, 0, LEFT_ALT_PRESSED | LEFT_CTRL_PRESSED), 0x6BFF); // Alt+F4
    EXPECT_EQ(press(0, 0x3E, 0, LEFT_ALT_PRESSED), WINDOW_CLOSE_KEY);
    EXPECT_EQ(press(0, 0x0F, 0, SHIFT_PRESSED), 0x0FFF); // Shift+Tab without a character
    EXPECT_EQ(press(0, 0x4C, 0, LEFT_ALT_PRESSED), 0x4CFF); // Alt with the keypad's 5
}

TEST(TranslateKey, AltLettersAndAltGrCharacters) {
    EXPECT_EQ(press('x', 0x2D, 'x', LEFT_ALT_PRESSED), 0x2DFF);
    EXPECT_EQ(press('X', 0x2D, 'x', LEFT_ALT_PRESSED | SHIFT_PRESSED), 0x2DFF);
    EXPECT_EQ(press('1', 0x02, '1', LEFT_ALT_PRESSED), 0x78FF);
    // AltGr is Ctrl+Alt; a character other than the key's own passes as the character.
    EXPECT_EQ(press('@', 0x10, 'q', LEFT_CTRL_PRESSED | RIGHT_ALT_PRESSED), '@');
    EXPECT_EQ(press(0x9B, 0x08, '7', LEFT_CTRL_PRESSED | RIGHT_ALT_PRESSED), 0x9B);
    // Plain characters, control characters and keys above the table.
    EXPECT_EQ(press('a', 0x1E, 'a'), 'a');
    EXPECT_EQ(press(3, 0x2E, 'c', LEFT_CTRL_PRESSED), 3);
    EXPECT_EQ(press(' ', 0x39, ' ', LEFT_ALT_PRESSED), ' ');
    EXPECT_EQ(press(0, 0x5B, 0), -1);
    EXPECT_EQ(press('z', 0x70, 0), 'z');
    EXPECT_EQ(translateKey(KeyPress{'a', 0x1E, 'a', 0}, true), -1);
}

TEST(KeyBuffer, KeepsTheFifteenNewest) {
    resetKeyBuffer();
    EXPECT_EQ(popKey(), 0);
    for (KeyCode code = 1; code <= 16; ++code) {
        pushKey(code);
    }
    EXPECT_TRUE(keyArrived());
    for (KeyCode code = 2; code <= 16; ++code) {
        EXPECT_EQ(popKey(), code);
        EXPECT_FALSE(keyArrived());
    }
    EXPECT_TRUE(keyBufferEmpty());
    EXPECT_EQ(popKey(), 0);
    pushKey(KEY_UP);
    EXPECT_EQ(popKey(), KEY_UP);
}

} // namespace
} // namespace ulo
