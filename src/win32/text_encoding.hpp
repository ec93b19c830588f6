// Conversions between the UTF-8 that Ulo's names and texts use and the UTF-16 of the Windows
// API.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ulo {

// Nothing when `text` is not valid UTF-8.
std::optional<std::wstring> wideFromUtf8(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf8FromWide(std::wstring_view text);

} // namespace ulo
