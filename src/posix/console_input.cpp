#include "posix/console_input.hpp"

#include "posix/termination_signals.hpp"

#include <cerrno>
#include <poll.h>

namespace ulo {

InputWait waitForInput(int descriptor, int milliseconds) {
    pollfd entries[2] = {{descriptor, POLLIN, 0}, {signalWakeDescriptor(), POLLIN, 0}};
    const int ready = ::poll(entries, 2, milliseconds);
    if (ready <= 0) {
        return InputWait::TimedOut; // a time-out, or a signal that interrupted the wait
    }
    if ((entries[0].revents & POLLIN) != 0) {
        return InputWait::Ready;
    }
    if ((entries[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return InputWait::Closed;
    }
    return InputWait::TimedOut;
}

} // namespace ulo
