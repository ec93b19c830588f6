#include "runtime/runtime.hpp"

#include "runtime/platform.hpp"

#include <cfenv>

namespace ulo {

void runtimeStart(int, char**) {
    std::fesetround(FE_TONEAREST);
    nativePlatform().startRuntime();
}

} // namespace ulo
