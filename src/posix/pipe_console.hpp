// The process console when standard input or output is not a terminal (pipes, files): a script
// talks to Ulo through it.
//
// Input bytes are keys, read without blocking: LF is Enter, CR LF counts as one Enter, NUL is no
// key, and under a UTF-8 locale the bytes are decoded as UTF-8 into code page 437 (characters it
// lacks are dropped). When the input ends, a partly typed line is first ended with Enter; after
// that every read gives INPUT_END_KEY.
//
// Output is what a screen would show, one line per screen row: the row being written is kept in
// memory (a screen with no right border and no scrolling) and written out, with an LF, as soon as
// the cursor leaves it, so a program at the other end sees each line at once.
#pragma once

#include "console/console_hooks.hpp"

namespace ulo {

struct PipeConsoleOptions {
    int inputDescriptor;
    int outputDescriptor;
    bool utf8; // decode input and encode output as UTF-8
    // The process's own console: it ends Ulo on Ctrl+C and the other ending signals, survives a
    // reader that went away, and writes out an unfinished row at exit.
    bool processConsole;
};

// The width and height the pipe console reports: no line ever wraps or scrolls in practice.
inline constexpr std::int32_t PIPE_CONSOLE_COLUMNS = 1 << 24;
inline constexpr std::int32_t PIPE_CONSOLE_ROWS = 1 << 30;

// (Re)starts the pipe console on the given descriptors with an empty row and no input read.
void openPipeConsole(const PipeConsoleOptions& options);
const ConsoleHooks& pipeConsoleHooks();

} // namespace ulo
