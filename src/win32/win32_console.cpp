#include "win32/win32_console.hpp"

#include "console/codepage437.hpp"
#include "console/grid_console.hpp"
#include "runtime/errors.hpp"
#include "win32/end_requests.hpp"

#include <algorithm>
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
};
Win32Console console;

COORD cellAt(int x, int y) {
    return COORD{static_cast<SHORT>(console.left + x), static_cast<SHORT>(console.top + y)};
}

void consolePlaceCursor(GridConsole& grid) {
    ::SetConsoleCursorPosition(console.output, cellAt(grid.cursor.x, grid.cursor.y));
    CONSOLE_CURSOR_INFO info = console.savedCursor;
    info.bVisible = grid.visibility == CURSOR_SHOW;
    ::SetConsoleCursorInfo(console.output, &info);
}

// Takes on the window's size and place, which the user may change at any time. When it lost rows
// below the cursor, the cursor stays on its last row, so that the line being typed stays in view.
void consoleTextSize(GridConsole& grid, std::int32_t* columns, std::int32_t* rows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(console.output, &info)) {
        console.left = info.srWindow.Left;
        console.top = info.srWindow.Top;
        console.columns = std::max(1, info.srWindow.Right - info.srWindow.Left + 1);
        console.rows = std::max(1, info.srWindow.Bottom - info.srWindow.Top + 1);
        grid.cursor.x = std::min(grid.cursor.x, console.columns - 1);
        grid.cursor.y = std::min(grid.cursor.y, console.rows - 1);
    }
    *columns = console.columns;
    *rows = console.rows;
}

void consoleClearRows(GridConsole&, std::int32_t top, std::int32_t bottom, bool) {
    for (int row = top; row <= bottom; ++row) {
        DWORD done = 0;
        ::FillConsoleOutputCharacterW(console.output, L' ', static_cast<DWORD>(console.columns),
                                      cellAt(0, row), &done);
        ::FillConsoleOutputAttribute(console.output, console.attributes,
                                     static_cast<DWORD>(console.columns), cellAt(0, row), &done);
    }
}

void consoleScrollRows(GridConsole& grid, std::int32_t top, std::int32_t bottom,
                       std::int32_t count) {
    if (count > bottom - top) {
        consoleClearRows(grid, top, bottom, false);
        return;
    }
    const SMALL_RECT area{static_cast<SHORT>(console.left), static_cast<SHORT>(console.top + top),
                          static_cast<SHORT>(console.left + console.columns - 1),
                          static_cast<SHORT>(console.top + bottom)};
    CHAR_INFO blank;
    blank.Char.UnicodeChar = L' ';
    blank.Attributes = console.attributes;
    ::ScrollConsoleScreenBufferW(console.output, &area, &area, cellAt(0, top - count), &blank);
}

bool consoleWriteCells(GridConsole&, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                       std::size_t count) {
    std::vector<wchar_t> text(count);
    for (std::size_t i = 0; i < count; ++i) {
        text[i] = static_cast<wchar_t>(cp437ToUnicode(bytes[i]));
    }
    DWORD written = 0;
    return ::WriteConsoleOutputCharacterW(console.output, text.data(), static_cast<DWORD>(count),
                                          cellAt(x, y), &written) &&
           written == count;
}

// Drains the console's input events into the keys waiting.
void consolePollKeys(GridConsole& grid) {
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
                grid.typed.push_back(code);
            }
        }
    }
}

// Waits for console input or an end request, up to `milliseconds`.
void consoleWaitForInput(GridConsole&, std::int32_t milliseconds) {
    const HANDLE handles[2] = {console.input, endRequestEvent()};
    ::WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(std::max(milliseconds, 0)));
}

void restoreConsole() {
    ::SetConsoleMode(console.input, console.savedInputMode);
    ::SetConsoleCursorInfo(console.output, &console.savedCursor);
}

constexpr ConsoleDevice WIN32_CONSOLE_DEVICE = {
    .writeCells = consoleWriteCells,
    .scrollRows = consoleScrollRows,
    .clearRows = consoleClearRows,
    .placeCursor = consolePlaceCursor,
    .textSize = consoleTextSize, // follows the console window
    .pollKeys = consolePollKeys,
    .waitForInput = consoleWaitForInput,
    .bell = soundBell, // the tone plays on a thread of its own, as the window's does
    .showsCursor = true,
};
// Its table serves before the console is taken too: nothing shows then, but the bell sounds.
GridConsole win32Grid{.device = &WIN32_CONSOLE_DEVICE};

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
    } else if (character == 0x7F && event.virtualKey == VK_BACK) {
        character = KEY_BACKSPACE; // Ctrl+Backspace types DEL: it is Backspace, as everywhere
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
    restartGridConsole(win32Grid, WIN32_CONSOLE_DEVICE);
    // Keys one by one, without echo; Ctrl+C stays a request to end, for the control handler.
    ::SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
    registerExitRoutine(restoreConsole);
    watchEndRequests();
    return true;
}

const ConsoleHooks& win32ConsoleHooks() {
    return GRID_CONSOLE_HOOKS<win32Grid>;
}

} // namespace ulo
