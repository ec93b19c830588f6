#include "posix/sdl_keys.hpp"

#include "console/codepage437.hpp"
#include "console/keys.hpp"

#include <array>
#include <utility>

namespace ulo {
namespace {

struct ScancodeEntry {
    SDL_Scancode scancode;
    std::uint8_t scanCode;
    bool enhanced;
    std::uint16_t virtualKey;
};

// The keys of a PC keyboard by their position.
constexpr ScancodeEntry SCANCODES[] = {
    {SDL_SCANCODE_ESCAPE, 0x01, false, 0x1B},
    {SDL_SCANCODE_1, 0x02, false, '1'},
    {SDL_SCANCODE_2, 0x03, false, '2'},
    {SDL_SCANCODE_3, 0x04, false, '3'},
    {SDL_SCANCODE_4, 0x05, false, '4'},
    {SDL_SCANCODE_5, 0x06, false, '5'},
    {SDL_SCANCODE_6, 0x07, false, '6'},
    {SDL_SCANCODE_7, 0x08, false, '7'},
    {SDL_SCANCODE_8, 0x09, false, '8'},
    {SDL_SCANCODE_9, 0x0A, false, '9'},
    {SDL_SCANCODE_0, 0x0B, false, '0'},
    {SDL_SCANCODE_MINUS, 0x0C, false, 0xBD},
    {SDL_SCANCODE_EQUALS, 0x0D, false, 0xBB},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false, 0x08},
    {SDL_SCANCODE_TAB, 0x0F, false, 0x09},
    {SDL_SCANCODE_Q, 0x10, false, 'Q'},
    {SDL_SCANCODE_W, 0x11, false, 'W'},
    {SDL_SCANCODE_E, 0x12, false, 'E'},
    {SDL_SCANCODE_R, 0x13, false, 'R'},
    {SDL_SCANCODE_T, 0x14, false, 'T'},
    {SDL_SCANCODE_Y, 0x15, false, 'Y'},
    {SDL_SCANCODE_U, 0x16, false, 'U'},
    {SDL_SCANCODE_I, 0x17, false, 'I'},
    {SDL_SCANCODE_O, 0x18, false, 'O'},
    {SDL_SCANCODE_P, 0x19, false, 'P'},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, false, 0xDB},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, false, 0xDD},
    {SDL_SCANCODE_RETURN, 0x1C, false, 0x0D},
    {SDL_SCANCODE_LCTRL, 0x1D, false, 0x11},
    {SDL_SCANCODE_A, 0x1E, false, 'A'},
    {SDL_SCANCODE_S, 0x1F, false, 'S'},
    {SDL_SCANCODE_D, 0x20, false, 'D'},
    {SDL_SCANCODE_F, 0x21, false, 'F'},
    {SDL_SCANCODE_G, 0x22, false, 'G'},
    {SDL_SCANCODE_H, 0x23, false, 'H'},
    {SDL_SCANCODE_J, 0x24, false, 'J'},
    {SDL_SCANCODE_K, 0x25, false, 'K'},
    {SDL_SCANCODE_L, 0x26, false, 'L'},
    {SDL_SCANCODE_SEMICOLON, 0x27, false, 0xBA},
    {SDL_SCANCODE_APOSTROPHE, 0x28, false, 0xDE},
    {SDL_SCANCODE_GRAVE, 0x29, false, 0xC0},
    {SDL_SCANCODE_LSHIFT, 0x2A, false, 0x10},
    {SDL_SCANCODE_BACKSLASH, 0x2B, false, 0xDC},
    {SDL_SCANCODE_NONUSHASH, 0x2B, false, 0xDC},
    {SDL_SCANCODE_Z, 0x2C, false, 'Z'},
    {SDL_SCANCODE_X, 0x2D, false, 'X'},
    {SDL_SCANCODE_C, 0x2E, false, 'C'},
    {SDL_SCANCODE_V, 0x2F, false, 'V'},
    {SDL_SCANCODE_B, 0x30, false, 'B'},
    {SDL_SCANCODE_N, 0x31, false, 'N'},
    {SDL_SCANCODE_M, 0x32, false, 'M'},
    {SDL_SCANCODE_COMMA, 0x33, false, 0xBC},
    {SDL_SCANCODE_PERIOD, 0x34, false, 0xBE},
    {SDL_SCANCODE_SLASH, 0x35, false, 0xBF},
    {SDL_SCANCODE_RSHIFT, 0x36, false, 0x10},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, false, 0x6A},
    {SDL_SCANCODE_LALT, 0x38, false, VIRTUAL_KEY_MENU},
    {SDL_SCANCODE_SPACE, 0x39, false, 0x20},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, false, 0x14},
    {SDL_SCANCODE_F1, 0x3B, false, 0x70},
    {SDL_SCANCODE_F2, 0x3C, false, 0x71},
    {SDL_SCANCODE_F3, 0x3D, false, 0x72},
    {SDL_SCANCODE_F4, 0x3E, false, 0x73},
    {SDL_SCANCODE_F5, 0x3F, false, 0x74},
    {SDL_SCANCODE_F6, 0x40, false, 0x75},
    {SDL_SCANCODE_F7, 0x41, false, 0x76},
    {SDL_SCANCODE_F8, 0x42, false, 0x77},
    {SDL_SCANCODE_F9, 0x43, false, 0x78},
    {SDL_SCANCODE_F10, 0x44, false, VIRTUAL_KEY_F10},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, false, 0x90},
    {SDL_SCANCODE_SCROLLLOCK, 0x46, false, 0x91},
    {SDL_SCANCODE_KP_7, 0x47, false, 0x67},
    {SDL_SCANCODE_KP_8, 0x48, false, 0x68},
    {SDL_SCANCODE_KP_9, 0x49, false, 0x69},
    {SDL_SCANCODE_KP_MINUS, 0x4A, false, 0x6D},
    {SDL_SCANCODE_KP_4, 0x4B, false, 0x64},
    {SDL_SCANCODE_KP_5, 0x4C, false, 0x65},
    {SDL_SCANCODE_KP_6, 0x4D, false, 0x66},
    {SDL_SCANCODE_KP_PLUS, 0x4E, false, 0x6B},
    {SDL_SCANCODE_KP_1, 0x4F, false, 0x61},
    {SDL_SCANCODE_KP_2, 0x50, false, 0x62},
    {SDL_SCANCODE_KP_3, 0x51, false, 0x63},
    {SDL_SCANCODE_KP_0, 0x52, false, 0x60},
    {SDL_SCANCODE_KP_PERIOD, 0x53, false, 0x6E},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false, 0xE2},
    {SDL_SCANCODE_F11, 0x57, false, 0x7A},
    {SDL_SCANCODE_F12, 0x58, false, 0x7B},
    // The grey keys.
    {SDL_SCANCODE_KP_ENTER, 0x1C, true, 0x0D},
    {SDL_SCANCODE_RCTRL, 0x1D, true, 0x11},
    {SDL_SCANCODE_KP_DIVIDE, 0x35, true, 0x6F},
    {SDL_SCANCODE_PRINTSCREEN, 0x37, true, 0x2C},
    {SDL_SCANCODE_RALT, 0x38, true, VIRTUAL_KEY_MENU},
    {SDL_SCANCODE_HOME, 0x47, true, 0x24},
    {SDL_SCANCODE_UP, 0x48, true, 0x26},
    {SDL_SCANCODE_PAGEUP, 0x49, true, 0x21},
    {SDL_SCANCODE_LEFT, 0x4B, true, 0x25},
    {SDL_SCANCODE_RIGHT, 0x4D, true, 0x27},
    {SDL_SCANCODE_END, 0x4F, true, 0x23},
    {SDL_SCANCODE_DOWN, 0x50, true, 0x28},
    {SDL_SCANCODE_PAGEDOWN, 0x51, true, 0x22},
    {SDL_SCANCODE_INSERT, 0x52, true, 0x2D},
    {SDL_SCANCODE_DELETE, 0x53, true, 0x2E},
    {SDL_SCANCODE_LGUI, 0x5B, true, 0x5B},
    {SDL_SCANCODE_RGUI, 0x5C, true, 0x5C},
    {SDL_SCANCODE_APPLICATION, 0x5D, true, 0x5D},
};

constexpr auto makeScancodeTable() {
    std::array<SdlKeyInfo, SDL_NUM_SCANCODES> table{};
    for (const ScancodeEntry& entry : SCANCODES) {
        table[entry.scancode] = {entry.scanCode, entry.enhanced, entry.virtualKey};
    }
    return table;
}
constexpr auto SCANCODE_TABLE = makeScancodeTable();

bool isLetter(SDL_Keycode keycode) {
    return keycode >= 'a' && keycode <= 'z';
}

// The character of a keypad digit key or of the keypad's full stop; 0 for other keys.
std::uint8_t keypadCharacter(SDL_Keycode keycode) {
    constexpr std::pair<SDL_Keycode, char> KEYS[] = {
        {SDLK_KP_0, '0'}, {SDLK_KP_1, '1'}, {SDLK_KP_2, '2'},      {SDLK_KP_3, '3'},
        {SDLK_KP_4, '4'}, {SDLK_KP_5, '5'}, {SDLK_KP_6, '6'},      {SDLK_KP_7, '7'},
        {SDLK_KP_8, '8'}, {SDLK_KP_9, '9'}, {SDLK_KP_PERIOD, '.'},
    };
    for (const auto& [key, character] : KEYS) {
        if (key == keycode) {
            return static_cast<std::uint8_t>(character);
        }
    }
    return 0;
}

} // namespace

SdlKeyInfo describeScancode(SDL_Scancode scancode) {
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) {
        return {};
    }
    return SCANCODE_TABLE[scancode];
}

std::uint32_t controlKeyState(std::uint16_t modifiers, bool enhanced) {
    // AltGr (the mode key) counts as Ctrl with the right Alt, as the PC keyboard reports it.
    constexpr std::pair<std::uint16_t, std::uint32_t> MODIFIER_BITS[] = {
        {KMOD_SHIFT, SHIFT_PRESSED},      {KMOD_LCTRL, LEFT_CTRL_PRESSED},
        {KMOD_RCTRL, RIGHT_CTRL_PRESSED}, {KMOD_LALT, LEFT_ALT_PRESSED},
        {KMOD_RALT, RIGHT_ALT_PRESSED},   {KMOD_MODE, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED},
    };
    std::uint32_t state = enhanced ? ENHANCED_KEY : 0;
    for (const auto& [modifier, bits] : MODIFIER_BITS) {
        if ((modifiers & modifier) != 0) {
            state |= bits;
        }
    }
    return state;
}

std::uint8_t baseCharacter(SDL_Keycode keycode) {
    if (keycode <= 0 || (keycode & SDLK_SCANCODE_MASK) != 0) {
        return 0;
    }
    if (keycode < 0x20 || keycode == 0x7F) {
        return keycode == SDLK_RETURN || keycode == SDLK_BACKSPACE || keycode == SDLK_TAB ||
                       keycode == SDLK_ESCAPE
                   ? static_cast<std::uint8_t>(keycode)
                   : 0;
    }
    const int byte = unicodeToCp437(static_cast<char32_t>(keycode));
    return byte > 0 ? static_cast<std::uint8_t>(byte) : 0;
}

std::uint8_t typedCharacter(SDL_Keycode keycode, std::uint16_t modifiers) {
    if ((modifiers & KMOD_MODE) != 0) {
        return 0; // AltGr types another character, which arrives as text
    }
    if (const std::uint8_t keypad = keypadCharacter(keycode); keypad != 0) {
        // Num Lock makes the keypad type digits (Shift turns them back into cursor keys); the
        // key tables then see a character, not the cursor key of the same key.
        const bool digits = (modifiers & KMOD_NUM) != 0 && (modifiers & KMOD_SHIFT) == 0;
        return digits ? keypad : 0;
    }
    const std::uint8_t base = baseCharacter(keycode);
    const bool upper = ((modifiers & KMOD_SHIFT) != 0) != ((modifiers & KMOD_CAPS) != 0);
    if (upper && isLetter(keycode)) {
        return static_cast<std::uint8_t>(base - 'a' + 'A');
    }
    return base;
}

std::uint8_t controlCharacter(SDL_Keycode keycode, std::uint16_t modifiers) {
    const bool ctrl = (modifiers & KMOD_CTRL) != 0;
    const bool alt = (modifiers & (KMOD_ALT | KMOD_MODE)) != 0;
    switch (keycode) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return ctrl ? 10 : 13;
    case SDLK_BACKSPACE:
        return 8; // with Ctrl too, as a terminal cannot tell Ctrl+Backspace apart

    case SDLK_TAB:
        return 9;
    case SDLK_ESCAPE:
        return 27;
    default:
        break;
    }
    if (!ctrl || alt) {
        return 0;
    }
    if (isLetter(keycode)) {
        return static_cast<std::uint8_t>(keycode - 'a' + 1);
    }
    if (keycode == '[' || keycode == '\\' || keycode == ']') {
        return static_cast<std::uint8_t>(keycode - '[' + 27);
    }
    return 0;
}

bool textInputSuppressed(std::uint16_t modifiers, std::uint8_t text, std::uint8_t keyBase) {
    if ((modifiers & (KMOD_ALT | KMOD_CTRL)) == 0 || keyBase == 0) {
        return false;
    }
    const bool letter = keyBase >= 'a' && keyBase <= 'z';
    return text == keyBase || (letter && text == keyBase - 'a' + 'A');
}

void sdlKeyPressed(SdlLastKey& last, const SDL_Keysym& key) {
    const SdlKeyInfo info = describeScancode(key.scancode);
    const auto modifiers = static_cast<std::uint16_t>(key.mod);
    const bool alt = (modifiers & KMOD_ALT) != 0;
    WindowEvent event{};
    event.kind = alt || info.virtualKey == VIRTUAL_KEY_F10 ? WindowEventKind::SystemKeyDown
                                                           : WindowEventKind::KeyDown;
    event.character = typedCharacter(key.sym, modifiers);
    event.scanCode = info.scanCode;
    event.baseCharacter = baseCharacter(key.sym);
    event.virtualKey = info.virtualKey;
    event.controlKeyState = controlKeyState(modifiers, info.enhanced);
    event.altHeld = alt;
    // Enter, Backspace, Tab, Escape and Ctrl with a letter never arrive as text.
    event.unsentCharacter = controlCharacter(key.sym, modifiers);
    last = {event.baseCharacter, modifiers};
    handleWindowEvent(event);
}

void sdlTextTyped(const SdlLastKey& last, const char* text) {
    for (const char byte : utf8ToCp437(text)) {
        const auto code = static_cast<std::uint8_t>(byte);
        if (code < 32 || textInputSuppressed(last.modifiers, code, last.base)) {
            continue;
        }
        WindowEvent typed{};
        typed.kind = WindowEventKind::Character;
        typed.code = code;
        handleWindowEvent(typed);
    }
}

} // namespace ulo
