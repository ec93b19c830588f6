// The process console on Windows: the Win32 console when standard input and output are both
// consoles.
//
// Otherwise (pipes, files) the process console has no device yet, as if both standard streams
// were the null device: what is printed goes nowhere and the input has ended, so Ulo ends at
// once through its normal exit.
#include "console/console_hooks.hpp"
#include "console/line_editor.hpp"
#include "win32/console.hpp"
#include "win32/windows_platform.hpp"

namespace ulo {
namespace {

KeyString noKey() {
    return keyStringFor(INPUT_END_KEY);
}
bool inputEnded() {
    return true;
}
std::int32_t endOfInput() {
    return INPUT_END_KEY;
}
void ignoreClear(std::uint32_t) {}
std::int32_t firstCell(std::int32_t, std::int32_t, std::int32_t) {
    return 1 | 1 << 8;
}
std::int32_t firstColumn() {
    return 1;
}
void firstCellOut(std::int32_t* column, std::int32_t* row) {
    *column = 1;
    *row = 1;
}
void standardSize(std::int32_t* columns, std::int32_t* rows) {
    *columns = 80;
    *rows = 25;
}
void ignorePrint(const std::uint8_t*, std::size_t, std::int32_t) {}
void ignoreView(std::int32_t, std::int32_t) {}

// The slots Ulo uses, and waitKey; the others stay empty.
constexpr ConsoleHooks NO_DEVICE_HOOKS = {
    .readKey = noKey,
    .keyAvailable = inputEnded,
    .clear = ignoreClear,
    .setCursor = firstCell,
    .getCursor = firstCellOut,
    .getTextSize = standardSize,
    .printBuffer = ignorePrint,
    .viewUpdate = ignoreView,
    .inputLine = runInputLine,

    .waitKey = endOfInput,
    .getColumn = firstColumn,
    .getRow = firstColumn,
};

const ConsoleHooks& chooseProcessConsole() {
    return startWin32Console() ? win32ConsoleHooks() : NO_DEVICE_HOOKS;
}

} // namespace

const ConsoleHooks& windowsProcessConsole() {
    // Chosen at the first text operation that reaches the process console.
    static const ConsoleHooks& chosen = chooseProcessConsole();
    return chosen;
}

} // namespace ulo
