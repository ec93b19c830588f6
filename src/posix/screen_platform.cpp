// The screen layer's platform pieces on POSIX systems.
#include "terminal/screen_platform.hpp"
#include "posix/sdl_driver.hpp"
#include "terminal/display_driver.hpp"

#include <iterator>

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace ulo {

std::string programFilePath() {
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

// The drivers of this platform in the order they are tried: a window on the desktop.
DisplayDriverList platformDisplayDrivers() {
    static const DisplayDriver* const drivers[] = {&SDL_DISPLAY_DRIVER};
    return {drivers, std::size(drivers)};
}

} // namespace ulo
