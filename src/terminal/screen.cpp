#include "terminal/screen.hpp"

#include "console/console_hooks.hpp"
#include "console/print.hpp"

namespace ulo {
namespace {

bool validMode(std::int32_t mode) {
    return mode >= 0 && mode <= MAX_SCREEN_MODE && (mode < 3 || mode > 6);
}

} // namespace

RuntimeErrorCode setScreenMode(std::int32_t mode, std::int32_t, std::int32_t, std::int32_t flags,
                               std::int32_t) {
    if (!validMode(mode)) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    // No display driver is built yet: every graphics mode fails to start one, so the screen stays
    // closed and text goes to the process console.
    clearConsoleHooks();
    if (flags != SCREEN_NO_CONSOLE_RESET) {
        setTextView(0, 0);
    }
    return setErrorCode(mode == 0 ? ERR_NONE : ERR_ILLEGAL_FUNCTION_CALL);
}

} // namespace ulo
