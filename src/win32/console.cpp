#include "win32/console.hpp"

#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "console/text_grid.hpp"
#include "console/tty_print.hpp"
#include "runtime/errors.hpp"
#include "screen/codepage437.hpp"
#include "win32/end_requests.hpp"

#include <algorithm>
#include <deque>
#include <vector>
#include <windows.h>

namespace ulo {
namespace {

struct Win32Console {
    bool started = false;
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    DWORD savedInputMode = 0;
    CONSOLE_CURSOR_INFO savedCursor{};
    // The console window's visible part of the screen buffer: Ulo's screen.
    SHORT left = 0;
    SHORT top = 0;
    int columns = 80;
    int rows = 25;
    WORD attributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    GridCursor cursor;
    int visibility = CURSOR_SHOW;
    std::deque<KeyCode> typed; // keys waiting for room in the key buffer
};
Win32Console console;

COORD cellAt(int x, int y) {
    return COORD{static_cast<SHORT>(console.left + x), static_cast<SHORT>(console.top + y)};
}

void placeCursor() {
    ::SetConsoleCursorPosition(console.output, cellAt(console.cursor.x, console.cursor.y));
    CONSOLE_CURSOR_INFO info = console.savedCursor;
    info.bVisible = console.visibility == CURSOR_SHOW;
    ::SetConsoleCursorInfo(console.output, &info);
}

// Takes on the window's size and place. When it lost rows below the cursor, the cursor stays on
// its last row, so that the line being typed stays in view.
void followWindow() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(console.output, &info)) {
        return;
    }
    console.left = info.srWindow.Left;
    console.top = info.srWindow.Top;
    console.columns = std::max(1, info.srWindow.Right - info.srWindow.Left + 1);
    console.rows = std::max(1, info.srWindow.Bottom - info.srWindow.Top + 1);
    console.cursor.x = std::min(console.cursor.x, console.columns - 1);
    console.cursor.y = std::min(console.cursor.y, console.rows - 1);
}

void fillRows(int top, int bottom) {
    for (int row = top; row <= bottom; ++row) {
        DWORD done = 0;
        ::FillConsoleOutputCharacterW(console.output, L' ', static_cast<DWORD>(console.columns),
                                      cellAt(0, row), &done);
        ::FillConsoleOutputAttribute(console.output, console.attributes,
                                     static_cast<DWORD>(console.columns), cellAt(0, row), &done);
    }
}

void targetScroll(TtyTarget& target, int left, int top, int right, int bottom, int count) {
    if (count > bottom - top) {
        fillRows(top, bottom);
    } else {
        const SMALL_RECT area{
            static_cast<SHORT>(console.left + left), static_cast<SHORT>(console.top + top),
            static_cast<SHORT>(console.left + right), static_cast<SHORT>(console.top + bottom)};
        CHAR_INFO blank;
        blank.Char.UnicodeChar = L' ';
        blank.Attributes = console.attributes;
        ::ScrollConsoleScreenBufferW(console.output, &area, &area, cellAt(left, top - count),
                                     &blank);
    }
    target.y = bottom;
}

int targetWrite(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    std::vector<wchar_t> text(count);
    for (std::size_t i = 0; i < count; ++i) {
        text[i] = static_cast<wchar_t>(cp437ToUnicode(bytes[i]));
    }
    DWORD written = 0;
    return ::WriteConsoleOutputCharacterW(console.output, text.data(), static_cast<DWORD>(count),
                                          cellAt(target.x, target.y), &written) &&
                   written == count
               ? 1
               : 0;
}

void targetBeep(TtyTarget&) {
    ::Beep(1000, 250);
}

void consolePrintBuffer(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) {
    if (length == 0 && (mask & PRINT_FORCE_ADJUST) == 0) {
        return;
    }
    followWindow();
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    TtyTarget target{.context = nullptr,
                     .scroll = targetScroll,
                     .write = targetWrite,
                     .beep = targetBeep,
                     .left = 0,
                     .top = std::min(top - 1, console.rows - 1),
                     .right = console.columns - 1,
                     .bottom = std::min(bottom - 1, console.rows - 1),
                     .x = 0,
                     .y = 0};
    printOnGrid(console.cursor, target, bytes, length);
    placeCursor();
}

void consoleClear(std::uint32_t mode) {
    followWindow();
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    top = std::min(top, console.rows);
    bottom = std::min(bottom, console.rows);
    if (mode == CLEAR_DEFAULT) {
        mode = top == 1 && bottom == console.rows ? CLEAR_ALL : CLEAR_TEXT_VIEW;
    }
    if (mode == CLEAR_ALL) {
        fillRows(0, console.rows - 1);
    } else if (mode == CLEAR_TEXT_VIEW) {
        fillRows(top - 1, bottom - 1);
    } else {
        return; // there is no graphics viewport on a console
    }
    console.cursor = GridCursor{0, top - 1, false};
    placeCursor();
}

std::int32_t consoleSetCursor(std::int32_t row, std::int32_t column, std::int32_t visibility) {
    console.cursor.pendingWrap = false;
    if (row != 0) {
        console.cursor.y = std::clamp(row - 1, 0, console.rows - 1);
    }
    if (column != 0) {
        console.cursor.x = std::clamp(column - 1, 0, console.columns - 1);
    }
    if (visibility != CURSOR_KEEP) {
        console.visibility = visibility != 0 ? CURSOR_SHOW : CURSOR_HIDE;
    }
    placeCursor();
    return packedCursor(console.cursor, console.visibility);
}

std::int32_t consoleGetColumn() {
    return console.cursor.x + 1;
}
std::int32_t consoleGetRow() {
    return console.cursor.y + 1;
}
void consoleGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = consoleGetColumn();
    *row = consoleGetRow();
}
void consoleGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    followWindow();
    *columns = console.columns;
    *rows = console.rows;
}

// A new text view: the cursor is kept inside it.
void consoleViewUpdate(std::int32_t top, std::int32_t bottom) {
    console.cursor.y = std::clamp(console.cursor.y, top - 1, bottom - 1);
    placeCursor();
}

// Drains the console's input events into `console.typed`.
void readEvents() {
    DWORD waiting = 0;
    while (::GetNumberOfConsoleInputEvents(console.input, &waiting) && waiting > 0) {
        INPUT_RECORD records[32];
        DWORD got = 0;
        if (!::ReadConsoleInputW(console.input, records, 32, &got) || got == 0) {
            return;
        }
        for (DWORD i = 0; i < got; ++i) {
            if (records[i].EventType != KEY_EVENT) {
                continue; // focus, mouse, menu and size events: the size is read at each print
            }
            const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
            const KeyCode code =
                consoleKeyCode({key.bKeyDown != 0, key.wVirtualKeyCode, key.wVirtualScanCode,
                                key.uChar.UnicodeChar, key.dwControlKeyState});
            for (WORD repeat = 0; code > 0 && repeat < std::max<WORD>(key.wRepeatCount, 1);
                 ++repeat) {
                console.typed.push_back(code);
            }
        }
    }
}

bool consoleKeyAvailable() {
    endOnRequest();
    if (!keyBufferEmpty()) {
        return true;
    }
    readEvents();
    if (!console.typed.empty()) {
        pushKey(console.typed.front());
        console.typed.pop_front();
        return true;
    }
    return false;
}

KeyCode consoleTakeKey() {
    return consoleKeyAvailable() ? popKey() : 0;
}

KeyString consoleReadKey() {
    return keyStringFor(consoleTakeKey());
}

// Waits for console input or an end request, up to `milliseconds`.
void consoleSleep(std::int32_t milliseconds) {
    const HANDLE handles[2] = {console.input, endRequestEvent()};
    ::WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(std::max(milliseconds, 0)));
    endOnRequest();
}

std::int32_t consoleWaitKey() {
    return waitForKey(consoleTakeKey, consoleSleep);
}

void restoreConsole() {
    ::SetConsoleMode(console.input, console.savedInputMode);
    ::SetConsoleCursorInfo(console.output, &console.savedCursor);
}

// The slots Ulo uses, and waitKey; the others stay empty.
constexpr ConsoleHooks WIN32_CONSOLE_HOOKS = {
    .readKey = consoleReadKey,
    .keyAvailable = consoleKeyAvailable,
    .clear = consoleClear,
    .setCursor = consoleSetCursor,
    .getCursor = consoleGetCursor,
    .getTextSize = consoleGetTextSize,
    .printBuffer = consolePrintBuffer,
    .viewUpdate = consoleViewUpdate,
    .inputLine = runInputLine,
    .sleep = consoleSleep,

    .waitKey = consoleWaitKey,
    .getColumn = consoleGetColumn,
    .getRow = consoleGetRow,
};

// The key's own unshifted character, from its virtual key. Taken from the key code itself rather
// than from the keyboard layout, so that the console needs nothing of the window system; the keys
// whose character depends on the layout get that of the US layout.
std::uint8_t baseCharacterOf(unsigned short virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return static_cast<std::uint8_t>(virtualKey - 'A' + 'a');
    }
    if ((virtualKey >= '0' && virtualKey <= '9') || virtualKey == VK_SPACE) {
        return static_cast<std::uint8_t>(virtualKey);
    }
    switch (virtualKey) {
    case VK_OEM_MINUS:
        return '-';
    case VK_OEM_PLUS:
        return '=';
    case VK_OEM_COMMA:
        return ',';
    case VK_OEM_PERIOD:
        return '.';
    case VK_OEM_1:
        return ';';
    case VK_OEM_2:
        return '/';
    case VK_OEM_3:
        return '`';
    case VK_OEM_4:
        return '[';
    case VK_OEM_5:
        return '\\';
    case VK_OEM_6:
        return ']';
    case VK_OEM_7:
        return '\'';
    case VK_ESCAPE:
        return KEY_ESCAPE;
    case VK_BACK:
        return KEY_BACKSPACE;
    case VK_TAB:
        return KEY_TAB;
    case VK_RETURN:
        return KEY_ENTER;
    default:
        return 0;
    }
}

} // namespace

KeyCode consoleKeyCode(const ConsoleKeyEvent& event) {
    char32_t character = event.character;
    if (!event.keyDown) {
        // Only a character composed with Alt and keypad digits arrives with a release.
        if (event.virtualKey != VK_MENU || character == 0) {
            return -1;
        }
    } else if (character == 0 && event.virtualKey == VK_ESCAPE) {
        character = KEY_ESCAPE; // which some consoles report without its character
    }
    KeyPress press;
    if (character >= 128) {
        // Characters code page 437 lacks are dropped, and so are the pictures of control bytes
        // (♪ is not Enter).
        const int cp437 = unicodeToCp437(character);
        if (cp437 < 32) {
            return -1;
        }
        press.character = static_cast<std::uint8_t>(cp437);
    } else {
        press.character = static_cast<std::uint8_t>(character);
    }
    if (!event.keyDown) {
        return press.character != 0 ? press.character : -1;
    }
    press.scanCode = static_cast<std::uint8_t>(event.scanCode);
    press.baseCharacter = baseCharacterOf(event.virtualKey);
    press.controlKeyState = static_cast<std::uint32_t>(event.controlKeyState);
    return translateKey(press);
}

bool startWin32Console() {
    if (console.started) {
        return true;
    }
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD inputMode = 0;
    DWORD outputMode = 0;
    if (!::GetConsoleMode(input, &inputMode) || !::GetConsoleMode(output, &outputMode)) {
        return false;
    }
    console.started = true;
    console.input = input;
    console.output = output;
    console.savedInputMode = inputMode;
    ::GetConsoleCursorInfo(output, &console.savedCursor);
    if (console.savedCursor.dwSize == 0) {
        console.savedCursor = CONSOLE_CURSOR_INFO{25, TRUE};
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(output, &info)) {
        console.attributes = info.wAttributes;
    }
    followWindow();
    // Keys one by one, without echo; Ctrl+C stays a request to end, for the control handler.
    ::SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
    registerExitRoutine(restoreConsole);
    watchEndRequests();
    return true;
}

const ConsoleHooks& win32ConsoleHooks() {
    return WIN32_CONSOLE_HOOKS;
}

} // namespace ulo
