// The process console on POSIX systems: the terminal when standard input and output are both
// terminals, otherwise the pipe console over standard input and output.
#include "console/console_hooks.hpp"
#include "posix/pipe_descriptors.hpp"
#include "posix/posix_platform.hpp"
#include "posix/terminal_console.hpp"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>

namespace ulo {

const ConsoleHooks& posixProcessConsole() {
    // The locale's character set is the one text is converted to and from at this boundary.
    std::setlocale(LC_CTYPE, "");
    if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1 && startTerminalConsole()) {
        return terminalConsoleHooks();
    }
    const char* codeset = ::nl_langinfo(CODESET);
    const bool utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
    return openPipeConsole({STDIN_FILENO, STDOUT_FILENO, utf8, true});
}

} // namespace ulo
