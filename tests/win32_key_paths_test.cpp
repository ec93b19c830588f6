// The key paths of the Windows screens for the key table: the console's key events and the
// window's key messages, each followed by the character message that TranslateMessage makes.
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "support/key_table.hpp"
#include "win32/win32_console.hpp"
#include "win32/window_procedure.hpp"

#include <cctype>
#include <optional>
#include <string_view>

#include <windows.h>

namespace ulo::testing {
namespace {

// A key of a US keyboard: its virtual key (with Num Lock on, for the keypad), scan code, the
// extended-key bit of the grey keys, and the character it types alone.
struct WindowsKey {
    std::string_view name;
    WORD virtualKey;
    WORD numLockVirtualKey;
    WORD scanCode;
    bool extended;
    char character;
};
constexpr WindowsKey WINDOWS_KEYS[] = {
    {"Left", VK_LEFT, VK_LEFT, 0x4B, true, 0},
    {"Right", VK_RIGHT, VK_RIGHT, 0x4D, true, 0},
    {"Up", VK_UP, VK_UP, 0x48, true, 0},
    {"Down", VK_DOWN, VK_DOWN, 0x50, true, 0},
    {"Home", VK_HOME, VK_HOME, 0x47, true, 0},
    {"End", VK_END, VK_END, 0x4F, true, 0},
    {"Insert", VK_INSERT, VK_INSERT, 0x52, true, 0},
    {"Delete", VK_DELETE, VK_DELETE, 0x53, true, 0},
    {"PageUp", VK_PRIOR, VK_PRIOR, 0x49, true, 0},
    {"PageDown", VK_NEXT, VK_NEXT, 0x51, true, 0},
    {"Tab", VK_TAB, VK_TAB, 0x0F, false, '\t'},
    {"Enter", VK_RETURN, VK_RETURN, 0x1C, false, '\r'},
    {"Backspace", VK_BACK, VK_BACK, 0x0E, false, '\b'},
    {"Escape", VK_ESCAPE, VK_ESCAPE, 0x01, false, '\x1b'},
    {"F1", VK_F1, VK_F1, 0x3B, false, 0},
    {"F5", VK_F5, VK_F5, 0x3F, false, 0},
    {"F10", VK_F10, VK_F10, 0x44, false, 0},
    {"F12", VK_F12, VK_F12, 0x58, false, 0},
    {"Keypad0", VK_INSERT, VK_NUMPAD0, 0x52, false, 0},
    {"Keypad1", VK_END, VK_NUMPAD1, 0x4F, false, 0},
    {"Keypad2", VK_DOWN, VK_NUMPAD2, 0x50, false, 0},
    {"Keypad3", VK_NEXT, VK_NUMPAD3, 0x51, false, 0},
    {"Keypad4", VK_LEFT, VK_NUMPAD4, 0x4B, false, 0},
    {"Keypad5", VK_CLEAR, VK_NUMPAD5, 0x4C, false, 0},
    {"Keypad6", VK_RIGHT, VK_NUMPAD6, 0x4D, false, 0},
    {"Keypad7", VK_HOME, VK_NUMPAD7, 0x47, false, 0},
    {"Keypad8", VK_UP, VK_NUMPAD8, 0x48, false, 0},
    {"Keypad9", VK_PRIOR, VK_NUMPAD9, 0x49, false, 0},
    {"KeypadPeriod", VK_DELETE, VK_DECIMAL, 0x53, false, 0},
    {"KeypadEnter", VK_RETURN, VK_RETURN, 0x1C, true, '\r'},
};

// One key press as Windows reports it.
struct WindowsPress {
    WORD virtualKey = 0;
    WORD scanCode = 0;
    bool extended = false;
    wchar_t character = 0; // what TranslateMessage makes of it, 0 for nothing
};

// The scan code of a letter, digit or space key.
WORD characterScanCode(char c) {
    constexpr std::string_view ROWS[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    constexpr WORD FIRST[] = {0x02, 0x10, 0x1E, 0x2C};
    for (std::size_t row = 0; row < std::size(ROWS); ++row) {
        if (const std::size_t at = ROWS[row].find(c); at != std::string_view::npos) {
            return static_cast<WORD>(FIRST[row] + at);
        }
    }
    return 0x39;
}

std::optional<WindowsPress> windowsPress(const TypedKey& key) {
    if (key.isCharacter()) {
        const char c = static_cast<char>(std::tolower(key.character()));
        WindowsPress press{static_cast<WORD>(std::toupper(c)), characterScanCode(c), false,
                           static_cast<wchar_t>(key.shift ? std::toupper(c) : c)};
        if (key.ctrl) {
            press.character &= 0x1F;
        }
        return press;
    }
    for (const WindowsKey& known : WINDOWS_KEYS) {
        if (known.name != key.name) {
            continue;
        }
        const bool digits = key.numLock && known.virtualKey != known.numLockVirtualKey;
        WindowsPress press{digits ? known.numLockVirtualKey : known.virtualKey, known.scanCode,
                           known.extended, static_cast<wchar_t>(known.character)};
        if (digits) {
            press.character = known.name == "KeypadPeriod" ? L'.' : key.name.back();
        } else if (key.ctrl && press.character != 0) {
            // Ctrl+Enter makes LF, Ctrl+Backspace DEL; Ctrl with Tab or Escape nothing.
            press.character = press.character == '\r'   ? L'\n'
                              : press.character == '\b' ? L'\x7f'
                                                        : 0;
        }
        return press;
    }
    ADD_FAILURE() << "Windows has no key " << key.name;
    return std::nullopt;
}

std::uint32_t consoleState(const TypedKey& key, const WindowsPress& press) {
    return (key.shift ? SHIFT_PRESSED : 0) | (key.ctrl ? LEFT_CTRL_PRESSED : 0) |
           (key.alt ? LEFT_ALT_PRESSED : 0) | (key.numLock ? NUMLOCK_ON : 0) |
           (press.extended ? ENHANCED_KEY : 0);
}

// The console: a key-down event carrying the character, and its key-up event.
std::vector<KeyCode> typeIntoConsole(const std::vector<TypedKey>& keys) {
    std::vector<KeyCode> codes;
    for (const TypedKey& key : keys) {
        const auto press = windowsPress(key);
        if (!press) {
            continue;
        }
        const auto state = consoleState(key, *press);
        for (const bool down : {true, false}) {
            const KeyCode code =
                consoleKeyCode({down, press->virtualKey, press->scanCode, press->character, state});
            if (code > 0) {
                codes.push_back(code);
            }
        }
    }
    return codes;
}

// The window: WM_KEYDOWN (WM_SYSKEYDOWN with Alt and for F10) with the modifiers in the
// keyboard state, the WM_CHAR (WM_SYSCHAR with Alt) that TranslateMessage makes, and the release.
constexpr WindowPresenter NO_WINDOW_OPERATIONS{};

std::vector<KeyCode> typeIntoWindow(const std::vector<TypedKey>& keys) {
    prepareWindowState(NO_WINDOW_OPERATIONS, "ulo", 640, 480, 32, 0, 0, windowsVersionWord());
    EXPECT_TRUE(openWindowClass());
    const HWND window = ::CreateWindowExW(0, windowClassName(), L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    windowState().active = true;
    resetKeyBuffer();
    std::vector<KeyCode> codes;
    for (const TypedKey& key : keys) {
        const auto press = windowsPress(key);
        if (!press) {
            continue;
        }
        BYTE held[256] = {};
        const auto hold = [&held](bool down, std::initializer_list<int> virtualKeys) {
            for (const int virtualKey : virtualKeys) {
                held[virtualKey] = down ? 0x80 : 0;
            }
        };
        hold(key.shift, {VK_SHIFT, VK_LSHIFT});
        hold(key.ctrl, {VK_CONTROL, VK_LCONTROL});
        hold(key.alt, {VK_MENU, VK_LMENU});
        held[VK_NUMLOCK] = key.numLock ? 1 : 0; // toggled on
        ::SetKeyboardState(held);
        const bool system = key.alt || press->virtualKey == VK_F10;
        const auto bits =
            static_cast<LPARAM>(1u | press->scanCode << 16 | (press->extended ? 1u << 24 : 0) |
                                (key.alt ? 1u << 29 : 0));
        ::SendMessageW(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, press->virtualKey, bits);
        if (press->character != 0) {
            ::SendMessageW(window, key.alt ? WM_SYSCHAR : WM_CHAR, press->character, bits);
        }
        ::SendMessageW(window, system ? WM_SYSKEYUP : WM_KEYUP, press->virtualKey,
                       bits | static_cast<LPARAM>(3u << 30));
        takeQueuedKeys(codes);
    }
    BYTE released[256] = {};
    ::SetKeyboardState(released);
    ::DestroyWindow(window);
    closeWindowClass();
    return codes;
}

INSTANTIATE_TEST_SUITE_P(Windows, KeyTable,
                         ::testing::Values(KeyPath{"Console", typeIntoConsole},
                                           KeyPath{"Window", typeIntoWindow}),
                         keyPathName);

} // namespace
} // namespace ulo::testing
