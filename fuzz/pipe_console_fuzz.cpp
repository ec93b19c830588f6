// The pipe console with the line editor on arbitrary input bytes, as a script could send them:
// lines are read until the input ends, echoed to an output that is thrown away.
#include "console/console_hooks.hpp"
#include "console/keys.hpp"
#include "console/print.hpp"
#include "posix/pipe_descriptors.hpp"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // A file as standard input: always ready, and its end is the end of the input.
    char name[] = "/tmp/ulo-fuzz-input-XXXXXX";
    const int input = ::mkstemp(name);
    const int output = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (input < 0 || output < 0) {
        std::abort();
    }
    ::unlink(name);
    const bool utf8 = (bytes[0] & 1) != 0;
    if (::write(input, bytes + 1, size - 1) != static_cast<ssize_t>(size - 1) ||
        ::lseek(input, 0, SEEK_SET) != 0) {
        std::abort();
    }
    ulo::resetKeyBuffer();
    ulo::installConsoleHooks(ulo::openPipeConsole({input, output, utf8, false}));
    ulo::setTextView(0, 0);
    static constexpr std::string_view NO_PROMPT;
    std::string line;
    // Every line read takes at least one byte, so the input ends within size + 1 lines.
    for (std::size_t lines = 0; lines <= size + 1; ++lines) {
        if (ulo::inputLine(&NO_PROMPT, line, -1, 0, 0, -1) == ulo::ERR_INPUT_ENDED) {
            break;
        }
        if (lines == size + 1) {
            std::abort(); // the input never ends
        }
    }
    ulo::clearConsoleHooks();
    ::close(input);
    ::close(output);
    return 0;
}
