#include "posix/termination_signals.hpp"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ulo {
namespace {

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Lock-free, so that the handlers may set them and any thread read them.
std::atomic<int> endingSignal{0};
std::atomic<int> resized{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The pipe that wakes a poll: the handlers write a byte, the poller drains it.
int wakePipe[2] = {-1, -1};

void wake() {
    if (wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(wakePipe[1], &byte, 1);
    }
}

void onEndingSignal(int number) {
    int none = 0;
    endingSignal.compare_exchange_strong(none, number);
    wake();
}

void onResize(int) {
    resized.store(1);
    wake();
}

bool makeWakePipe() {
    if (wakePipe[0] >= 0) {
        return true;
    }
    return ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

void install(int number, void (*handler)(int)) {
    struct sigaction previous {};
    if (::sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
        return; // started with it ignored (nohup, a background job): keep it that way
    }
    struct sigaction action {};
    action.sa_handler = handler;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

void drainWakePipe() {
    char bytes[64];
    while (wakePipe[0] >= 0 && ::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void watchTerminationSignals() {
    static bool installed = false;
    if (installed || !makeWakePipe()) {
        return;
    }
    installed = true;
    for (const int number : ENDING_SIGNALS) {
        install(number, onEndingSignal);
    }
}

void watchResizeSignal() {
    static bool installed = false;
    if (installed || !makeWakePipe()) {
        return;
    }
    installed = true;
    install(SIGWINCH, onResize);
}

int signalWakeDescriptor() {
    return wakePipe[0];
}

std::int32_t pendingEndCode() {
    const int number = endingSignal.load();
    return number != 0 ? 128 + number : 0;
}

bool takeResizeSignal() {
    if (resized.exchange(0) == 0) {
        return false;
    }
    drainWakePipe();
    return true;
}

} // namespace ulo
