#include "win32/end_requests.hpp"

#include "runtime/errors.hpp"

#include <atomic>

namespace ulo {
namespace {

// What a program ended by Ctrl+C exits with on Windows.
constexpr int CONTROL_C_EXIT_CODE = static_cast<int>(0xC000013Au);

std::atomic<bool> endRequested{false};
HANDLE wakeEvent = nullptr;

// Runs on a thread of its own. Closing the console (or logging off) ends the process as soon as
// the handler returns, so for those it waits until the main thread has finished the exit.
BOOL WINAPI controlHandler(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        endRequested.store(true);
        ::SetEvent(wakeEvent);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        endRequested.store(true);
        ::SetEvent(wakeEvent);
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

void stopWatching() {
    ::SetConsoleCtrlHandler(controlHandler, FALSE);
}

} // namespace

void watchEndRequests() {
    if (wakeEvent != nullptr) {
        return;
    }
    wakeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(controlHandler, TRUE);
    registerExitRoutine(stopWatching);
}

std::int32_t pendingEndCode() {
    return endRequested.load() ? CONTROL_C_EXIT_CODE : 0;
}

HANDLE endRequestEvent() {
    return wakeEvent;
}

} // namespace ulo
