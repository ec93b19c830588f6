#include "screen/resource_blob.hpp"

#include <array>
#include <optional>
#include <vector>

namespace ulo {
namespace {

constexpr std::uint32_t END_CODE = 4095;
constexpr std::uint32_t LAST_DICTIONARY_CODE = 4094;
constexpr std::size_t MAX_CHAIN = 4095;

struct DictionaryEntry {
    std::uint16_t prefix;
    std::uint8_t last;
};

std::array<std::uint8_t, RESOURCE_BLOCK_SIZE> expanded{};
// The packed block to expand (empty: the program's own) and the outcome once it was expanded.
std::span<const std::uint8_t> packed;
std::optional<bool> expansion;

std::uint32_t codeAt(const std::uint8_t* input, std::size_t index) {
    const std::size_t bit = index * 12;
    const std::size_t byte = bit / 8;
    const std::uint32_t pair = input[byte] | static_cast<std::uint32_t>(input[byte + 1]) << 8;
    return (bit % 8 == 0 ? pair : pair >> 4) & 0xFFFu;
}

} // namespace

int expandResourceBlob(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                       std::size_t* capacity) {
    const std::size_t codeCount = inputLength * 8 / 12;
    const std::size_t room = *capacity;
    if (codeCount == 0 || room == 0) {
        return -1;
    }
    // Entries never written hold prefix 0, so a malformed stream still ends every chain.
    std::vector<DictionaryEntry> dictionary(END_CODE + 1, DictionaryEntry{0, 0});
    std::array<std::uint8_t, MAX_CHAIN + 1> work{};

    std::uint32_t previous = codeAt(input, 0);
    std::size_t produced = 0;
    output[produced++] = static_cast<std::uint8_t>(previous);
    std::uint32_t nextFree = 256;

    // Unrolls the string of `code` backwards into `work`; returns its length, 0 when too long.
    const auto unroll = [&](std::uint32_t code, std::size_t start) -> std::size_t {
        std::size_t length = start;
        while (code >= 256) {
            if (length >= MAX_CHAIN) {
                return 0;
            }
            work[length++] = dictionary[code].last;
            code = dictionary[code].prefix;
        }
        work[length++] = static_cast<std::uint8_t>(code);
        return length;
    };

    for (std::size_t index = 1; index < codeCount; ++index) {
        const std::uint32_t code = codeAt(input, index);
        if (code == END_CODE) {
            *capacity = produced;
            return 0;
        }
        std::size_t length;
        if (code < nextFree) {
            length = unroll(code, 0);
        } else {
            // The code being defined: the previous string and its own first byte.
            length = unroll(previous, 1);
            if (length != 0) {
                work[0] = work[length - 1];
            }
        }
        if (length == 0) {
            return -1;
        }
        if (length > room - produced) {
            return -1;
        }
        for (std::size_t i = length; i-- > 0;) {
            output[produced++] = work[i];
        }
        if (nextFree <= LAST_DICTIONARY_CODE) {
            dictionary[nextFree].prefix = static_cast<std::uint16_t>(previous);
            dictionary[nextFree].last = work[length - 1];
            ++nextFree;
        }
        previous = code;
    }
    return -1;
}

bool expandResourcesOnce() {
    if (!expansion) {
        const std::span<const std::uint8_t> blob = packed.empty() ? resourceBlob() : packed;
        std::size_t capacity = expanded.size();
        expansion = expandResourceBlob(blob.data(), blob.size(), expanded.data(), &capacity) == 0 &&
                    capacity == expanded.size();
    }
    return *expansion;
}

std::span<const std::uint8_t> useResourceBlob(std::span<const std::uint8_t> blob) {
    const std::span<const std::uint8_t> previous = packed;
    packed = blob;
    expansion.reset();
    return previous;
}

std::span<const std::uint8_t, RESOURCE_BLOCK_SIZE> resourceBlock() {
    return expanded;
}

FontDesc fontOfHeight(std::int32_t height) {
    switch (height) {
    case 8:
        return {8, 8, expanded.data() + FONT_8X8_OFFSET};
    case 14:
        return {8, 14, expanded.data() + FONT_8X14_OFFSET};
    default:
        return {8, 16, expanded.data() + FONT_8X16_OFFSET};
    }
}

PaletteDesc defaultPalette(std::int32_t count) {
    std::size_t offset = PALETTES_OFFSET;
    for (const std::int32_t size : {2, 16, 64, 256}) {
        if (size == count) {
            return {count, expanded.data() + offset};
        }
        offset += static_cast<std::size_t>(size) * 3;
    }
    return {0, nullptr};
}

} // namespace ulo
