#include "runtime/timer.hpp"

#include "runtime/platform.hpp"

#include <cstdint>

namespace ulo {
namespace {

enum class TimerSource { NotChosen, TickCount, PerformanceCounter };

constexpr double TICK_SCALE = 0.001;

const SystemClock* activeClock = nullptr;
TimerSource timerSource = TimerSource::NotChosen;
double reciprocalFrequency = 0.0;

const SystemClock& clockInUse() {
    return activeClock != nullptr ? *activeClock : nativePlatform().clock;
}

} // namespace

double timerSeconds() {
    const SystemClock& clock = clockInUse();
    if (timerSource == TimerSource::NotChosen) {
        std::int64_t frequency = 0;
        if (clock.performanceFrequency(&frequency) && frequency > 0) {
            reciprocalFrequency = 1.0 / static_cast<double>(frequency);
            timerSource = TimerSource::PerformanceCounter;
        } else {
            timerSource = TimerSource::TickCount;
        }
    }
    if (timerSource == TimerSource::PerformanceCounter) {
        std::int64_t count = 0;
        if (clock.performanceCounter(&count)) {
            // A multiplication by the stored reciprocal, not a division by the frequency.
            return static_cast<double>(count) * reciprocalFrequency;
        }
    }
    return static_cast<double>(clock.tickCount()) * TICK_SCALE;
}

const SystemClock* useClock(const SystemClock* replacement) {
    const SystemClock* previous = &clockInUse();
    activeClock = replacement;
    timerSource = TimerSource::NotChosen;
    return previous;
}

} // namespace ulo
