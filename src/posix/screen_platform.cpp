// The screen layer's platform pieces on POSIX systems.
#include "terminal/screen_platform.hpp"
#include "terminal/display_driver.hpp"

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

// No window system driver is built for this platform yet: only the Null driver (chosen by name)
// is available, and every other request leaves the text on the process console.
DisplayDriverList platformDisplayDrivers() {
    return {nullptr, 0};
}

} // namespace ulo
