// The process console on Windows.
//
// Not built yet: the Win32 console and the scripted mode over pipes come with the shared console
// grid. Until then the process console has no device, as if both standard streams were the null
// device: what is printed goes nowhere and the input has ended, so Ulo run without a window ends
// at once through its normal exit.
#include "console/console_hooks.hpp"
#include "console/line_editor.hpp"
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

constexpr ConsoleHooks makeNoDeviceHooks() {
    ConsoleHooks hooks{};
    hooks.readKey = noKey;
    hooks.waitKey = endOfInput;
    hooks.keyAvailable = inputEnded;
    hooks.clear = ignoreClear;
    hooks.setCursor = firstCell;
    hooks.getColumn = firstColumn;
    hooks.getRow = firstColumn;
    hooks.getCursor = firstCellOut;
    hooks.getTextSize = standardSize;
    hooks.printBuffer = ignorePrint;
    hooks.viewUpdate = ignoreView;
    hooks.inputLine = runInputLine;
    return hooks;
}
constexpr ConsoleHooks NO_DEVICE_HOOKS = makeNoDeviceHooks();

} // namespace

const ConsoleHooks& windowsProcessConsole() {
    return NO_DEVICE_HOOKS;
}

} // namespace ulo
