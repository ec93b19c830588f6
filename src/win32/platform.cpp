// The platform record of Windows.
#include "win32/windows_platform.hpp"

#include "screen/display_driver.hpp"
#include "win32/directx_driver.hpp"
#include "win32/end_requests.hpp"
#include "win32/text_encoding.hpp"

#include <thread>
#include <vector>
#include <windows.h>

namespace ulo {
namespace {

// The drivers in the order they are tried: DirectDraw where it starts, else plain GDI; OpenGL
// only for programs that ask for it.
constexpr const DisplayDriver* WINDOWS_DISPLAY_DRIVERS[] = {
    &DIRECTX_DISPLAY_DRIVER, &GDI_DISPLAY_DRIVER, &WGL_DISPLAY_DRIVER};

} // namespace

std::string windowsProgramFilePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const auto size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            return utf8FromWide(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2); // cut short: again with more room
    }
}

namespace {

// The bell's tone. Beep plays it to the end before it returns, so it plays on a thread of its
// own.
void windowsBeep(std::int32_t frequency, std::int32_t milliseconds) {
    std::thread([frequency, milliseconds] {
        ::Beep(static_cast<DWORD>(frequency), static_cast<DWORD>(milliseconds));
    }).detach();
}

constexpr const char* WINDOWS_SCREEN_HELP =
    R"(Ulo opens its own window, drawn through DirectDraw, or through GDI where
DirectDraw cannot start; Alt+Enter switches to full screen and back. Without a
window it talks through the console it was started in. The environment variable
VXGFX chooses the screen: DirectX (or unset), GDI, or null for no screen at all
(nothing shown, no keys).)";

} // namespace

const Platform& nativePlatform() {
    // Made on first use: the pieces come from other files, whose tables are set up by then.
    static const Platform windows = {
        .name = "Windows",
        .clock = WINDOWS_CLOCK,
        .startRuntime = windowsStartRuntime,
        .fileSystem = &WINDOWS_FILE_SYSTEM,
        .processConsole = windowsProcessConsole,
        .displayDrivers = WINDOWS_DISPLAY_DRIVERS,
        .programFilePath = windowsProgramFilePath,
        .beep = windowsBeep,
        .pendingEnd = pendingEndCode,
        .screenHelp = WINDOWS_SCREEN_HELP,
        .endHelp = "0xC000013A when Ctrl+C, Ctrl+Break or closing the console ends it.",
    };
    return windows;
}

} // namespace ulo
