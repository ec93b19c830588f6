// The Win32 console as Ulo's process console, when standard input and output are both consoles.
//
// Ulo takes the console window's visible rows as its screen: it clears them, follows the
// window's size, and edits the line in place. Text is code page 437 inside Ulo and written as
// the console's own (UTF-16) characters; key presses go through the same translation as every
// other console's. Ctrl+C, Ctrl+Break and closing the console end Ulo through its normal exit.
#pragma once

#include "console/console_hooks.hpp"

namespace ulo {

// Takes the console when standard input and output are both one; false when they are not.
bool startWin32Console();
const ConsoleHooks& win32ConsoleHooks();

// The key code of one console key event, or -1 when it gives none (key releases, modifier keys,
// characters that code page 437 lacks). Composed characters (Alt and keypad digits) arrive with
// the release of Alt.
struct ConsoleKeyEvent {
    bool keyDown;
    unsigned short virtualKey;
    unsigned short scanCode;
    char32_t character; // the UTF-16 unit the event carries, 0 for none
    unsigned long controlKeyState;
};
KeyCode consoleKeyCode(const ConsoleKeyEvent& event);

} // namespace ulo
