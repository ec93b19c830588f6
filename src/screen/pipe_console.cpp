#include "screen/pipe_console.hpp"

#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "console/text_grid.hpp"
#include "console/tty_print.hpp"
#include "screen/codepage437.hpp"

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

    // The row being written (code page 437), its number and the cursor column, 0-based.
    std::string row;
    std::int32_t rowNumber = 0;
    std::int32_t column = 0;
    std::int32_t visibility = CURSOR_SHOW;
};
PipeConsole console;

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

int rowWrite(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    advanceTo(target.y);
    const auto at = static_cast<std::size_t>(target.x);
    if (console.row.size() < at) {
        console.row.resize(at, ' ');
    }
    console.row.replace(at, count, reinterpret_cast<const char*>(bytes), count);
    return 1;
}

void rowScroll(TtyTarget&, int, int, int, int, int) {
    // The pipe's screen has no bottom border, so nothing ever scrolls.
}

// The bell rings while a line is being typed only when the line editor refuses a key: the line
// is full (Delete, which also rings, never comes from a pipe). What follows of that line up to
// its end would be refused as well, so it is passed over unread.
void rowBeep(TtyTarget&) {
    if (console.lineTyped) {
        console.droppingLine = true;
    }
}

void pipePrintBuffer(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) {
    if (length == 0 && (mask & PRINT_FORCE_ADJUST) == 0) {
        return;
    }
    // The pipe's screen has no bottom border: nothing ever scrolls or parks.
    TtyTarget target{.context = nullptr,
                     .scroll = rowScroll,
                     .write = rowWrite,
                     .beep = rowBeep,
                     .left = 0,
                     .top = 0,
                     .right = PIPE_CONSOLE_COLUMNS - 1,
                     .bottom = -1,
                     .x = 0,
                     .y = 0};
    GridCursor cursor{console.column, console.rowNumber};
    printOnGrid(cursor, target, bytes, length);
    advanceTo(cursor.y);
    console.column = cursor.x;
}

void pipeClear(std::uint32_t mode) {
    if (mode == CLEAR_ALL || mode == CLEAR_TEXT_VIEW || mode == CLEAR_DEFAULT) {
        // What is written stays written; the row being written is blanked.
        console.row.clear();
        console.column = 0;
    }
}

std::int32_t pipeSetCursor(std::int32_t row, std::int32_t column, std::int32_t visibility) {
    if (row != 0) {
        advanceTo(row - 1);
    }
    if (column != 0) {
        console.column = column - 1;
    }
    if (visibility != CURSOR_KEEP) {
        console.visibility = visibility != 0 ? CURSOR_SHOW : CURSOR_HIDE;
    }
    return packedCursor({console.column, console.rowNumber}, console.visibility);
}

std::int32_t pipeGetColumn() {
    return console.column + 1;
}
std::int32_t pipeGetRow() {
    return console.rowNumber + 1;
}
void pipeGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = pipeGetColumn();
    *row = pipeGetRow();
}
void pipeGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    *columns = PIPE_CONSOLE_COLUMNS;
    *rows = PIPE_CONSOLE_ROWS;
}
void pipeViewUpdate(std::int32_t, std::int32_t) {
    // Output has no view to keep: every row is written out in turn.
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

void endOnRequest() {
    if (console.streams.endOnRequest != nullptr) {
        console.streams.endOnRequest();
    }
}

bool pipeKeyAvailable() {
    startPolling();
    endOnRequest();
    if (!keyBufferEmpty()) {
        return true;
    }
    if (const std::optional<KeyCode> code = nextKey()) {
        pushKey(*code);
        return true;
    }
    return false;
}

KeyCode pipeTakeKey() {
    return pipeKeyAvailable() ? popKey() : 0;
}

KeyString pipeReadKey() {
    return keyStringFor(pipeTakeKey());
}

void pipeSleep(std::int32_t milliseconds) {
    startPolling();
    console.streams.waitForInput(console.inputEnded, milliseconds);
    endOnRequest();
}

std::int32_t pipeWaitKey() {
    return waitForKey(pipeTakeKey, pipeSleep);
}

// The slots Ulo uses, and waitKey; the others stay empty.
constexpr ConsoleHooks PIPE_CONSOLE_HOOKS = {
    .readKey = pipeReadKey,
    .keyAvailable = pipeKeyAvailable,
    .clear = pipeClear,
    .setCursor = pipeSetCursor,
    .getCursor = pipeGetCursor,
    .getTextSize = pipeGetTextSize,
    .printBuffer = pipePrintBuffer,
    .viewUpdate = pipeViewUpdate,
    .inputLine = runInputLine,
    .sleep = pipeSleep,

    .waitKey = pipeWaitKey,
    .getColumn = pipeGetColumn,
    .getRow = pipeGetRow,
};

} // namespace

void startPipeConsole(const PipeStreams& streams, bool utf8, bool processConsole) {
    console = PipeConsole{};
    console.streams = streams;
    console.utf8 = utf8;
    if (processConsole) {
        registerExitRoutine(finishOutputAtExit);
    }
}

const ConsoleHooks& pipeConsoleHooks() {
    return PIPE_CONSOLE_HOOKS;
}

} // namespace ulo
