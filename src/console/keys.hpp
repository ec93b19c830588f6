// Key codes, their translation from key presses, and the process-wide key buffer.
//
// A key code is never 0. Codes 1-255 are characters in code page 437 (8 Backspace, 9 Tab,
// 13 Enter, 27 Escape among them). An extended key is its extended code × 256 + 255.
#pragma once

#include <cstdint>

namespace ulo {

using KeyCode = std::int32_t;

inline constexpr std::uint8_t EXTENDED_KEY_PREFIX = 0xFF;

constexpr KeyCode extendedKey(int extendedCode) {
    return extendedCode * 256 + 255;
}

inline constexpr KeyCode KEY_BACKSPACE = 8;
inline constexpr KeyCode KEY_TAB = 9;
inline constexpr KeyCode KEY_LINE_FEED = 10;
inline constexpr KeyCode KEY_ENTER = 13;
inline constexpr KeyCode KEY_ESCAPE = 27;
inline constexpr KeyCode KEY_F1 = extendedKey(0x3B);
inline constexpr KeyCode KEY_F10 = extendedKey(0x44);
inline constexpr KeyCode KEY_HOME = extendedKey(0x47);
inline constexpr KeyCode KEY_UP = extendedKey(0x48);
inline constexpr KeyCode KEY_PAGE_UP = extendedKey(0x49);
inline constexpr KeyCode KEY_LEFT = extendedKey(0x4B);
inline constexpr KeyCode KEY_RIGHT = extendedKey(0x4D);
inline constexpr KeyCode KEY_END = extendedKey(0x4F);
inline constexpr KeyCode KEY_DOWN = extendedKey(0x50);
inline constexpr KeyCode KEY_PAGE_DOWN = extendedKey(0x51);
inline constexpr KeyCode KEY_INSERT = extendedKey(0x52);
inline constexpr KeyCode KEY_DELETE = extendedKey(0x53);
inline constexpr KeyCode KEY_F11 = extendedKey(0x85);
inline constexpr KeyCode KEY_F12 = extendedKey(0x86);
// The window's close button and Alt+F4.
inline constexpr KeyCode WINDOW_CLOSE_KEY = extendedKey(0x6B);
// Queued by a console whose input has ended for good (standard input closed): no key will ever
// come again. No key press translates to it.
inline constexpr KeyCode INPUT_END_KEY = extendedKey(0xFF);

// Control-key state bits, as console key events report them.
inline constexpr std::uint32_t RIGHT_ALT_PRESSED = 0x01;
inline constexpr std::uint32_t LEFT_ALT_PRESSED = 0x02;
inline constexpr std::uint32_t RIGHT_CTRL_PRESSED = 0x04;
inline constexpr std::uint32_t LEFT_CTRL_PRESSED = 0x08;
inline constexpr std::uint32_t SHIFT_PRESSED = 0x10;
inline constexpr std::uint32_t ENHANCED_KEY = 0x100;
inline constexpr std::uint32_t ALT_PRESSED = RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED;
inline constexpr std::uint32_t CTRL_PRESSED = RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED;

// One key press as the platform reports it.
struct KeyPress {
    std::uint8_t character = 0;     // the character it produced (code page 437), 0 for none
    std::uint8_t scanCode = 0;      // the key's scan code (set 1)
    std::uint8_t baseCharacter = 0; // the key's own unshifted character, 0 for keys without one
    std::uint32_t controlKeyState = 0;
};

// The key code of a key press, or -1 when it gives none. With `charactersAsNone`, presses that
// would give a character give -1 instead (for readers that take characters from elsewhere).
KeyCode translateKey(const KeyPress& press, bool charactersAsNone = false);

// The process-wide ring of 16 key codes; it holds at most 15, dropping the oldest. It does not
// lock: the screen takes its lock around these calls while a window thread pushes keys.
inline constexpr int KEY_BUFFER_SLOTS = 16;

void pushKey(KeyCode code);
// The oldest code, or 0 when the buffer is empty. Clears the key-arrived flag.
KeyCode popKey();
bool keyBufferEmpty();
// Set by every push, cleared by every pop.
bool keyArrived();
// Empties the buffer (the state at program start).
void resetKeyBuffer();

// Keys pushed so far. A reader that found the buffer empty notes this count and then waits for
// it to change with waitForKeyPush, which returns at once for a key pushed in between.
std::uint64_t keyPushCount();
void waitForKeyPush(std::uint64_t seen, std::int32_t milliseconds);
// Wakes the readers in waitForKeyPush as a push would, without a key: something other than a key
// needs their attention (a request to end the program).
void wakeKeyReaders();

} // namespace ulo
