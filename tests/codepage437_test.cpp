#include "console/codepage437.hpp"

#include <gtest/gtest.h>

namespace ulo {
namespace {

TEST(CodePage437, EveryByteHasOneCharacterThatMapsBack) {
    for (int byte = 1; byte < 256; ++byte) {
        const char32_t character = cp437ToUnicode(static_cast<std::uint8_t>(byte));
        EXPECT_EQ(unicodeToCp437(character), byte) << byte;
    }
    EXPECT_EQ(cp437ToUnicode(0), U' ');
    // Control characters typed on a keyboard stay control characters.
    for (char32_t c = 1; c < 0x20; ++c) {
        EXPECT_EQ(unicodeToCp437(c), static_cast<int>(c));
    }
}

TEST(CodePage437, KnownCharacters) {
    EXPECT_EQ(cp437ToUnicode(0x82), U'é');
    EXPECT_EQ(cp437ToUnicode(0xB3), U'│');
    EXPECT_EQ(cp437ToUnicode(0xDB), U'█');
    EXPECT_EQ(cp437ToUnicode(0x01), U'☺');
    EXPECT_EQ(cp437ToUnicode(0x7F), U'⌂');
    EXPECT_EQ(cp437ToUnicode(0xE1), U'ß');
    EXPECT_EQ(unicodeToCp437(U'β'), 0xE1);
    EXPECT_EQ(unicodeToCp437(U'€'), -1);
    EXPECT_EQ(unicodeToCp437(U'😀'), -1);
}

TEST(CodePage437, Utf8ConversionBothWays) {
    EXPECT_EQ(cp437ToUtf8("caf\x82 \x01\r\n", "\r\n"), "café ☺\r\n");
    EXPECT_EQ(cp437ToUtf8("\r"), "♪");
    EXPECT_EQ(utf8ToCp437("café ☺ € 😀 ½"), "caf\x82 \x01   \xab");
    // Malformed sequences are dropped, and the byte that broke one is read afresh.
    EXPECT_EQ(utf8ToCp437("a\xc3z\xe9\xff\x80"
                          "b"),
              "azb");
    EXPECT_EQ(utf8ToCp437("\xc0\xaf"), "");     // an over-long form of '/'
    EXPECT_EQ(utf8ToCp437("\xed\xa0\x80"), ""); // a surrogate
}

} // namespace
} // namespace ulo
