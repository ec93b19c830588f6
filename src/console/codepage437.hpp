// Code page 437, the character set of the screen font, and its conversion to and from Unicode
// and UTF-8. Inside Ulo every text is code page 437; conversion happens only where text meets a
// system that speaks Unicode.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ulo {

// The Unicode character that code page 437 byte `byte` shows as. Bytes 1-31 and 127 give their
// pictures (☺ ♥ ⌂ …); byte 0 gives a space, as its glyph is blank.
char32_t cp437ToUnicode(std::uint8_t byte);

// The code page 437 byte for a Unicode character, or -1 when it has none. Characters below 128
// map to themselves (control characters included); the pictures of bytes 1-31 and 127 map back.
int unicodeToCp437(char32_t character);

// Appends `character` to `out` in UTF-8.
void appendUtf8(std::string& out, char32_t character);

// Code page 437 text as UTF-8; every byte is shown as its glyph's character, except that the
// control bytes listed in `kept` (for instance "\r\n") pass through unchanged.
std::string cp437ToUtf8(std::string_view text, std::string_view kept = {});

// Decodes UTF-8 one byte at a time; malformed sequences are dropped.
class Utf8Decoder {
public:
    static constexpr char32_t NONE = 0xFFFFFFFFu;

    // The character completed by `byte`, or NONE while a sequence is incomplete or malformed.
    char32_t feed(std::uint8_t byte);
    bool midSequence() const { return remaining_ != 0; }

private:
    char32_t partial_ = 0;
    int remaining_ = 0;
    char32_t minimum_ = 0;
};

// UTF-8 text as code page 437; characters without a code page 437 form are dropped.
std::string utf8ToCp437(std::string_view text);

// Unicode text as code page 437; characters without a code page 437 form become '?'.
std::string unicodeTextToCp437(std::u32string_view text);

} // namespace ulo
