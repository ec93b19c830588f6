#include "console/codepage437.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace ulo {
namespace {

// Bytes 0-31 as the glyphs of the font show them.
constexpr std::array<char32_t, 32> LOW_GLYPHS = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

constexpr char32_t HOUSE = 0x2302; // byte 127

// Bytes 128-255.
constexpr std::array<char32_t, 128> HIGH_GLYPHS = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

// Other spellings of characters the code page has: Greek beta for the sharp s, Greek mu for the
// micro sign, the ohm sign for omega.
constexpr std::array<std::pair<char32_t, std::uint8_t>, 3> ALIASES = {{
    {0x03B2, 0xE1},
    {0x03BC, 0xE6},
    {0x2126, 0xEA},
}};

struct ReverseEntry {
    char32_t character;
    std::uint8_t byte;
};

// Every non-ASCII character of the code page with its byte, sorted by character.
constexpr auto makeReverseTable() {
    std::array<ReverseEntry, 31 + 1 + 128 + ALIASES.size()> table{};
    std::size_t n = 0;
    for (std::size_t i = 1; i < LOW_GLYPHS.size(); ++i) {
        table[n++] = {LOW_GLYPHS[i], static_cast<std::uint8_t>(i)};
    }
    table[n++] = {HOUSE, 0x7F};
    for (std::size_t i = 0; i < HIGH_GLYPHS.size(); ++i) {
        table[n++] = {HIGH_GLYPHS[i], static_cast<std::uint8_t>(0x80 + i)};
    }
    for (const auto& [character, byte] : ALIASES) {
        table[n++] = {character, byte};
    }
    std::sort(table.begin(), table.end(), [](const ReverseEntry& a, const ReverseEntry& b) {
        return a.character < b.character;
    });
    return table;
}
constexpr auto REVERSE_TABLE = makeReverseTable();

} // namespace

char32_t cp437ToUnicode(std::uint8_t byte) {
    if (byte < 0x20) {
        return LOW_GLYPHS[byte];
    }
    if (byte < 0x7F) {
        return byte;
    }
    if (byte == 0x7F) {
        return HOUSE;
    }
    return HIGH_GLYPHS[byte - 0x80u];
}

int unicodeToCp437(char32_t character) {
    if (character < 0x80) {
        return static_cast<int>(character);
    }
    const auto* found =
        std::lower_bound(REVERSE_TABLE.begin(), REVERSE_TABLE.end(), character,
                         [](const ReverseEntry& entry, char32_t c) { return entry.character < c; });
    if (found != REVERSE_TABLE.end() && found->character == character) {
        return found->byte;
    }
    return -1;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string cp437ToUtf8(std::string_view text, std::string_view kept) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 && kept.find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            appendUtf8(out, cp437ToUnicode(byte));
        }
    }
    return out;
}

char32_t Utf8Decoder::feed(std::uint8_t byte) {
    if (remaining_ > 0) {
        if ((byte & 0xC0) == 0x80) {
            partial_ = (partial_ << 6) | (byte & 0x3Fu);
            if (--remaining_ > 0) {
                return NONE;
            }
            const bool valid = partial_ >= minimum_ && partial_ <= 0x10FFFF &&
                               !(partial_ >= 0xD800 && partial_ <= 0xDFFF);
            return valid ? partial_ : NONE;
        }
        remaining_ = 0; // a broken sequence: drop it and take this byte afresh
    }
    if (byte < 0x80) {
        return byte;
    }
    if ((byte & 0xE0) == 0xC0) {
        partial_ = byte & 0x1Fu;
        remaining_ = 1;
        minimum_ = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
        partial_ = byte & 0x0Fu;
        remaining_ = 2;
        minimum_ = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
        partial_ = byte & 0x07u;
        remaining_ = 3;
        minimum_ = 0x10000;
    }
    return NONE;
}

std::string utf8ToCp437(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Utf8Decoder decoder;
    for (const char c : text) {
        const char32_t character = decoder.feed(static_cast<std::uint8_t>(c));
        if (character == Utf8Decoder::NONE) {
            continue;
        }
        const int byte = unicodeToCp437(character);
        if (byte >= 0) {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

std::string unicodeTextToCp437(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t character : text) {
        const int byte = unicodeToCp437(character);
        out.push_back(static_cast<char>(byte >= 0 ? byte : '?'));
    }
    return out;
}

} // namespace ulo
