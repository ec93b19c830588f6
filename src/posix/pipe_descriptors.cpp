// The pipe console's streams on POSIX systems: descriptors read without blocking, and the ending
// signals (Ctrl+C, SIGTERM, SIGHUP) turned into an orderly end.
#include "posix/pipe_descriptors.hpp"

#include "posix/console_input.hpp"
#include "posix/termination_signals.hpp"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace ulo {
namespace {

PipeConsoleOptions options{-1, -1, false, false};

std::int64_t readWaiting(std::uint8_t* buffer, std::size_t size) {
    pollfd entry{options.inputDescriptor, POLLIN, 0};
    if (::poll(&entry, 1, 0) <= 0) {
        return 0;
    }
    const ssize_t got = ::read(options.inputDescriptor, buffer, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
        return 0;
    }
    return got <= 0 ? -1 : got;
}

void writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(options.outputDescriptor, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return; // nobody reads any more; the conversation goes on regardless
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

void waitForMore(bool inputEnded, std::int32_t milliseconds) {
    waitForInput(inputEnded ? -1 : options.inputDescriptor, milliseconds);
}

} // namespace

const ConsoleHooks& openPipeConsole(const PipeConsoleOptions& chosen) {
    options = chosen;
    // The process's own console ends Ulo on the ending signals; one on test pipes leaves them
    // alone.
    const PipeStreams streams = {
        .readWaiting = readWaiting,
        .write = writeAll,
        .waitForInput = waitForMore,
        .startPolling = options.processConsole ? watchTerminationSignals : nullptr,
    };
    if (options.processConsole) {
        std::signal(SIGPIPE, SIG_IGN); // a reader that went away is no reason to end
    }
    return startPipeConsole(streams, options.utf8, options.processConsole);
}

} // namespace ulo
