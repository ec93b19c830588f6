// Clocks and run-time start on POSIX systems.
#include "posix/posix_platform.hpp"

#include <ctime>

namespace ulo {
namespace {

constexpr std::int64_t NANOSECONDS_PER_SECOND = 1'000'000'000;

// Seconds since system start, counting time spent suspended as well.
bool readBootClock(timespec* now) {
    return ::clock_gettime(CLOCK_BOOTTIME, now) == 0;
}

bool bootClockFrequency(std::int64_t* countsPerSecond) {
    timespec probe{};
    if (!readBootClock(&probe)) {
        return false;
    }
    *countsPerSecond = NANOSECONDS_PER_SECOND;
    return true;
}

bool bootClockCount(std::int64_t* count) {
    timespec now{};
    if (!readBootClock(&now)) {
        return false;
    }
    *count = static_cast<std::int64_t>(now.tv_sec) * NANOSECONDS_PER_SECOND + now.tv_nsec;
    return true;
}

std::uint32_t bootClockMilliseconds() {
    timespec now{};
    if (!readBootClock(&now)) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    }
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<std::uint32_t>(milliseconds);
}

} // namespace

const SystemClock POSIX_CLOCK = {
    .performanceFrequency = bootClockFrequency,
    .performanceCounter = bootClockCount,
    .tickCount = bootClockMilliseconds,
};

void posixStartRuntime() {
    // Terminal input is already processed by the terminal driver here (Ctrl+C raises SIGINT);
    // the console layer sets up the terminal itself when it is first used.
}

} // namespace ulo
