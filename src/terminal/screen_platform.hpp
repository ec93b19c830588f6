// What the screen layer needs from the platform back-end besides its display drivers.
#pragma once

#include <string>

namespace ulo {

// The full path of the running program file; empty when the platform cannot tell.
std::string programFilePath();

} // namespace ulo
