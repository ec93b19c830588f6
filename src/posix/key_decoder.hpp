// Keys typed at a terminal, turned into the system's key codes.
//
// The terminal library reports characters (already decoded from the locale's character set) and
// the function keys its terminal description names. This unit turns both into key presses of a
// PC keyboard with a US layout and translates them through translateKey. It also decodes what the
// library leaves undecoded: Escape followed by a key is that key with Alt, and the escape
// sequences that terminals send for cursor and function keys (with their modifiers) are decoded
// here when the terminal description does not list them.
#pragma once

#include "console/keys.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulo {

// The key press that typing `character` stands for: the key's scan code, its unshifted character,
// Shift when the character needs it and Ctrl for control characters, plus `extraState`. DEL and
// BS are the Backspace key. Nothing for NUL and for characters that code page 437 lacks.
std::optional<KeyPress> characterKeyPress(char32_t character, std::uint32_t extraState = 0);

// The key press of a key named the way the terminal library names keys ("KEY_UP", "KEY_F(12)",
// "KEY_BTAB", "kLFT5" for Ctrl+Left, ...). Nothing for names that stand for no key here.
std::optional<KeyPress> namedKeyPress(std::string_view name);

// Decodes the stream of characters and named keys read from a terminal into key codes.
class TerminalKeyDecoder {
public:
    // A character as read from the terminal.
    void character(char32_t character);
    // A key that the terminal library recognised, by its name.
    void namedKey(std::string_view name);
    // No more input is waiting. An Escape on its own is the Escape key; "ESC [" and "ESC O" on
    // their own are Alt+[ and Alt+O; any other unfinished sequence is dropped.
    void idle();
    // True while an Escape or an unfinished escape sequence waits for what follows.
    bool pending() const { return state_ != State::Ground; }
    // The key codes decoded so far, oldest first; they are handed over once.
    std::vector<KeyCode> takeCodes();

private:
    enum class State { Ground, Escape, ControlSequence, SingleShift, ConsoleFunctionKey };

    void emit(const std::optional<KeyPress>& press, std::uint32_t extraState = 0);
    void finishSequence(char32_t final);
    void reset();

    State state_ = State::Ground;
    bool alt_ = false; // an Escape came before the sequence: the key is pressed with Alt
    std::string parameters_;
    std::vector<KeyCode> codes_;
};

} // namespace ulo
