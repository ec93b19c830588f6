// The graphics screen's text operations, installed into every ConsoleHooks slot while a
// graphics screen is set: printing through the control-character printer onto the text cells,
// clearing, the cursor, keys from the key buffer and line input.
#pragma once

#include "console/console_hooks.hpp"
#include "console/tty_print.hpp"

#include <cstddef>
#include <cstdint>

namespace ulo {

const ConsoleHooks& graphicsConsoleHooks();

// The TtyTarget operations of the graphics screen; the target's context is a DirtySpan.
int drawGlyphRun(TtyTarget& target, const std::uint8_t* bytes, std::size_t count);
void scrollTextRows(TtyTarget& target, int left, int top, int right, int bottom, int rows);

} // namespace ulo
