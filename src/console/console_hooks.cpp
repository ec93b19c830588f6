#include "console/console_hooks.hpp"

namespace ulo {
namespace {
ConsoleHooks hooks{};
} // namespace

ConsoleHooks& consoleHooks() {
    return hooks;
}
void installConsoleHooks(const ConsoleHooks& replacement) {
    hooks = replacement;
}
void clearConsoleHooks() {
    hooks = ConsoleHooks{};
}

const ConsoleHooks& processConsoleHooks() {
    static const ConsoleHooks& chosen = nativePlatform().processConsole();
    return chosen;
}

} // namespace ulo
