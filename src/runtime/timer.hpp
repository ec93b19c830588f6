// The seconds timer: seconds since the origin of the platform clock (in practice, system start).
#pragma once

namespace ulo {

struct SystemClock;

double timerSeconds();

// Puts `replacement` in place of the platform's clock (null: the platform's own) and returns the
// one in use before. The timer chooses its source anew at its next reading, from the new clock.
const SystemClock* useClock(const SystemClock* replacement);

} // namespace ulo
