// Clocks and run-time start on Windows.
#include "win32/windows_platform.hpp"

#include <float.h>
#include <windows.h>

namespace ulo {
namespace {

bool counterFrequency(std::int64_t* countsPerSecond) {
    LARGE_INTEGER frequency;
    if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) {
        return false;
    }
    *countsPerSecond = frequency.QuadPart;
    return true;
}

bool counterValue(std::int64_t* count) {
    LARGE_INTEGER value;
    if (!::QueryPerformanceCounter(&value)) {
        return false;
    }
    *count = value.QuadPart;
    return true;
}

std::uint32_t tickCount() {
    return ::GetTickCount();
}

} // namespace

const SystemClock WINDOWS_CLOCK = {
    .performanceFrequency = counterFrequency,
    .performanceCounter = counterValue,
    .tickCount = tickCount,
};

void windowsStartRuntime() {
#if defined(__i386__)
    // The x87 unit computes with the full 64-bit mantissa and rounds to nearest, whatever the
    // process was started with. (Other processors have no precision control.)
    ::_controlfp(_PC_64 | _RC_NEAR, _MCW_PC | _MCW_RC);
#endif
    // Ctrl+C typed into the console is a signal to the process, not a character.
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != INVALID_HANDLE_VALUE && ::GetConsoleMode(input, &mode)) {
        ::SetConsoleMode(input, mode | ENABLE_PROCESSED_INPUT);
    }
}

} // namespace ulo
