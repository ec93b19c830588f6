// The process console when standard input and output are both terminals: the terminal becomes
// the text screen, through the terminal library (its terminal descriptions give the
// capabilities and the key sequences of whatever terminal Ulo runs in).
//
// The terminal's size is the text size and follows its changes. Text is printed with ttyPrint
// and drawn on the terminal, code page 437 converted to the characters of the locale (bytes 1-31
// and 127 as their pictures). Typed keys are decoded into key codes and queued for the process-
// wide key buffer. The terminal is given back as it was by an exit routine, however Ulo ends.
#pragma once

#include "console/console_hooks.hpp"

namespace ulo {

// Takes over the terminal on standard input and output. False when it cannot be used (an
// unknown terminal type, for instance); nothing has changed then.
bool startTerminalConsole();
const ConsoleHooks& terminalConsoleHooks();

} // namespace ulo
