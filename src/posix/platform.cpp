// The platform record of POSIX systems.
#include "posix/posix_platform.hpp"

#include "posix/sdl_driver.hpp"
#include "posix/sdl_gl_driver.hpp"
#include "posix/termination_signals.hpp"
#include "screen/display_driver.hpp"

#include <unistd.h>
#include <vector>

namespace ulo {
namespace {

// The drivers of this platform in the order they are tried: the framebuffer's window on the
// desktop, then the OpenGL window, which only a caller asking for SCREEN_OPENGL gets (and the
// first refuses).
constexpr const DisplayDriver* POSIX_DISPLAY_DRIVERS[] = {&SDL_DISPLAY_DRIVER,
                                                          &SDL_GL_DISPLAY_DRIVER};

} // namespace

std::string posixProgramFilePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

constexpr const char* POSIX_SCREEN_HELP =
    R"(On a desktop (X11 or Wayland) Ulo opens its own window; Alt+Enter switches to
full screen and back. Elsewhere it takes over the terminal. The environment
variable VXGFX chooses the screen: SDL (or unset) for the window when a desktop
is there, null for no screen at all (nothing shown, no keys).)";

const Platform& nativePlatform() {
    // Made on first use: the pieces come from other files, whose tables are set up by then.
    static const Platform posix = {
        .name = "POSIX",
        .clock = POSIX_CLOCK,
        .startRuntime = posixStartRuntime,
        .fileSystem = &POSIX_FILE_SYSTEM,
        .processConsole = posixProcessConsole,
        .displayDrivers = POSIX_DISPLAY_DRIVERS,
        .programFilePath = posixProgramFilePath,
        .beep = sdlBeep,
        .pendingEnd = pendingEndCode,
        .screenHelp = POSIX_SCREEN_HELP,
        .endHelp = "128 + the signal's number when Ctrl+C, SIGTERM, SIGHUP or SIGQUIT ends it.",
    };
    return posix;
}

} // namespace ulo
