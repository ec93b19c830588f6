// The process console on Windows: the Win32 console when standard input and output are both
// consoles, otherwise the pipe console over the standard handles (pipes, files, the null device).
//
// Through pipes and files text travels as UTF-8, as today's Windows tools write it (Notepad's
// files, PowerShell's pipes), whatever the console's code pages.
#include "console/pipe_console.hpp"
#include "win32/end_requests.hpp"
#include "win32/win32_console.hpp"
#include "win32/windows_platform.hpp"

#include <algorithm>
#include <windows.h>

namespace ulo {
namespace {

HANDLE standardInput = INVALID_HANDLE_VALUE;
HANDLE standardOutput = INVALID_HANDLE_VALUE;

constexpr DWORD MAX_READ = 1u << 16;

std::int64_t readWaiting(std::uint8_t* buffer, std::size_t size) {
    if (standardInput == INVALID_HANDLE_VALUE || standardInput == nullptr) {
        return -1; // no input at all
    }
    DWORD toRead = static_cast<DWORD>(std::min<std::size_t>(size, MAX_READ));
    if (::GetFileType(standardInput) == FILE_TYPE_PIPE) {
        // A pipe's reads would wait for the writer: read only what is there.
        DWORD waiting = 0;
        if (::PeekNamedPipe(standardInput, nullptr, 0, nullptr, &waiting, nullptr)) {
            if (waiting == 0) {
                return 0;
            }
            toRead = std::min(toRead, waiting);
        } else if (::GetLastError() == ERROR_BROKEN_PIPE) {
            return -1; // the writing end has gone away and everything has been read
        }
        // A pipe that cannot be looked into is read as it comes, as a file is.
    }
    DWORD got = 0;
    if (!::ReadFile(standardInput, buffer, toRead, &got, nullptr) || got == 0) {
        return -1; // a file (or the null device) at its end, or a broken pipe
    }
    return got;
}

void writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD put = 0;
        if (!::WriteFile(standardOutput, bytes.data(),
                         static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAX_READ)), &put,
                         nullptr) ||
            put == 0) {
            return; // nobody reads any more; the conversation goes on regardless
        }
        bytes.remove_prefix(put);
    }
}

// A pipe cannot be waited on; the wait ends early only for a request to end. The caller looks
// for input again right after, at most a key-wait interval later.
void waitForMore(bool, std::int32_t milliseconds) {
    ::WaitForSingleObject(endRequestEvent(), static_cast<DWORD>(std::max(milliseconds, 0)));
}

constexpr PipeStreams STANDARD_STREAMS = {
    .readWaiting = readWaiting,
    .write = writeAll,
    .waitForInput = waitForMore,
    .startPolling = watchEndRequests,
};

} // namespace

const ConsoleHooks& windowsProcessConsole() {
    if (startWin32Console()) {
        return win32ConsoleHooks();
    }
    standardInput = ::GetStdHandle(STD_INPUT_HANDLE);
    standardOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return startPipeConsole(STANDARD_STREAMS, true, true);
}

} // namespace ulo
