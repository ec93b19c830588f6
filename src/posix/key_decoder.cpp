#include "posix/key_decoder.hpp"

#include "console/codepage437.hpp"
#include "console/console_hooks.hpp"

#include <array>
#include <charconv>

namespace ulo {
namespace {

constexpr char32_t ESC = 27;
constexpr char32_t DEL = 127;

// Set-1 scan codes of the keys that have no character of their own.
constexpr std::uint8_t SCAN_ESCAPE = 0x01;
constexpr std::uint8_t SCAN_BACKSPACE = 0x0E;
constexpr std::uint8_t SCAN_TAB = 0x0F;
constexpr std::uint8_t SCAN_ENTER = 0x1C;
constexpr std::uint8_t SCAN_F1 = 0x3B;
constexpr std::uint8_t SCAN_F11 = 0x57;
constexpr std::uint8_t SCAN_F12 = 0x58;
constexpr std::uint8_t SCAN_HOME = 0x47;
constexpr std::uint8_t SCAN_UP = 0x48;
constexpr std::uint8_t SCAN_PAGE_UP = 0x49;
constexpr std::uint8_t SCAN_LEFT = 0x4B;
constexpr std::uint8_t SCAN_KEYPAD_5 = 0x4C;
constexpr std::uint8_t SCAN_RIGHT = 0x4D;
constexpr std::uint8_t SCAN_END = 0x4F;
constexpr std::uint8_t SCAN_DOWN = 0x50;
constexpr std::uint8_t SCAN_PAGE_DOWN = 0x51;
constexpr std::uint8_t SCAN_INSERT = 0x52;
constexpr std::uint8_t SCAN_DELETE = 0x53;

// The key of each ASCII character on a US layout: scan code, unshifted character, Shift needed.
struct LayoutKey {
    std::uint8_t scanCode = 0;
    std::uint8_t base = 0;
    bool shift = false;
};

constexpr std::array<LayoutKey, 128> makeLayout() {
    struct Row {
        std::uint8_t firstScanCode;
        std::string_view plain;
        std::string_view shifted;
    };
    constexpr Row rows[] = {
        {0x02, "1234567890-=", "!@#$%^&*()_+"},
        {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
        {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
        {0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
    };
    std::array<LayoutKey, 128> keys{};
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < row.plain.size(); ++i) {
            const auto scanCode = static_cast<std::uint8_t>(row.firstScanCode + i);
            const auto base = static_cast<std::uint8_t>(row.plain[i]);
            keys[base] = {scanCode, base, false};
            keys[static_cast<std::uint8_t>(row.shifted[i])] = {scanCode, base, true};
        }
    }
    keys[' '] = {0x39, ' ', false};
    return keys;
}
constexpr auto LAYOUT = makeLayout();

KeyPress press(std::uint8_t character, std::uint8_t scanCode, std::uint8_t base,
               std::uint32_t state) {
    return KeyPress{character, scanCode, base, state};
}

// A grey key (cursor block and the six keys above it), which reports the enhanced-key flag.
KeyPress greyKey(std::uint8_t scanCode, std::uint32_t state = 0) {
    return press(0, scanCode, 0, state | ENHANCED_KEY);
}

// F1-F12.
std::optional<KeyPress> functionKey(int number, std::uint32_t state = 0) {
    if (number >= 1 && number <= 10) {
        return press(0, static_cast<std::uint8_t>(SCAN_F1 + number - 1), 0, state);
    }
    if (number == 11 || number == 12) {
        return press(0, number == 11 ? SCAN_F11 : SCAN_F12, 0, state);
    }
    return std::nullopt;
}

// The modifier parameter of terminal key sequences: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
std::uint32_t modifierState(int parameter) {
    const int bits = parameter - 1;
    if (bits <= 0) {
        return 0;
    }
    std::uint32_t state = 0;
    if ((bits & 1) != 0) {
        state |= SHIFT_PRESSED;
    }
    if ((bits & (2 | 8)) != 0) {
        state |= LEFT_ALT_PRESSED;
    }
    if ((bits & 4) != 0) {
        state |= LEFT_CTRL_PRESSED;
    }
    return state;
}

// The grey key that a terminal-description name stands for ("UP" in "KEY_UP", "kUP5").
std::uint8_t greyKeyScanCode(std::string_view name) {
    constexpr std::pair<std::string_view, std::uint8_t> KEYS[] = {
        {"UP", SCAN_UP},         {"DOWN", SCAN_DOWN},   {"DN", SCAN_DOWN},
        {"LEFT", SCAN_LEFT},     {"LFT", SCAN_LEFT},    {"RIGHT", SCAN_RIGHT},
        {"RIT", SCAN_RIGHT},     {"HOME", SCAN_HOME},   {"HOM", SCAN_HOME},
        {"END", SCAN_END},       {"IC", SCAN_INSERT},   {"DC", SCAN_DELETE},
        {"PPAGE", SCAN_PAGE_UP}, {"PRV", SCAN_PAGE_UP}, {"NPAGE", SCAN_PAGE_DOWN},
        {"NXT", SCAN_PAGE_DOWN}, {"FIND", SCAN_HOME},   {"SELECT", SCAN_END},
    };
    for (const auto& [key, scanCode] : KEYS) {
        if (key == name) {
            return scanCode;
        }
    }
    return 0;
}

// The shifted cursor keys of the terminal description: "KEY_SLEFT", "KEY_SR" (Shift+Up), ...
std::uint8_t shiftedKeyScanCode(std::string_view name) {
    constexpr std::pair<std::string_view, std::uint8_t> KEYS[] = {
        {"SR", SCAN_UP},           {"SF", SCAN_DOWN},    {"SLEFT", SCAN_LEFT},
        {"SRIGHT", SCAN_RIGHT},    {"SHOME", SCAN_HOME}, {"SEND", SCAN_END},
        {"SIC", SCAN_INSERT},      {"SDC", SCAN_DELETE}, {"SPREVIOUS", SCAN_PAGE_UP},
        {"SNEXT", SCAN_PAGE_DOWN},
    };
    for (const auto& [key, scanCode] : KEYS) {
        if (key == name) {
            return scanCode;
        }
    }
    return 0;
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The key of "ESC [ n ~" by its number n.
std::optional<KeyPress> tildeKey(int number, std::uint32_t state) {
    switch (number) {
    case 1:
    case 7:
        return greyKey(SCAN_HOME, state);
    case 2:
        return greyKey(SCAN_INSERT, state);
    case 3:
        return greyKey(SCAN_DELETE, state);
    case 4:
    case 8:
        return greyKey(SCAN_END, state);
    case 5:
        return greyKey(SCAN_PAGE_UP, state);
    case 6:
        return greyKey(SCAN_PAGE_DOWN, state);
    default:
        break;
    }
    // F1-F5 are 11-15, F6-F10 are 17-21, F11 and F12 are 23 and 24.
    if (number >= 11 && number <= 15) {
        return functionKey(number - 10, state);
    }
    if (number >= 17 && number <= 21) {
        return functionKey(number - 11, state);
    }
    if (number == 23 || number == 24) {
        return functionKey(number - 12, state);
    }
    return std::nullopt;
}

// The key that the final character of "ESC [ ... X" or "ESC O X" names, for the keys whose
// sequences carry no number: cursor keys, Home, End, F1-F4 and the application keypad.
std::optional<KeyPress> letterKey(char32_t final, std::uint32_t state) {
    switch (final) {
    case 'A':
        return greyKey(SCAN_UP, state);
    case 'B':
        return greyKey(SCAN_DOWN, state);
    case 'C':
        return greyKey(SCAN_RIGHT, state);
    case 'D':
        return greyKey(SCAN_LEFT, state);
    case 'H':
        return greyKey(SCAN_HOME, state);
    case 'F':
        return greyKey(SCAN_END, state);
    case 'E':
        return press(0, SCAN_KEYPAD_5, 0, state);
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
        return functionKey(static_cast<int>(final - 'P') + 1, state);
    case 'Z': // back tab
        return press(9, SCAN_TAB, 9, state | SHIFT_PRESSED);
    case 'M': // keypad Enter
        return press(13, SCAN_ENTER, 13, state | ENHANCED_KEY);
    default:
        break;
    }
    // The application keypad: "ESC O p" .. "ESC O y" are 0-9, and the operators around them.
    constexpr std::string_view KEYPAD_FINALS = "pqrstuvwxyjkmno";
    constexpr std::string_view KEYPAD_CHARACTERS = "0123456789*+-./";
    const std::size_t at = KEYPAD_FINALS.find(static_cast<char>(final));
    if (final < 128 && at != std::string_view::npos) {
        return characterKeyPress(static_cast<unsigned char>(KEYPAD_CHARACTERS[at]), state);
    }
    return std::nullopt;
}

} // namespace

std::optional<KeyPress> characterKeyPress(char32_t character, std::uint32_t extraState) {
    if (character == 0) {
        return std::nullopt;
    }
    if (character == 8 || character == DEL) {
        return press(8, SCAN_BACKSPACE, 8, extraState);
    }
    if (character == 9) {
        return press(9, SCAN_TAB, 9, extraState);
    }
    if (character == 13) {
        return press(13, SCAN_ENTER, 13, extraState);
    }
    if (character == ESC) {
        return press(27, SCAN_ESCAPE, 27, extraState);
    }
    if (character < 32) {
        // Ctrl with a letter gives 1-26; Ctrl with \ ] ^ _ gives 28-31.
        constexpr std::string_view CONTROL_KEYS = "@abcdefghijklmnopqrstuvwxyz[\\]6-";
        const LayoutKey& key = LAYOUT[static_cast<std::uint8_t>(CONTROL_KEYS[character])];
        return press(static_cast<std::uint8_t>(character), key.scanCode, key.base,
                     extraState | LEFT_CTRL_PRESSED);
    }
    if (character < 128) {
        const LayoutKey& key = LAYOUT[character];
        return press(static_cast<std::uint8_t>(character), key.scanCode,
                     key.scanCode != 0 ? key.base : static_cast<std::uint8_t>(character),
                     extraState | (key.shift ? SHIFT_PRESSED : 0));
    }
    const int byte = unicodeToCp437(character);
    if (byte < 32) { // none, or a picture of a control byte (decoded by the caller)
        return std::nullopt;
    }
    // A character beyond ASCII: its key on the user's keyboard is unknown, so it has no scan
    // code and comes through as the character itself.
    return press(static_cast<std::uint8_t>(byte), 0, static_cast<std::uint8_t>(byte), extraState);
}

std::optional<KeyPress> namedKeyPress(std::string_view name) {
    if (name == "KEY_BTAB") {
        return press(9, SCAN_TAB, 9, SHIFT_PRESSED);
    }
    if (name == "KEY_BACKSPACE") {
        return press(8, SCAN_BACKSPACE, 8, 0);
    }
    if (name == "KEY_ENTER") {
        return press(13, SCAN_ENTER, 13, ENHANCED_KEY);
    }
    // The keypad's corners and centre.
    constexpr std::pair<std::string_view, std::uint8_t> KEYPAD[] = {
        {"KEY_A1", SCAN_HOME}, {"KEY_A3", SCAN_PAGE_UP},   {"KEY_B2", SCAN_KEYPAD_5},
        {"KEY_C1", SCAN_END},  {"KEY_C3", SCAN_PAGE_DOWN},
    };
    for (const auto& [key, scanCode] : KEYPAD) {
        if (key == name) {
            return press(0, scanCode, 0, 0);
        }
    }
    constexpr std::string_view FUNCTION_PREFIX = "KEY_F(";
    if (name.starts_with(FUNCTION_PREFIX) && name.ends_with(")")) {
        const auto number = parseNumber(
            name.substr(FUNCTION_PREFIX.size(), name.size() - FUNCTION_PREFIX.size() - 1));
        if (!number || *number < 1) {
            return std::nullopt;
        }
        // Terminal descriptions number the modified function keys on: F13-F24 are Shift+F1-F12,
        // F25-F36 Ctrl, F37-F48 Ctrl+Shift, F49-F60 Alt, F61-F63 Alt+Shift.
        constexpr std::uint32_t GROUPS[] = {0,
                                            SHIFT_PRESSED,
                                            LEFT_CTRL_PRESSED,
                                            LEFT_CTRL_PRESSED | SHIFT_PRESSED,
                                            LEFT_ALT_PRESSED,
                                            LEFT_ALT_PRESSED | SHIFT_PRESSED};
        const int group = (*number - 1) / 12;
        if (group >= static_cast<int>(std::size(GROUPS))) {
            return std::nullopt;
        }
        return functionKey((*number - 1) % 12 + 1, GROUPS[group]);
    }
    constexpr std::string_view STANDARD_PREFIX = "KEY_";
    if (name.starts_with(STANDARD_PREFIX)) {
        const std::string_view key = name.substr(STANDARD_PREFIX.size());
        if (const std::uint8_t scanCode = greyKeyScanCode(key); scanCode != 0) {
            return greyKey(scanCode);
        }
        if (const std::uint8_t scanCode = shiftedKeyScanCode(key); scanCode != 0) {
            return greyKey(scanCode, SHIFT_PRESSED);
        }
        return std::nullopt;
    }
    // Extended names of modified cursor keys: "k", the key, and the modifier parameter 2-8.
    if (name.size() >= 3 && name.front() == 'k' && name.back() >= '2' && name.back() <= '8') {
        const std::uint8_t scanCode = greyKeyScanCode(name.substr(1, name.size() - 2));
        if (scanCode != 0) {
            return greyKey(scanCode, modifierState(name.back() - '0'));
        }
    }
    return std::nullopt;
}

void TerminalKeyDecoder::character(char32_t c) {
    switch (state_) {
    case State::Ground:
        if (c == ESC) {
            state_ = State::Escape;
            return;
        }
        if (c >= 128) {
            const int byte = unicodeToCp437(c);
            if (byte >= 0 && byte < 32) {
                // A picture typed as a character is no control key (♪ is not Enter): dropped,
                // like characters code page 437 lacks.
                return;
            }
        }
        emit(characterKeyPress(c));
        return;
    case State::Escape:
        if (c == '[') {
            state_ = State::ControlSequence;
        } else if (c == 'O') {
            state_ = State::SingleShift;
        } else if (c == ESC && !alt_) {
            alt_ = true; // ESC ESC: Alt with the key that follows, or Alt+Escape
        } else {
            emit(characterKeyPress(c), LEFT_ALT_PRESSED);
            reset();
        }
        return;
    case State::ControlSequence:
    case State::SingleShift:
        if (state_ == State::ControlSequence && parameters_.empty() && c == '[') {
            state_ = State::ConsoleFunctionKey;
            return;
        }
        if (c >= 0x20 && c <= 0x3F) { // parameters and intermediates
            if (parameters_.size() < 32) {
                parameters_.push_back(static_cast<char>(c));
            }
            return;
        }
        if (c >= 0x40 && c <= 0x7E) {
            finishSequence(c);
            reset();
            return;
        }
        // Not part of a sequence: drop what was collected and take the character afresh.
        reset();
        character(c);
        return;
    case State::ConsoleFunctionKey: // "ESC [ [ A" .. "ESC [ [ E" are F1-F5
        if (c >= 'A' && c <= 'E') {
            emit(functionKey(static_cast<int>(c - 'A') + 1), alt_ ? LEFT_ALT_PRESSED : 0);
        }
        reset();
        return;
    }
}

void TerminalKeyDecoder::namedKey(std::string_view name) {
    // After a lone Escape the key is pressed with Alt; an unfinished sequence is dropped.
    const bool withAlt = state_ == State::Escape;
    reset();
    emit(namedKeyPress(name), withAlt ? LEFT_ALT_PRESSED : 0);
}

void TerminalKeyDecoder::idle() {
    switch (state_) {
    case State::Ground:
        return;
    case State::Escape:
        emit(characterKeyPress(ESC), alt_ ? LEFT_ALT_PRESSED : 0);
        break;
    case State::ControlSequence:
    case State::SingleShift:
        if (parameters_.empty()) {
            emit(characterKeyPress(state_ == State::ControlSequence ? U'[' : U'O'),
                 LEFT_ALT_PRESSED);
        }
        break;
    case State::ConsoleFunctionKey:
        break;
    }
    reset();
}

std::vector<KeyCode> TerminalKeyDecoder::takeCodes() {
    std::vector<KeyCode> codes;
    codes.swap(codes_);
    return codes;
}

void TerminalKeyDecoder::emit(const std::optional<KeyPress>& press, std::uint32_t extraState) {
    if (!press) {
        return;
    }
    KeyPress modified = *press;
    modified.controlKeyState |= extraState;
    const KeyCode code = translateKey(modified);
    if (code > 0) {
        codes_.push_back(code);
    }
}

void TerminalKeyDecoder::finishSequence(char32_t final) {
    // Private sequences ("ESC [ ? ...", "ESC [ > ...") are replies, not keys.
    if (!parameters_.empty() && (parameters_[0] == '?' || parameters_[0] == '>' ||
                                 parameters_[0] == '<' || parameters_[0] == '=')) {
        return;
    }
    // Numbers separated by ';': the key's number (or 1) and the modifier parameter.
    int numbers[2] = {1, 1};
    std::string_view rest = parameters_;
    for (int& number : numbers) {
        if (rest.empty()) {
            break;
        }
        const std::size_t end = rest.find(';');
        const std::string_view field = rest.substr(0, end);
        if (!field.empty()) {
            const auto value = parseNumber(field);
            if (!value) {
                return;
            }
            number = *value;
        }
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    const std::uint32_t state = modifierState(numbers[1]) | (alt_ ? LEFT_ALT_PRESSED : 0);
    if (state_ == State::ControlSequence && final == '~') {
        emit(tildeKey(numbers[0], state));
    } else {
        emit(letterKey(final, state));
    }
}

void TerminalKeyDecoder::reset() {
    state_ = State::Ground;
    alt_ = false;
    parameters_.clear();
}

} // namespace ulo
