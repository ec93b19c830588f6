// Clocks and run-time start on POSIX systems.
#include "posix/posix_platform.hpp"

#include "posix/termination_signals.hpp"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

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

// Standard input, output and error that were closed when Ulo started are opened on /dev/null,
// before any other descriptor is made: otherwise the next one made would take their number, and
// Ulo would read its own signal pipe as its input and write its output into it. A closed input
// then reads as the end of input.
void keepStandardDescriptorsOpen() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number is this one: those below it are open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
}

} // namespace

const SystemClock POSIX_CLOCK = {
    .performanceFrequency = bootClockFrequency,
    .performanceCounter = bootClockCount,
    .tickCount = bootClockMilliseconds,
};

void posixStartRuntime() {
    keepStandardDescriptorsOpen();
    // Ctrl+C and the other ending signals end Ulo through its normal exit, whatever it talks
    // through: the console, or the window, which has no terminal of its own to restore but files
    // to close. The terminal driver already turns Ctrl+C into SIGINT; the console layer sets up
    // the terminal itself when it is first used.
    watchTerminationSignals();
}

} // namespace ulo
