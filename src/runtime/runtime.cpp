#include "runtime/runtime.hpp"

#include "runtime/platform.hpp"

#include <cfenv>
#include <cstddef>

namespace ulo {
namespace {
int storedCount = 0;
char** storedArguments = nullptr;
} // namespace

void runtimeStart(int argumentCount, char** arguments) {
    storedCount = argumentCount > 0 ? argumentCount : 0;
    storedArguments = arguments;
    std::fesetround(FE_TONEAREST);
    nativePlatform().startRuntime();
}

std::span<char* const> runtimeArguments() {
    if (storedArguments == nullptr) {
        return {};
    }
    return {storedArguments, static_cast<std::size_t>(storedCount)};
}

} // namespace ulo
