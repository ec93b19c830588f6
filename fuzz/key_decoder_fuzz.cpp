// The terminal key decoder on arbitrary streams of characters, named keys and idle moments, and
// the naming of keys on arbitrary names.
#include "posix/key_decoder.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Names the terminal library gives keys, with a few that are near them.
constexpr std::array<std::string_view, 16> NAMES = {
    "KEY_UP",    "KEY_DOWN",  "KEY_LEFT",   "KEY_RIGHT", "KEY_HOME", "KEY_END",
    "KEY_DC",    "KEY_BTAB",  "KEY_F(1)",   "KEY_F(12)", "KEY_F(63)", "kLFT5",
    "kRIT3",     "KEY_F(",    "KEY_RESIZE", "",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    ulo::TerminalKeyDecoder decoder;
    while (data.remaining_bytes() > 0) {
        switch (data.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            decoder.namedKey(NAMES[data.ConsumeIntegralInRange<std::size_t>(0, NAMES.size() - 1)]);
            break;
        case 1:
            decoder.idle();
            break;
        case 2:
            decoder.takeCodes();
            break;
        case 3: {
            const std::string name = data.ConsumeRandomLengthString(32);
            decoder.namedKey(name);
            ulo::namedKeyPress(name);
            break;
        }
        case 4:
            decoder.character(data.ConsumeIntegral<char32_t>());
            break;
        default: // mostly plain bytes, as a terminal sends them
            decoder.character(data.ConsumeIntegral<std::uint8_t>());
            break;
        }
    }
    decoder.idle();
    decoder.takeCodes();
    return 0;
}
