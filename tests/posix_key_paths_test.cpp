// The key paths of the Linux screens for the key table: the window's SDL key events, and the
// terminal's byte sequences, raw or as the terminal library names them.
#include "posix/key_decoder.hpp"
#include "posix/sdl_keys.hpp"
#include "screen/window_events.hpp"
#include "support/key_table.hpp"

#include <cctype>
#include <string>
#include <string_view>

namespace ulo::testing {
namespace {

// Fails the test for a key that a path does not know, and finds it in `keys` otherwise.
template <typename Entry, std::size_t N>
const Entry* findKey(const Entry (&keys)[N], std::string_view name, const char* path) {
    for (const Entry& entry : keys) {
        if (entry.name == name) {
            return &entry;
        }
    }
    ADD_FAILURE() << path << " has no key " << name;
    return nullptr;
}

// The window: a key press as SDL reports it, then the text it types, if any.
struct SdlKey {
    std::string_view name;
    SDL_Scancode scancode;
    SDL_Keycode keycode;
    char keypadCharacter; // typed while Num Lock is on
};
constexpr SdlKey SDL_KEYS[] = {
    {"Left", SDL_SCANCODE_LEFT, SDLK_LEFT, 0},
    {"Right", SDL_SCANCODE_RIGHT, SDLK_RIGHT, 0},
    {"Up", SDL_SCANCODE_UP, SDLK_UP, 0},
    {"Down", SDL_SCANCODE_DOWN, SDLK_DOWN, 0},
    {"Home", SDL_SCANCODE_HOME, SDLK_HOME, 0},
    {"End", SDL_SCANCODE_END, SDLK_END, 0},
    {"Insert", SDL_SCANCODE_INSERT, SDLK_INSERT, 0},
    {"Delete", SDL_SCANCODE_DELETE, SDLK_DELETE, 0},
    {"PageUp", SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 0},
    {"PageDown", SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 0},
    {"Tab", SDL_SCANCODE_TAB, SDLK_TAB, 0},
    {"Enter", SDL_SCANCODE_RETURN, SDLK_RETURN, 0},
    {"Backspace", SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 0},
    {"Escape", SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0},
    {"F1", SDL_SCANCODE_F1, SDLK_F1, 0},
    {"F5", SDL_SCANCODE_F5, SDLK_F5, 0},
    {"F10", SDL_SCANCODE_F10, SDLK_F10, 0},
    {"F12", SDL_SCANCODE_F12, SDLK_F12, 0},
    {"Keypad0", SDL_SCANCODE_KP_0, SDLK_KP_0, '0'},
    {"Keypad1", SDL_SCANCODE_KP_1, SDLK_KP_1, '1'},
    {"Keypad2", SDL_SCANCODE_KP_2, SDLK_KP_2, '2'},
    {"Keypad3", SDL_SCANCODE_KP_3, SDLK_KP_3, '3'},
    {"Keypad4", SDL_SCANCODE_KP_4, SDLK_KP_4, '4'},
    {"Keypad5", SDL_SCANCODE_KP_5, SDLK_KP_5, '5'},
    {"Keypad6", SDL_SCANCODE_KP_6, SDLK_KP_6, '6'},
    {"Keypad7", SDL_SCANCODE_KP_7, SDLK_KP_7, '7'},
    {"Keypad8", SDL_SCANCODE_KP_8, SDLK_KP_8, '8'},
    {"Keypad9", SDL_SCANCODE_KP_9, SDLK_KP_9, '9'},
    {"KeypadPeriod", SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, '.'},
    {"KeypadEnter", SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0},
};

// A letter, digit or space key on a US keyboard.
SDL_Scancode characterScancode(char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<SDL_Scancode>(SDL_SCANCODE_A + (c - 'a'));
    }
    if (c >= '1' && c <= '9') {
        return static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (c - '1'));
    }
    return c == '0' ? SDL_SCANCODE_0 : SDL_SCANCODE_SPACE;
}

std::vector<KeyCode> typeIntoSdlWindow(const std::vector<TypedKey>& keys) {
    resetWindowState();
    windowState().active = true;
    resetKeyBuffer();
    SdlLastKey last;
    std::vector<KeyCode> codes;
    for (const TypedKey& key : keys) {
        SDL_Keysym keysym{};
        keysym.mod =
            static_cast<Uint16>((key.shift ? KMOD_LSHIFT : 0) | (key.ctrl ? KMOD_LCTRL : 0) |
                                (key.alt ? KMOD_LALT : 0) | (key.numLock ? KMOD_NUM : 0));
        std::string text; // the text SDL sends after the press: none for control characters
        if (key.isCharacter()) {
            const char c = static_cast<char>(std::tolower(key.character()));
            keysym.scancode = characterScancode(c);
            keysym.sym = c;
            text = key.shift ? static_cast<char>(std::toupper(c)) : c;
        } else if (const SdlKey* sdlKey = findKey(SDL_KEYS, key.name, "The window")) {
            keysym.scancode = sdlKey->scancode;
            keysym.sym = sdlKey->keycode;
            if (key.numLock && sdlKey->keypadCharacter != 0) {
                text = sdlKey->keypadCharacter;
            }
        }
        sdlKeyPressed(last, keysym);
        if (!text.empty() && !key.ctrl) {
            sdlTextTyped(last, text.c_str());
        }
        takeQueuedKeys(codes);
    }
    return codes;
}

// The terminal: what a terminal of the xterm kind sends for each key (cursor keys in the
// application mode that the terminal library switches on), decoded with a pause after each key.
// The terminal library reports the sequences that the terminal's description lists as keys, by
// name; the decoder takes the others character by character.
struct TerminalKey {
    std::string_view name; // with the modifiers, as the table writes the key
    std::string_view sent;
    std::string_view described; // the library's name of the key, if xterm's description has it
};
constexpr TerminalKey TERMINAL_KEYS[] = {
    {"Left", "\x1bOD", "KEY_LEFT"},
    {"Right", "\x1bOC", "KEY_RIGHT"},
    {"Up", "\x1bOA", "KEY_UP"},
    {"Down", "\x1bOB", "KEY_DOWN"},
    {"Home", "\x1bOH", "KEY_HOME"},
    {"End", "\x1bOF", "KEY_END"},
    {"Insert", "\x1b[2~", "KEY_IC"},
    {"Delete", "\x1b[3~", "KEY_DC"},
    {"PageUp", "\x1b[5~", "KEY_PPAGE"},
    {"PageDown", "\x1b[6~", "KEY_NPAGE"},
    {"Tab", "\t", ""},
    {"Shift+Tab", "\x1b[Z", "KEY_BTAB"},
    {"Enter", "\r", ""},
    {"Ctrl+Enter", "\r", ""},
    {"Backspace", "\x7f", "KEY_BACKSPACE"},
    {"Ctrl+Backspace", "\b", ""},
    {"Escape", "\x1b", ""},
    {"F1", "\x1bOP", "KEY_F(1)"},
    {"F5", "\x1b[15~", "KEY_F(5)"},
    {"F10", "\x1b[21~", "KEY_F(10)"},
    {"F12", "\x1b[24~", "KEY_F(12)"},
    {"Ctrl+Left", "\x1b[1;5D", "kLFT5"},
    {"Keypad0", "\x1b[2~", "KEY_IC"},
    {"Keypad1", "\x1bOF", "KEY_END"},
    {"Keypad2", "\x1bOB", "KEY_DOWN"},
    {"Keypad3", "\x1b[6~", "KEY_NPAGE"},
    {"Keypad4", "\x1bOD", "KEY_LEFT"},
    {"Keypad5", "\x1bOE", "KEY_B2"},
    {"Keypad6", "\x1bOC", "KEY_RIGHT"},
    {"Keypad7", "\x1bOH", "KEY_HOME"},
    {"Keypad8", "\x1bOA", "KEY_UP"},
    {"Keypad9", "\x1b[5~", "KEY_PPAGE"},
    {"KeypadPeriod", "\x1b[3~", "KEY_DC"},
    {"KeypadEnter", "\x1bOM", "KEY_ENTER"},
    {"NumLock+Keypad0", "0", ""},
    {"NumLock+Keypad1", "1", ""},
    {"NumLock+Keypad2", "2", ""},
    {"NumLock+Keypad3", "3", ""},
    {"NumLock+Keypad4", "4", ""},
    {"NumLock+Keypad5", "5", ""},
    {"NumLock+Keypad6", "6", ""},
    {"NumLock+Keypad7", "7", ""},
    {"NumLock+Keypad8", "8", ""},
    {"NumLock+Keypad9", "9", ""},
    {"NumLock+KeypadPeriod", ".", ""},
    {"NumLock+KeypadEnter", "\x1bOM", "KEY_ENTER"},
};

std::vector<KeyCode> typeIntoTerminal(const std::vector<TypedKey>& keys, bool described) {
    TerminalKeyDecoder decoder;
    for (const TypedKey& key : keys) {
        std::string sent;
        if (key.isCharacter()) {
            const char c =
                key.shift ? static_cast<char>(std::toupper(key.character())) : key.character();
            sent = key.alt ? std::string("\x1b") + c : std::string(1, c);
            if (key.ctrl) {
                sent.back() = static_cast<char>(sent.back() & 0x1F);
            }
        } else {
            const std::string name = std::string(key.ctrl ? "Ctrl+" : "") +
                                     (key.shift ? "Shift+" : "") + (key.alt ? "Alt+" : "") +
                                     (key.numLock ? "NumLock+" : "") + key.name;
            const TerminalKey* terminalKey = findKey(TERMINAL_KEYS, name, "The terminal");
            if (terminalKey != nullptr && described && !terminalKey->described.empty()) {
                decoder.namedKey(terminalKey->described);
            } else if (terminalKey != nullptr) {
                sent = terminalKey->sent;
            }
        }
        for (const char c : sent) {
            decoder.character(static_cast<unsigned char>(c));
        }
        decoder.idle();
    }
    return decoder.takeCodes();
}

std::vector<KeyCode> typeIntoTerminalAsSent(const std::vector<TypedKey>& keys) {
    return typeIntoTerminal(keys, false);
}

std::vector<KeyCode> typeIntoTerminalAsDescribed(const std::vector<TypedKey>& keys) {
    return typeIntoTerminal(keys, true);
}

INSTANTIATE_TEST_SUITE_P(Linux, KeyTable,
                         ::testing::Values(KeyPath{"Window", typeIntoSdlWindow},
                                           KeyPath{"TerminalSequences", typeIntoTerminalAsSent},
                                           KeyPath{"TerminalDescription",
                                                   typeIntoTerminalAsDescribed}),
                         keyPathName);

} // namespace
} // namespace ulo::testing
