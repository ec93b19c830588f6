// Screen modes: the graphics text screen, or none (text on the process console).
#pragma once

#include "runtime/errors.hpp"

#include <cstdint>

namespace ulo {

inline constexpr std::int32_t SCREEN_FULLSCREEN = 0x01;
inline constexpr std::int32_t SCREEN_OPENGL = 0x02;
inline constexpr std::int32_t SCREEN_NO_SWITCH = 0x04;
inline constexpr std::int32_t SCREEN_STENCIL_BUFFER = 0x10;
inline constexpr std::int32_t SCREEN_ACCUM_BUFFER = 0x20;
inline constexpr std::int32_t SCREEN_NULL = -1;
inline constexpr std::int32_t SCREEN_NO_CONSOLE_RESET = static_cast<std::int32_t>(0x80000000u);

inline constexpr std::int32_t MAX_SCREEN_MODE = 21;

// Sets screen mode `mode` (0: no graphics screen). Refuses modes outside 0..21 and the invalid
// modes 3-6 with error 1. When no display driver starts, the text stays on the process console
// and the result is error 1.
RuntimeErrorCode setScreenMode(std::int32_t mode, std::int32_t depth, std::int32_t pageCount,
                               std::int32_t flags, std::int32_t refreshRate);

} // namespace ulo
