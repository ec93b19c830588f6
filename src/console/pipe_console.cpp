#include "console/pipe_console.hpp"

#include "console/codepage437.hpp"
#include "console/grid_console.hpp"
#include "console/print.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace ulo {
namespace {

struct PipeConsole {
    PipeStreams streams{};
    bool utf8 = false;
    bool polled = false;

    // Input bytes read but not decoded yet.
    std::array<std::uint8_t, 4096> input{};
    std::size_t inputStart = 0;
    std::size_t inputEnd = 0;
    bool inputEnded = false;
    bool skipLineFeed = false; // a CR was Enter: an LF right after it belongs to it
    bool lineTyped = false;    // keys came since the last Enter
    bool droppingLine = false; // the editor refused a key: the rest of the line goes unread
    Utf8Decoder decoder;

    // The row being written (code page 437) and its number, 0-based.
    std::string row;
    std::int32_t rowNumber = 0;
};
PipeConsole console;
GridConsole pipeGrid;

void writeRow(bool lineEnd) {
    std::string out = console.utf8 ? cp437ToUtf8(console.row) : console.row;
    if (lineEnd) {
        out.push_back('\n');
    }
    console.streams.write(out);
    console.row.clear();
}

// Moves down to row `target`, writing out every row left behind. Rows above the current one are
// gone already; a move there stays on the current row.
void advanceTo(std::int32_t target) {
    while (console.rowNumber < target) {
        writeRow(true);
        ++console.rowNumber;
    }
}

void finishOutputAtExit() {
    if (!console.row.empty()) {
        writeRow(false);
    }
}

bool pipeWriteCells(GridConsole&, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                    std::size_t count) {
    advanceTo(y);
    const auto at = static_cast<std::size_t>(x);
    if (console.row.size() < at) {
        console.row.resize(at, ' ');
    }
    console.row.replace(at, count, reinterpret_cast<const char*>(bytes), count);
    return true;
}

// What is written stays written; the row being written is blanked.
void pipeClearRows(GridConsole&, std::int32_t, std::int32_t, bool) {
    console.row.clear();
}

// The rows the cursor leaves are written out; rows above the one being written are gone, so a
// move there stays on it.
void pipePlaceCursor(GridConsole& grid) {
    advanceTo(grid.cursor.y);
    grid.cursor.y = console.rowNumber;
}

void pipeTextSize(GridConsole&, std::int32_t* columns, std::int32_t* rows) {
    *columns = PIPE_CONSOLE_COLUMNS;
    *rows = PIPE_CONSOLE_ROWS;
}

// The bell rings while a line is being typed only when the line editor refuses a key: the line
// is full (Delete, which also rings, never comes from a pipe). What follows of that line up to
// its end would be refused as well, so it is passed over unread.
void pipeBell(GridConsole&) {
    if (console.lineTyped) {
        console.droppingLine = true;
    }
}

// Reads what waits on the input without blocking. False when nothing was read.
bool readMore() {
    const std::int64_t got =
        console.streams.readWaiting(console.input.data(), console.input.size());
    if (got < 0) {
        console.inputEnded = true;
    }
    if (got <= 0) {
        return false;
    }
    console.inputStart = 0;
    console.inputEnd = static_cast<std::size_t>(got);
    return true;
}

// Passes over the input bytes up to the end of the line (which stays to be read); true once it
// was found.
bool dropRestOfLine() {
    const std::uint8_t* start = console.input.data() + console.inputStart;
    const std::uint8_t* end = console.input.data() + console.inputEnd;
    const std::uint8_t* lineEnd =
        std::find_if(start, end, [](std::uint8_t byte) { return byte == '\r' || byte == '\n'; });
    console.inputStart = static_cast<std::size_t>(lineEnd - console.input.data());
    if (lineEnd == end) {
        return false;
    }
    console.droppingLine = false;
    console.decoder = Utf8Decoder{};
    return true;
}

// The key that the next input bytes make, or nothing while no complete key waits.
std::optional<KeyCode> nextKey() {
    for (;;) {
        if (console.inputStart == console.inputEnd && !console.inputEnded && !readMore()) {
            if (!console.inputEnded) {
                return std::nullopt;
            }
        }
        if (console.droppingLine && !dropRestOfLine() && !console.inputEnded) {
            return std::nullopt; // more of it to pass over at the next look, signals seen between
        }
        if (console.inputStart == console.inputEnd) { // the input has ended
            if (console.lineTyped) {
                console.lineTyped = false;
                return KEY_ENTER;
            }
            return INPUT_END_KEY;
        }
        const std::uint8_t byte = console.input[console.inputStart++];
        char32_t character = byte;
        if (console.utf8) {
            character = console.decoder.feed(byte);
            if (character == Utf8Decoder::NONE) {
                continue;
            }
        }
        if (console.skipLineFeed) {
            console.skipLineFeed = false;
            if (character == '\n') {
                continue;
            }
        }
        if (character == '\r' || character == '\n') {
            console.skipLineFeed = character == '\r';
            console.lineTyped = false;
            return KEY_ENTER;
        }
        if (character == 0) {
            continue; // NUL is no key
        }
        KeyCode code = static_cast<KeyCode>(character);
        if (console.utf8 && character >= 128) {
            const int cp437 = unicodeToCp437(character);
            // Characters without a code page 437 form are dropped, and so are the pictures of
            // control bytes (♪ is not Enter).
            if (cp437 < 32) {
                continue;
            }
            code = cp437;
        }
        console.lineTyped = true;
        return code;
    }
}

void startPolling() {
    if (console.polled) {
        return;
    }
    console.polled = true;
    if (console.streams.startPolling != nullptr) {
        console.streams.startPolling();
    }
}

// One key at a time: the bell of a refused key changes how the bytes after it are read.
void pipePollKeys(GridConsole& grid) {
    startPolling();
    if (grid.typed.empty()) {
        if (const std::optional<KeyCode> code = nextKey()) {
            grid.typed.push_back(*code);
        }
    }
}

void pipeWaitForInput(GridConsole&, std::int32_t milliseconds) {
    startPolling();
    console.streams.waitForInput(console.inputEnded, milliseconds);
}

// The screen is the rows written out: it has no bottom, so nothing ever scrolls.
constexpr ConsoleDevice PIPE_DEVICE = {
    .writeCells = pipeWriteCells,
    .clearRows = pipeClearRows,
    .placeCursor = pipePlaceCursor,
    .textSize = pipeTextSize,
    .pollKeys = pipePollKeys,
    .waitForInput = pipeWaitForInput, // a request to end shortens it
    .bell = pipeBell,                 // a refused key: the rest of its line goes unread
};

} // namespace

const ConsoleHooks& startPipeConsole(const PipeStreams& streams, bool utf8, bool processConsole) {
    console = PipeConsole{};
    console.streams = streams;
    console.utf8 = utf8;
    restartGridConsole(pipeGrid, PIPE_DEVICE);
    if (processConsole) {
        registerExitRoutine(finishOutputAtExit);
    }
    return GRID_CONSOLE_HOOKS<pipeGrid>;
}

} // namespace ulo
