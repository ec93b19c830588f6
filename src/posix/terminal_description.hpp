// What the terminal's description (from the terminfo database, by TERM) says about it.
#pragma once

namespace ulo {

// Whether the terminal on standard output is known and lets text be written at any cell. One
// that cannot (TERM=dumb) is written to line by line, like a pipe. Only the description is read;
// the terminal itself is left alone.
bool terminalCanPlaceTheCursor();

} // namespace ulo
