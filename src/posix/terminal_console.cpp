#include "posix/terminal_console.hpp"

#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "console/text_grid.hpp"
#include "console/tty_print.hpp"
#include "posix/console_input.hpp"
#include "posix/key_decoder.hpp"
#include "posix/terminal_description.hpp"
#include "posix/termination_signals.hpp"
#include "screen/codepage437.hpp"

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
    // The cursor; parked on the last cell of the view after a print that filled it, the next
    // print going on at the start of the row below.
    GridCursor cursor;
    int visibility = CURSOR_SHOW;
    int shownVisibility = -1; // what the terminal shows; -1 before the first update
    bool changed = true;      // the terminal needs an update
    bool inputEnded = false;
    bool multibyte = true; // the locale's characters can take more than one byte
    TerminalKeyDecoder decoder;
    std::deque<KeyCode> typed; // decoded keys waiting for room in the key buffer
};
TerminalConsole term;

// Brings the terminal up to date: the text drawn, the cursor placed and shown or hidden. Drawing
// is collected until Ulo waits for keys, so each key's echo reaches the terminal in one update.
void present() {
    if (!term.changed) {
        return;
    }
    term.changed = false;
    if (term.visibility == CURSOR_HIDE && term.shownVisibility != CURSOR_HIDE) {
        curs_set(0);
        term.shownVisibility = CURSOR_HIDE;
    }
    wmove(stdscr, term.cursor.y, term.cursor.x);
    wrefresh(stdscr);
    if (term.visibility == CURSOR_SHOW && term.shownVisibility != CURSOR_SHOW) {
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
    present();
    endwin();
}

// Scrolls rows top..bottom up. The console's targets always span the terminal's full width.
void scrollRows(int top, int bottom, int count) {
    count = std::min(count, bottom - top + 1);
    wsetscrreg(stdscr, top, bottom);
    scrollok(stdscr, TRUE);
    wscrl(stdscr, count);
    scrollok(stdscr, FALSE);
    wsetscrreg(stdscr, 0, term.rows - 1);
}

void targetScroll(TtyTarget& target, int, int top, int, int bottom, int count) {
    scrollRows(top, bottom, count);
    target.y = bottom;
}

int targetWrite(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t CHUNK = 64;
    cchar_t cells[CHUNK];
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(CHUNK, count - done);
        for (std::size_t i = 0; i < n; ++i) {
            const wchar_t text[2] = {static_cast<wchar_t>(cp437ToUnicode(bytes[done + i])), 0};
            setcchar(&cells[i], text, A_NORMAL, 0, nullptr);
        }
        if (mvwadd_wchnstr(stdscr, target.y, target.x + static_cast<int>(done), cells,
                           static_cast<int>(n)) == ERR) {
            return 0;
        }
        done += n;
    }
    return 1;
}

void targetBeep(TtyTarget&) {
    term.changed = true;
    present();
    beep();
}

void terminalPrintBuffer(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) {
    if (length == 0 && (mask & PRINT_FORCE_ADJUST) == 0) {
        return;
    }
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    TtyTarget target{.context = nullptr,
                     .scroll = targetScroll,
                     .write = targetWrite,
                     .beep = targetBeep,
                     .left = 0,
                     .top = top - 1,
                     .right = term.columns - 1,
                     .bottom = bottom - 1,
                     .x = 0,
                     .y = 0};
    printOnGrid(term.cursor, target, bytes, length);
    term.changed = true;
}

void terminalClear(std::uint32_t mode) {
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    if (mode == CLEAR_DEFAULT) {
        mode = top == 1 && bottom == term.rows ? CLEAR_ALL : CLEAR_TEXT_VIEW;
    }
    if (mode == CLEAR_ALL) {
        werase(stdscr);
        clearok(stdscr, TRUE); // the terminal itself is cleared on the next update
    } else if (mode == CLEAR_TEXT_VIEW) {
        for (int row = top - 1; row < bottom; ++row) {
            wmove(stdscr, row, 0);
            wclrtoeol(stdscr);
        }
    } else {
        return; // there is no graphics viewport on a terminal
    }
    term.cursor.x = 0;
    term.cursor.y = top - 1;
    term.cursor.pendingWrap = false;
    term.changed = true;
}

std::int32_t terminalSetCursor(std::int32_t row, std::int32_t column, std::int32_t visibility) {
    term.cursor.pendingWrap = false;
    if (row != 0) {
        term.cursor.y = std::clamp(row - 1, 0, term.rows - 1);
    }
    if (column != 0) {
        term.cursor.x = std::clamp(column - 1, 0, term.columns - 1);
    }
    if (visibility != CURSOR_KEEP) {
        term.visibility = visibility != 0 ? CURSOR_SHOW : CURSOR_HIDE;
    }
    term.changed = true;
    return packedCursor(term.cursor, term.visibility);
}

std::int32_t terminalGetColumn() {
    return term.cursor.x + 1;
}
std::int32_t terminalGetRow() {
    return term.cursor.y + 1;
}
void terminalGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = terminalGetColumn();
    *row = terminalGetRow();
}
void terminalGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    *columns = term.columns;
    *rows = term.rows;
}

// A new text view: the cursor is kept inside it.
void terminalViewUpdate(std::int32_t top, std::int32_t bottom) {
    term.cursor.y = std::clamp(term.cursor.y, top - 1, bottom - 1);
    term.changed = true;
}

// Takes on the terminal's new size. When it lost rows below the cursor, the text moves up with
// the cursor, so that the latest lines and the line being typed stay in view.
void followResize() {
    if (!takeResizeSignal()) {
        return;
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
        return;
    }
    const int rows = size.ws_row;
    const int columns = size.ws_col;
    if (term.cursor.pendingWrap) { // the row below the parked cursor is where output goes on
        term.cursor.pendingWrap = false;
        term.cursor.x = 0;
        ++term.cursor.y;
    }
    if (term.cursor.y >= rows) {
        const int lost = term.cursor.y - rows + 1;
        scrollRows(0, term.rows - 1, lost);
        term.cursor.y -= lost;
    }
    resize_term(rows, columns);
    term.rows = rows;
    term.columns = columns;
    term.cursor.x = std::min(term.cursor.x, columns - 1);
    term.cursor.y = std::min(term.cursor.y, rows - 1);
    wsetscrreg(stdscr, 0, rows - 1);
    clearok(stdscr, TRUE);
    term.changed = true;
}

// Keys decoded but not yet in the key buffer, at most this many (a few keys more when the last
// character read completed several).
constexpr std::size_t MOST_TYPED_KEYS = 4096;

void takeDecodedKeys() {
    for (const KeyCode code : term.decoder.takeCodes()) {
        term.typed.push_back(code);
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

// Decodes the keys the terminal has sent so far into `term.typed`, up to MOST_TYPED_KEYS of
// them: the rest waits in the terminal's own buffer, so that endless input takes no more memory.
void readTyped() {
    bool waited = false;
    while (term.typed.size() < MOST_TYPED_KEYS) {
        char32_t character = 0;
        int key = 0;
        const Typed typed = nextTyped(character, key);
        if (typed == Typed::Nothing) {
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
        if (typed == Typed::Character) {
            term.decoder.character(character);
        } else if (typed == Typed::NamedKey && key != KEY_RESIZE) {
            if (const char* name = keyname(key)) {
                term.decoder.namedKey(name);
            }
        }
        takeDecodedKeys();
    }
    takeDecodedKeys();
}

bool terminalKeyAvailable() {
    endOnTerminationSignal();
    followResize();
    present();
    if (!keyBufferEmpty()) {
        return true;
    }
    readTyped();
    if (!term.typed.empty()) {
        pushKey(term.typed.front());
        term.typed.pop_front();
        return true;
    }
    if (term.inputEnded) {
        pushKey(INPUT_END_KEY);
        return true;
    }
    return false;
}

KeyCode terminalTakeKey() {
    return terminalKeyAvailable() ? popKey() : 0;
}

KeyString terminalReadKey() {
    return keyStringFor(terminalTakeKey());
}

void terminalSleep(std::int32_t milliseconds) {
    present();
    if (waitForInput(term.inputEnded ? -1 : STDIN_FILENO, milliseconds) == InputWait::Closed) {
        term.inputEnded = true; // the terminal has gone away
    }
    endOnTerminationSignal();
}

std::int32_t terminalWaitKey() {
    return waitForKey(terminalTakeKey, terminalSleep);
}

// The slots Ulo uses, and waitKey; the others stay empty.
constexpr ConsoleHooks TERMINAL_CONSOLE_HOOKS = {
    .readKey = terminalReadKey,
    .keyAvailable = terminalKeyAvailable,
    .clear = terminalClear,
    .setCursor = terminalSetCursor,
    .getCursor = terminalGetCursor,
    .getTextSize = terminalGetTextSize,
    .printBuffer = terminalPrintBuffer,
    .viewUpdate = terminalViewUpdate,
    .inputLine = runInputLine,
    .sleep = terminalSleep,

    .waitKey = terminalWaitKey,
    .getColumn = terminalGetColumn,
    .getRow = terminalGetRow,
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
    return TERMINAL_CONSOLE_HOOKS;
}

} // namespace ulo
