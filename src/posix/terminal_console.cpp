#include "posix/terminal_console.hpp"

#include "console/codepage437.hpp"
#include "console/grid_console.hpp"
#include "posix/console_input.hpp"
#include "posix/key_decoder.hpp"
#include "posix/terminal_description.hpp"
#include "posix/termination_signals.hpp"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <sys/ioctl.h>
#include <unistd.h>

// The library's function-like macros (scroll, clear, move, ...) would clash with our own names.
#define NCURSES_NOMACROS
#define NCURSES_WIDECHAR 1
#include <curses.h>

namespace ulo {
namespace {

// How long the terminal library waits for the rest of an escape sequence before it takes an
// Escape as the Escape key. Short, so that Escape answers at once; a whole key sequence arrives
// within it even over a remote connection.
constexpr int ESCAPE_DELAY_MS = 25;

struct TerminalConsole {
    bool started = false;
    bool restored = false;
    int columns = 80;
    int rows = 24;
    // What the terminal shows of the cursor; visibility -1 before the first update.
    GridCursor shownCursor;
    int shownVisibility = -1;
    bool changed = true; // drawn since the last update
    bool inputEnded = false;
    bool multibyte = true; // the locale's characters can take more than one byte
    TerminalKeyDecoder decoder;
};
TerminalConsole term;
GridConsole terminalGrid;

// Brings the terminal up to date: the text drawn, the cursor placed and shown or hidden. Drawing
// is collected until Ulo waits for keys, so each key's echo reaches the terminal in one update.
void refresh(const GridConsole& grid) {
    const GridCursor& cursor = grid.cursor;
    const bool moved = cursor.x != term.shownCursor.x || cursor.y != term.shownCursor.y;
    if (!term.changed && !moved && grid.visibility == term.shownVisibility) {
        return;
    }
    term.changed = false;
    if (grid.visibility == CURSOR_HIDE && term.shownVisibility != CURSOR_HIDE) {
        curs_set(0);
        term.shownVisibility = CURSOR_HIDE;
    }
    wmove(stdscr, cursor.y, cursor.x);
    wrefresh(stdscr);
    term.shownCursor = cursor;
    if (grid.visibility == CURSOR_SHOW && term.shownVisibility != CURSOR_SHOW) {
        curs_set(1);
        term.shownVisibility = CURSOR_SHOW;
    }
}

void restoreTerminal() {
    if (!term.started || term.restored) {
        return;
    }
    term.restored = true;
    term.changed = true;
    refresh(terminalGrid);
    endwin();
}

// Scrolls rows top..bottom up. The console's rows always span the terminal's full width.
void scrollRows(int top, int bottom, int count) {
    count = std::min(count, bottom - top + 1);
    wsetscrreg(stdscr, top, bottom);
    scrollok(stdscr, TRUE);
    wscrl(stdscr, count);
    scrollok(stdscr, FALSE);
    wsetscrreg(stdscr, 0, term.rows - 1);
}

void terminalScrollRows(GridConsole&, std::int32_t top, std::int32_t bottom, std::int32_t count) {
    scrollRows(top, bottom, count);
    term.changed = true;
}

bool terminalWriteCells(GridConsole&, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                        std::size_t count) {
    constexpr std::size_t CHUNK = 64;
    cchar_t cells[CHUNK];
    term.changed = true;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(CHUNK, count - done);
        for (std::size_t i = 0; i < n; ++i) {
            const wchar_t text[2] = {static_cast<wchar_t>(cp437ToUnicode(bytes[done + i])), 0};
            setcchar(&cells[i], text, A_NORMAL, 0, nullptr);
        }
        if (mvwadd_wchnstr(stdscr, y, x + static_cast<int>(done), cells, static_cast<int>(n)) ==
            ERR) {
            return false;
        }
        done += n;
    }
    return true;
}

void terminalClearRows(GridConsole&, std::int32_t top, std::int32_t bottom, bool wholeScreen) {
    if (wholeScreen) {
        werase(stdscr);
        clearok(stdscr, TRUE); // the terminal itself is cleared on the next update
    } else {
        for (int row = top; row <= bottom; ++row) {
            wmove(stdscr, row, 0);
            wclrtoeol(stdscr);
        }
    }
    term.changed = true;
}

// The terminal's own bell, once what was drawn before it shows.
void terminalBell(GridConsole& grid) {
    term.changed = true;
    refresh(grid);
    beep();
}

void terminalTextSize(GridConsole&, std::int32_t* columns, std::int32_t* rows) {
    *columns = term.columns;
    *rows = term.rows;
}

// Takes on the terminal's new size. When it lost rows below the cursor, the text moves up with
// the cursor, so that the latest lines and the line being typed stay in view.
void followResize(GridCursor& cursor) {
    if (!takeResizeSignal()) {
        return;
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
        return;
    }
    const int rows = size.ws_row;
    const int columns = size.ws_col;
    if (cursor.pendingWrap) { // the row below the parked cursor is where output goes on
        cursor.pendingWrap = false;
        cursor.x = 0;
        ++cursor.y;
    }
    if (cursor.y >= rows) {
        const int lost = cursor.y - rows + 1;
        scrollRows(0, term.rows - 1, lost);
        cursor.y -= lost;
    }
    resize_term(rows, columns);
    term.rows = rows;
    term.columns = columns;
    cursor.x = std::min(cursor.x, columns - 1);
    cursor.y = std::min(cursor.y, rows - 1);
    wsetscrreg(stdscr, 0, rows - 1);
    clearok(stdscr, TRUE);
    term.changed = true;
}

// Keys decoded but not yet in the key buffer, at most this many (a few keys more when the last
// character read completed several).
constexpr std::size_t MOST_TYPED_KEYS = 4096;

void takeDecodedKeys(std::deque<KeyCode>& typed) {
    for (const KeyCode code : term.decoder.takeCodes()) {
        typed.push_back(code);
    }
}

// What the terminal sent next: a character (in Unicode), a key the description names, or
// nothing. Under a locale whose characters take several bytes the library decodes them; under a
// single-byte locale each byte is one character, and a byte the locale has no character for is
// dropped rather than left to swallow the keys after it.
enum class Typed { Nothing, Character, NamedKey, Skipped };
Typed nextTyped(char32_t& character, int& key) {
    if (term.multibyte) {
        wint_t wide = 0;
        const int result = wget_wch(stdscr, &wide);
        if (result == ERR) {
            return Typed::Nothing;
        }
        key = static_cast<int>(wide);
        character = static_cast<char32_t>(wide);
        return result == KEY_CODE_YES ? Typed::NamedKey : Typed::Character;
    }
    key = wgetch(stdscr);
    if (key == ERR) {
        return Typed::Nothing;
    }
    if (key >= KEY_MIN) {
        return Typed::NamedKey;
    }
    const wint_t wide = key < 128 ? static_cast<wint_t>(key) : btowc(key);
    if (wide == WEOF) {
        return Typed::Skipped;
    }
    character = static_cast<char32_t>(wide);
    return Typed::Character;
}

// Decodes the keys the terminal has sent so far into `typed`, up to MOST_TYPED_KEYS of them:
// the rest waits in the terminal's own buffer, so that endless input takes no more memory.
void readTyped(std::deque<KeyCode>& typed) {
    bool waited = false;
    while (typed.size() < MOST_TYPED_KEYS) {
        char32_t character = 0;
        int key = 0;
        const Typed what = nextTyped(character, key);
        if (what == Typed::Nothing) {
            // The rest of an escape sequence may still be on its way: wait for it once.
            if (term.decoder.pending() && !waited) {
                waited = true;
                if (waitForInput(STDIN_FILENO, ESCAPE_DELAY_MS) == InputWait::Ready) {
                    continue;
                }
            }
            term.decoder.idle();
            break;
        }
        waited = false;
        if (what == Typed::Character) {
            term.decoder.character(character);
        } else if (what == Typed::NamedKey && key != KEY_RESIZE) {
            if (const char* name = keyname(key)) {
                term.decoder.namedKey(name);
            }
        }
        takeDecodedKeys(typed);
    }
    takeDecodedKeys(typed);
}

// A new size is taken on before the terminal is brought up to date.
void terminalPresent(GridConsole& grid) {
    followResize(grid.cursor);
    refresh(grid);
}

void terminalPollKeys(GridConsole& grid) {
    readTyped(grid.typed);
    if (grid.typed.empty() && term.inputEnded) {
        grid.typed.push_back(INPUT_END_KEY);
    }
}

void terminalWaitForInput(GridConsole&, std::int32_t milliseconds) {
    if (waitForInput(term.inputEnded ? -1 : STDIN_FILENO, milliseconds) == InputWait::Closed) {
        term.inputEnded = true; // the terminal has gone away
    }
}

constexpr ConsoleDevice TERMINAL_DEVICE = {
    .writeCells = terminalWriteCells,
    .scrollRows = terminalScrollRows,
    .clearRows = terminalClearRows,
    .present = terminalPresent, // drawing is collected until Ulo looks for keys
    .textSize = terminalTextSize,
    .pollKeys = terminalPollKeys,
    .waitForInput = terminalWaitForInput,
    .bell = terminalBell, // the terminal's own, not a tone
    .showsCursor = true,
};

} // namespace

bool startTerminalConsole() {
    if (term.started) {
        return true;
    }
    // Ulo's own handlers go in first, so that the terminal library leaves these signals alone:
    // the console ends Ulo and follows size changes from the main thread.
    watchTerminationSignals();
    watchResizeSignal();
    if (!terminalCanPlaceTheCursor()) {
        return false;
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        return false;
    }
    set_term(screen);
    term.started = true;
    restartGridConsole(terminalGrid, TERMINAL_DEVICE);
    registerExitRoutine(restoreTerminal);
    cbreak(); // Ctrl+C, Ctrl+Z and Ctrl+\ keep their signals
    noecho();
    nonl(); // Enter arrives as CR
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    idlok(stdscr, TRUE);
    scrollok(stdscr, FALSE);
    if (std::getenv("ESCDELAY") == nullptr) { // the user's own choice wins
        set_escdelay(ESCAPE_DELAY_MS);
    }
    getmaxyx(stdscr, term.rows, term.columns);
    term.multibyte = MB_CUR_MAX > 1;
    return true;
}

const ConsoleHooks& terminalConsoleHooks() {
    return GRID_CONSOLE_HOOKS<terminalGrid>;
}

} // namespace ulo
