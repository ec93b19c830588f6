// What the Windows session tests ask of the desktop under Wine: the screen saver's switch, read
// or turned on, and the end of the user's session told to Ulo's window as the system tells it.
//
//   ulo_session_end screen-saver       prints on or off
//   ulo_session_end screen-saver-on    switches it on
//   ulo_session_end end-session        WM_QUERYENDSESSION, then WM_ENDSESSION, to Ulo's window;
//                                      returns once the window has handled both
#include <cstdio>
#include <cstring>
#include <windows.h>

namespace {

// Ulo's window: its class is named after the window's title.
BOOL CALLBACK findUloWindow(HWND window, LPARAM found) {
    char name[64] = {};
    if (::GetClassNameA(window, name, sizeof name) > 0 &&
        std::strncmp(name, "vxgfxclass_", 11) == 0 && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

int endSession() {
    HWND window = nullptr;
    ::EnumWindows(findUloWindow, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr) {
        std::fprintf(stderr, "no window of Ulo\n");
        return 1;
    }
    const LRESULT mayEnd = ::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    if (mayEnd == FALSE) {
        std::fprintf(stderr, "the window refused the end of the session\n");
        return 1;
    }
    ::SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* what = argc == 2 ? argv[1] : "";
    if (std::strcmp(what, "screen-saver") == 0) {
        BOOL active = FALSE;
        if (!::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
            return 1;
        }
        std::printf("%s\n", active ? "on" : "off");
        return 0;
    }
    if (std::strcmp(what, "screen-saver-on") == 0) {
        return ::SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0) ? 0 : 1;
    }
    if (std::strcmp(what, "end-session") == 0) {
        return endSession();
    }
    std::fprintf(stderr, "usage: ulo_session_end screen-saver | screen-saver-on | end-session\n");
    return 2;
}
