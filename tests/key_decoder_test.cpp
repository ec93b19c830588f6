#include "posix/key_decoder.hpp"

#include "console/console_hooks.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo {
namespace {

using Codes = std::vector<KeyCode>;

// The codes of characters read from the terminal, after which nothing more waits.
Codes typed(std::u32string_view characters) {
    TerminalKeyDecoder decoder;
    for (const char32_t c : characters) {
        decoder.character(c);
    }
    decoder.idle();
    return decoder.takeCodes();
}

// The codes of keys that the terminal library recognised.
Codes named(std::vector<std::string_view> names) {
    TerminalKeyDecoder decoder;
    for (const std::string_view name : names) {
        decoder.namedKey(name);
    }
    return decoder.takeCodes();
}

TEST(KeyDecoder, KeysNamedByTheTerminalDescription) {
    EXPECT_EQ(named({"KEY_UP"}), Codes{KEY_UP});
    EXPECT_EQ(named({"kLFT5"}), Codes{extendedKey(0x73)}); // Ctrl+Left
    EXPECT_EQ(named({"kUP3"}), Codes{extendedKey(0x98)});  // Alt+Up
    EXPECT_EQ(named({"KEY_F(12)"}), Codes{KEY_F12});
    EXPECT_EQ(named({"KEY_F(1)", "KEY_F(10)"}), (Codes{KEY_F1, KEY_F10}));
    // Shift, Ctrl and Alt with function keys come numbered on from F13.
    EXPECT_EQ(named({"KEY_F(24)", "KEY_F(25)", "KEY_F(49)"}),
              (Codes{extendedKey(0x88), extendedKey(0x5E), extendedKey(0x68)}));
    EXPECT_EQ(named({"KEY_BTAB"}), Codes{extendedKey(0x0F)}); // Shift+Tab
    EXPECT_EQ(named({"KEY_HOME", "KEY_END", "KEY_IC", "KEY_DC", "KEY_PPAGE", "KEY_NPAGE"}),
              (Codes{KEY_HOME, KEY_END, KEY_INSERT, KEY_DELETE, KEY_PAGE_UP, KEY_PAGE_DOWN}));
    // Shift leaves the grey keys as they are.
    EXPECT_EQ(named({"KEY_SLEFT", "KEY_SR"}), (Codes{KEY_LEFT, KEY_UP}));
    EXPECT_EQ(named({"KEY_BACKSPACE", "KEY_ENTER"}), (Codes{KEY_BACKSPACE, KEY_ENTER}));
    EXPECT_EQ(named({"KEY_MOUSE", "KEY_F(73)", "kxIN", "kUP9"}), Codes{});
}

TEST(KeyDecoder, SequencesTheDescriptionLacks) {
    EXPECT_EQ(typed(U"\x1b[A\x1bOB"), (Codes{KEY_UP, KEY_DOWN}));
    EXPECT_EQ(typed(U"\x1b[1;5D"), Codes{extendedKey(0x73)}); // Ctrl+Left
    EXPECT_EQ(typed(U"\x1b[1;3A"), Codes{extendedKey(0x98)}); // Alt+Up
    EXPECT_EQ(typed(U"\x1b[24~"), Codes{KEY_F12});
    EXPECT_EQ(typed(U"\x1b[24;2~"), Codes{extendedKey(0x88)}); // Shift+F12
    EXPECT_EQ(typed(U"\x1bOP\x1b[15~\x1b[[B"),
              (Codes{KEY_F1, extendedKey(0x3F), extendedKey(0x3C)}));
    EXPECT_EQ(typed(U"\x1b[Z"), Codes{extendedKey(0x0F)}); // Shift+Tab
    EXPECT_EQ(typed(U"\x1b[1~\x1b[4~\x1b[3~\x1b[2~"),
              (Codes{KEY_HOME, KEY_END, KEY_DELETE, KEY_INSERT}));
    EXPECT_EQ(typed(U"\x1b[5;5~"), Codes{extendedKey(0x84)}); // Ctrl+Page Up
    // F6-F10 are 17-21; Meta (8 in the modifier parameter) is Alt, with Shift as well.
    EXPECT_EQ(typed(U"\x1b[17~\x1b[18~\x1b[19~\x1b[20~\x1b[21~"),
              (Codes{extendedKey(0x40), extendedKey(0x41), extendedKey(0x42), extendedKey(0x43),
                     KEY_F10}));
    EXPECT_EQ(typed(U"\x1b[1;9A\x1b[1;10D\x1b[17;9~"),
              (Codes{extendedKey(0x98), extendedKey(0x9B), extendedKey(0x6D)}));
    // Replies and reports are not keys, and an unknown key is dropped whole.
    EXPECT_EQ(typed(U"\x1b[?1;2c\x1b[I\x1b[99~x"), Codes{'x'});
    // A sequence cut short by a character that cannot belong to it: the character counts.
    EXPECT_EQ(typed(U"\x1b[1\r"), Codes{KEY_ENTER});
}

TEST(KeyDecoder, EscapeBeforeAKeyIsAlt) {
    EXPECT_EQ(typed(U"\x1bx"), Codes{extendedKey(0x2D)}); // Alt+X
    EXPECT_EQ(typed(U"\x1bX"), Codes{extendedKey(0x2D)});
    EXPECT_EQ(typed(U"\x1b"
                    U"1\x1b\r"),
              (Codes{extendedKey(0x78), extendedKey(0x1C)}));
    EXPECT_EQ(typed(U"\x1b\x7f"), Codes{extendedKey(0x0E)}); // Alt+Backspace
    // Alt with a character that has no key of its own on the layout gives the character.
    EXPECT_EQ(typed(U"\x1b\u00e9"), Codes{0x82});
    // A key that the library recognised after a lone Escape.
    TerminalKeyDecoder decoder;
    decoder.character(27);
    decoder.namedKey("KEY_UP");
    EXPECT_EQ(decoder.takeCodes(), Codes{extendedKey(0x98)});
    // Escape, Escape and a sequence: the key with Alt.
    EXPECT_EQ(typed(U"\x1b\x1b[D"), Codes{extendedKey(0x9B)});
}

TEST(KeyDecoder, ALoneEscapeWaitsForIdle) {
    TerminalKeyDecoder decoder;
    decoder.character(27);
    EXPECT_TRUE(decoder.pending());
    EXPECT_EQ(decoder.takeCodes(), Codes{});
    decoder.idle();
    EXPECT_FALSE(decoder.pending());
    EXPECT_EQ(decoder.takeCodes(), Codes{KEY_ESCAPE});
    // Escape twice is Alt+Escape; "ESC [" and "ESC O" alone are Alt+[ and Alt+O.
    EXPECT_EQ(typed(U"\x1b\x1b"), Codes{extendedKey(0x01)});
    EXPECT_EQ(typed(U"\x1b["), Codes{extendedKey(0x1A)});
    EXPECT_EQ(typed(U"\x1bO"), Codes{extendedKey(0x18)});
}

TEST(KeyDecoder, CharactersAndControlKeys) {
    EXPECT_EQ(typed(U"hello"), (Codes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(typed(U"\x01\x1a\x1f"), (Codes{1, 26, 31})); // Ctrl+A, Ctrl+Z, Ctrl+_
    EXPECT_EQ(typed(U"A~ "), (Codes{'A', '~', ' '}));
    EXPECT_EQ(typed(std::u32string(1, U'\0')), Codes{});
}

TEST(KeyDecoder, CharactersBeyondAsciiBecomeCodePage437) {
    // é, as the terminal library decodes it from UTF-8 (C3 A9), is 0x82; € has no form.
    EXPECT_EQ(typed(U"\u00e9\u20ac\u00a3"), (Codes{0x82, 0x9C}));
    // Pictures of control bytes typed as characters are never the control keys.
    EXPECT_EQ(typed(U"\u263a\u2663\u266a\u25d8"), Codes{});
    EXPECT_EQ(typed(U"\u2302"), Codes{127}); // ⌂ is byte 127, a printable byte
}

} // namespace
} // namespace ulo
