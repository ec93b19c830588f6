// The test programs run with no input at all, as a desktop starts programs: the tests that open
// the real window in this process would otherwise find whatever the test runner was given on its
// own standard input (a pipe, in a script), which Ulo reads instead of opening a window. No test
// reads this process's own input.
#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool readFromNothing() {
#if defined(_WIN32)
    const HANDLE nothing = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    return nothing != INVALID_HANDLE_VALUE && ::SetStdHandle(STD_INPUT_HANDLE, nothing) != 0;
#else
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing < 0) {
        return false;
    }
    const bool moved = ::dup2(nothing, STDIN_FILENO) == STDIN_FILENO;
    ::close(nothing);
    return moved;
#endif
}

[[maybe_unused]] const bool NO_INPUT = readFromNothing();

} // namespace
