// The pipe console (console/pipe_console.hpp) on POSIX descriptors.
#pragma once

#include "console/pipe_console.hpp"

namespace ulo {

struct PipeConsoleOptions {
    int inputDescriptor;
    int outputDescriptor;
    bool utf8; // decode input and encode output as UTF-8
    // The process's own console: it ends Ulo on Ctrl+C and the other ending signals, survives a
    // reader that went away, and writes out an unfinished row at exit.
    bool processConsole;
};

// (Re)starts the pipe console on the given descriptors with an empty row and no input read;
// returns its hook table.
const ConsoleHooks& openPipeConsole(const PipeConsoleOptions& options);

} // namespace ulo
