#include "win32/window_keys.hpp"

#include "console/keys.hpp"

#include <array>
#include <windows.h>

namespace ulo {
namespace {

bool down(const std::uint8_t* keys, int virtualKey) {
    return (keys[virtualKey] & 0x80) != 0;
}

// A key by its scan code, with the virtual key of that key position on a US keyboard and the one
// of another key that counts as this one, if any.
struct HeldKey {
    std::uint8_t scanCode;
    std::uint8_t virtualKey;
    std::uint8_t otherVirtualKey; // 0 for none
};

// The virtual key of each key position on a US keyboard, by scan code 0x01-0x53.
constexpr std::uint8_t POSITIONS[] = {
    VK_ESCAPE,   '1',          '2',           '3',         '4',          '5',         '6',
    '7',         '8',          '9',           '0',         VK_OEM_MINUS, VK_OEM_PLUS, VK_BACK,
    VK_TAB,      'Q',          'W',           'E',         'R',          'T',         'Y',
    'U',         'I',          'O',           'P',         VK_OEM_4,     VK_OEM_6,    VK_RETURN,
    VK_LCONTROL, 'A',          'S',           'D',         'F',          'G',         'H',
    'J',         'K',          'L',           VK_OEM_1,    VK_OEM_7,     VK_OEM_3,    VK_LSHIFT,
    VK_OEM_5,    'Z',          'X',           'C',         'V',          'B',         'N',
    'M',         VK_OEM_COMMA, VK_OEM_PERIOD, VK_OEM_2,    VK_RSHIFT,    VK_MULTIPLY, VK_LMENU,
    VK_SPACE,    VK_CAPITAL,   VK_F1,         VK_F2,       VK_F3,        VK_F4,       VK_F5,
    VK_F6,       VK_F7,        VK_F8,         VK_F9,       VK_F10,       VK_NUMLOCK,  VK_SCROLL,
    VK_HOME,     VK_UP,        VK_PRIOR,      VK_SUBTRACT, VK_LEFT,      VK_CLEAR,    VK_RIGHT,
    VK_ADD,      VK_END,       VK_DOWN,       VK_NEXT,     VK_INSERT,    VK_DELETE};
static_assert(sizeof POSITIONS == 0x53);

// The second virtual key of a position: the keypad's digits and point (the keys' Num Lock
// side), keypad minus on the minus key and keypad / on the / key.
constexpr HeldKey OTHER_KEYS[] = {
    {0x0C, VK_SUBTRACT, 0}, {0x35, VK_DIVIDE, 0},  {0x47, VK_NUMPAD7, 0}, {0x48, VK_NUMPAD8, 0},
    {0x49, VK_NUMPAD9, 0},  {0x4B, VK_NUMPAD4, 0}, {0x4D, VK_NUMPAD6, 0}, {0x4F, VK_NUMPAD1, 0},
    {0x50, VK_NUMPAD2, 0},  {0x51, VK_NUMPAD3, 0}, {0x52, VK_NUMPAD0, 0}, {0x53, VK_DECIMAL, 0},
};

// 86 keys: scan codes 0x01-0x53 without keypad minus (0x4A, counted with the minus key) and
// keypad 5 (0x4C), F11, F12, both Windows keys and the application key.
constexpr std::array<HeldKey, 86> makeHeldKeys() {
    std::array<HeldKey, 86> keys{};
    std::size_t n = 0;
    for (std::uint8_t scan = 0x01; scan <= 0x53; ++scan) {
        if (scan != 0x4A && scan != 0x4C) {
            keys[n++] = {scan, POSITIONS[scan - 1], 0};
        }
    }
    keys[n++] = {0x57, VK_F11, 0};
    keys[n++] = {0x58, VK_F12, 0};
    keys[n++] = {0x7D, VK_LWIN, 0};
    keys[n++] = {0x7E, VK_RWIN, 0};
    keys[n++] = {0x7F, VK_APPS, 0};
    for (HeldKey& key : keys) {
        for (const HeldKey& other : OTHER_KEYS) {
            if (other.scanCode == key.scanCode) {
                key.otherVirtualKey = other.virtualKey;
            }
        }
    }
    return keys;
}
constexpr auto HELD_KEYS = makeHeldKeys();

} // namespace

std::uint32_t controlKeyStateOf(const std::uint8_t* keys, bool extendedKey) {
    std::uint32_t state = 0;
    if (down(keys, VK_SHIFT) || down(keys, VK_LSHIFT) || down(keys, VK_RSHIFT)) {
        state |= SHIFT_PRESSED;
    }
    if (down(keys, VK_CONTROL) || down(keys, VK_LCONTROL)) {
        state |= LEFT_CTRL_PRESSED;
    }
    if (down(keys, VK_RCONTROL)) {
        state ^= RIGHT_CTRL_PRESSED;
    }
    if (down(keys, VK_MENU) || down(keys, VK_LMENU)) {
        state |= LEFT_ALT_PRESSED;
    }
    if (down(keys, VK_RMENU)) {
        state ^= RIGHT_ALT_PRESSED;
    }
    if (extendedKey) {
        state |= ENHANCED_KEY;
    }
    return state;
}

void readHeldKeys(std::uint8_t* keyState) {
    BYTE keys[256];
    if (!::GetKeyboardState(keys)) {
        return;
    }
    for (const HeldKey& key : HELD_KEYS) {
        keyState[key.scanCode] = down(keys, key.virtualKey) || (key.otherVirtualKey != 0 &&
                                                                down(keys, key.otherVirtualKey))
                                     ? 1
                                     : 0;
    }
}

bool pressGivesKeyCode(std::uint8_t character, std::uint8_t scanCode, std::uint8_t baseCharacter,
                       std::uint32_t controlKeyState) {
    return translateKey(KeyPress{character, scanCode, baseCharacter, controlKeyState}) > 255;
}

} // namespace ulo
