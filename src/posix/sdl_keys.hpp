// The window's keys through SDL: what an SDL key event means in the terms of the window's key
// handling (the PC scan code of the key, whether it is one of the grey (enhanced) keys, a virtual
// key, the control-key state, the key's own character, and the characters that keys produce
// without text input), and key presses and typed text handed to the window procedure.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "screen/window_events.hpp"

namespace ulo {

struct SdlKeyInfo {
    std::uint8_t scanCode = 0; // set 1; 0 for keys the PC keyboard does not have
    bool enhanced = false;     // a grey key (the prefixed codes of the PC keyboard)
    std::uint16_t virtualKey = 0;
};

SdlKeyInfo describeScancode(SDL_Scancode scancode);

// The control-key state bits for the modifiers held (and ENHANCED_KEY for a grey key).
std::uint32_t controlKeyState(std::uint16_t modifiers, bool enhanced);

// The key's own unshifted character in code page 437 (what its virtual key maps to), 0 for keys
// without one.
std::uint8_t baseCharacter(SDL_Keycode keycode);

// The character the key types with these modifiers, as far as the key alone tells: letters with
// Shift or Caps Lock in upper case, the keypad's digits and full stop while Num Lock is on, other
// printable keys as they are; 0 for keys without one and with AltGr, whose characters only the
// text input knows.
std::uint8_t typedCharacter(SDL_Keycode keycode, std::uint16_t modifiers);

// Characters that keys produce but text input never delivers: Enter 13 (Ctrl: 10), Backspace 8
// (Ctrl too), Tab 9, Escape 27, and Ctrl with a letter 1-26 or with [ \ ] 27-29. 0 for none.
std::uint8_t controlCharacter(SDL_Keycode keycode, std::uint16_t modifiers);

// Whether typed text is really an Alt or Ctrl combination of the key last pressed, which the
// window takes as a key code and not as text: a modifier is held and the text is the key's own
// character. A character that differs from it (AltGr on many layouts) is text.
bool textInputSuppressed(std::uint16_t modifiers, std::uint8_t text, std::uint8_t keyBase);

// The key last pressed in the window: the text that follows it tells nothing of the key.
struct SdlLastKey {
    std::uint8_t base = 0;       // its own character
    std::uint16_t modifiers = 0; // the modifiers held with it
};

// A key pressed in the window, through the window procedure; notes it in `last`.
void sdlKeyPressed(SdlLastKey& last, const SDL_Keysym& key);
// Text typed in the window (UTF-8), after the key press that typed it, through the window
// procedure: each character it holds in code page 437, unless it is the Alt or Ctrl combination
// that the press already gave.
void sdlTextTyped(const SdlLastKey& last, const char* text);

} // namespace ulo
