// The keyboard as a Windows window sees it: the control-key state of a key message, in the
// layout that console key events use, and the held keys by scan code.
#pragma once

#include <cstdint>

namespace ulo {

// The control-key state for the keyboard state `keys` (GetKeyboardState's 256 bytes): Shift,
// left and right Ctrl and Alt, and ENHANCED_KEY for a key message with the extended-key bit.
std::uint32_t controlKeyStateOf(const std::uint8_t* keys, bool extendedKey);

// True when a key press gives a key code of its own (an extended key, such as Shift+Tab's): the
// character that TranslateMessage makes of the same press is then no key of its own. The press
// as translateKey takes it.
bool pressGivesKeyCode(std::uint8_t character, std::uint8_t scanCode, std::uint8_t baseCharacter,
                       std::uint32_t controlKeyState);

// Sets byte n of `keyState` (128 bytes) to 1 while the key with scan code n is held, else 0,
// from the keyboard state of the calling thread.
void readHeldKeys(std::uint8_t* keyState);

} // namespace ulo
