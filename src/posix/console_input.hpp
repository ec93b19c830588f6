// Pieces that both process consoles use for their keys.
#pragma once

#include "console/console_hooks.hpp"
#include "terminal/keys.hpp"

namespace ulo {

// A key code as readKey hands it out: one byte for a character, EXTENDED_KEY_PREFIX and the
// extended code for an extended key, nothing for 0.
KeyString keyStringFor(KeyCode code);

enum class InputWait { Ready, TimedOut, Closed };

// Waits up to `milliseconds` until `descriptor` (-1: none) has bytes to read or a watched signal
// arrives. Closed when the descriptor reports an error or a hang-up with nothing left to read.
InputWait waitForInput(int descriptor, int milliseconds);

} // namespace ulo
