// Pieces that both process consoles use for their keys.
#pragma once

#include "console/console_hooks.hpp"
#include "console/keys.hpp"

namespace ulo {

enum class InputWait { Ready, TimedOut, Closed };

// Waits up to `milliseconds` until `descriptor` (-1: none) has bytes to read or a watched signal
// arrives. Closed when the descriptor reports an error or a hang-up with nothing left to read.
InputWait waitForInput(int descriptor, int milliseconds);

} // namespace ulo
