// The packer for the resource block: 12-bit LZW without a clear code, the exact counterpart of
// expandResourceBlob. Codes are packed little-endian (code k in bits 12k .. 12k + 11), codes
// 0-255 are literal bytes, dictionary codes run from 256 to 4094 and then stay frozen, and code
// 4095 ends the stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ulo::tools {

inline constexpr std::uint32_t LZW_END_CODE = 4095;
inline constexpr std::uint32_t LZW_LAST_DICTIONARY_CODE = 4094;

// The codes for `input` (at least one byte), ending with LZW_END_CODE.
std::vector<std::uint16_t> lzwCodes(std::span<const std::uint8_t> input);
// Packs 12-bit codes into bytes, two codes to three bytes; a last odd code takes two bytes.
std::vector<std::uint8_t> packCodes(std::span<const std::uint16_t> codes);

inline std::vector<std::uint8_t> lzwEncode(std::span<const std::uint8_t> input) {
    return packCodes(lzwCodes(input));
}

} // namespace ulo::tools
