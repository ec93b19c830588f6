// The seconds timer: seconds since the origin of the platform clock (in practice, system start).
#pragma once

namespace ulo {

double timerSeconds();

} // namespace ulo
