// What the run-time needs from the platform back-end: its clocks and its start-up step.
// Only the back-ends implement this; the portable code calls through the table.
#pragma once

#include <cstdint>

namespace ulo {

struct SystemClock {
    // Counts per second of the high-resolution counter; false when there is none.
    bool (*performanceFrequency)(std::int64_t* countsPerSecond);
    // The high-resolution counter, counted from system start.
    bool (*performanceCounter)(std::int64_t* count);
    // Milliseconds since system start, wrapping at 2^32.
    std::uint32_t (*tickCount)();
};

// The clocks of the platform this program was built for.
const SystemClock& systemClock();

// Platform part of runtimeStart: floating-point mode and the console's standard handles.
void platformStartRuntime();

} // namespace ulo
