// The process console when standard input or output is not a terminal or console (pipes, files):
// a script talks to Ulo through it. The platform moves the bytes; everything else is here.
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

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ulo {

// How the platform moves a pipe console's bytes.
struct PipeStreams {
    // Reads the input's waiting bytes without blocking: how many were read, 0 when none wait,
    // -1 when the input has ended for good.
    std::int64_t (*readWaiting)(std::uint8_t* buffer, std::size_t size);
    // Writes all of `bytes`, or gives up quietly when nobody reads any more.
    void (*write)(std::string_view bytes);
    // Waits up to `milliseconds` for input (only for the time once the input has ended), or less
    // when Ulo is asked to end.
    void (*waitForInput)(bool inputEnded, std::int32_t milliseconds);
    // Called at the first look for keys: watching for requests to end Ulo begins. May be null.
    void (*startPolling)();
};

// The width and height the pipe console reports: no line ever wraps or scrolls in practice.
inline constexpr std::int32_t PIPE_CONSOLE_COLUMNS = 1 << 24;
inline constexpr std::int32_t PIPE_CONSOLE_ROWS = 1 << 30;

// (Re)starts the pipe console on `streams` with an empty row and no input read. `utf8`: decode
// input and encode output as UTF-8. `processConsole`: the process's own console, which writes out
// an unfinished row at exit. Returns its hook table.
const ConsoleHooks& startPipeConsole(const PipeStreams& streams, bool utf8, bool processConsole);

} // namespace ulo
