#include "posix/terminal_description.hpp"

#include <unistd.h>

// Apart from the terminal console: the description's header defines a macro for every
// capability name (columns, lines, ...).
#include <curses.h>
#include <term.h>

namespace ulo {

bool terminalCanPlaceTheCursor() {
    int error = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) {
        return false;
    }
    const char* placement = tigetstr("cup");
    const bool usable = placement != nullptr && placement != reinterpret_cast<const char*>(-1);
    del_curterm(cur_term);
    return usable;
}

} // namespace ulo
