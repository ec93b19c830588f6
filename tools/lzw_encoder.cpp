#include "lzw_encoder.hpp"

#include <unordered_map>

namespace ulo::tools {

std::vector<std::uint16_t> lzwCodes(std::span<const std::uint8_t> input) {
    std::vector<std::uint16_t> codes;
    if (input.empty()) {
        codes.push_back(static_cast<std::uint16_t>(LZW_END_CODE));
        return codes;
    }
    // (prefix code << 8 | next byte) -> dictionary code
    std::unordered_map<std::uint32_t, std::uint16_t> dictionary;
    dictionary.reserve(8192);
    std::uint32_t nextFree = 256;
    std::uint32_t current = input[0];
    for (std::size_t i = 1; i < input.size(); ++i) {
        const std::uint32_t key = current << 8 | input[i];
        if (const auto found = dictionary.find(key); found != dictionary.end()) {
            current = found->second;
            continue;
        }
        codes.push_back(static_cast<std::uint16_t>(current));
        // The decoder adds the same entry when it reads the code that follows this one.
        if (nextFree <= LZW_LAST_DICTIONARY_CODE) {
            dictionary.emplace(key, static_cast<std::uint16_t>(nextFree++));
        }
        current = input[i];
    }
    codes.push_back(static_cast<std::uint16_t>(current));
    codes.push_back(static_cast<std::uint16_t>(LZW_END_CODE));
    return codes;
}

std::vector<std::uint8_t> packCodes(std::span<const std::uint16_t> codes) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(codes.size() * 3 / 2 + 2);
    for (std::size_t i = 0; i < codes.size(); i += 2) {
        const std::uint32_t first = codes[i] & 0xFFFu;
        bytes.push_back(static_cast<std::uint8_t>(first));
        if (i + 1 == codes.size()) {
            bytes.push_back(static_cast<std::uint8_t>(first >> 8));
            break;
        }
        const std::uint32_t second = codes[i + 1] & 0xFFFu;
        bytes.push_back(static_cast<std::uint8_t>(first >> 8 | (second & 0xF) << 4));
        bytes.push_back(static_cast<std::uint8_t>(second >> 4));
    }
    return bytes;
}

} // namespace ulo::tools
