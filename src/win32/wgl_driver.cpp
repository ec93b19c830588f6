// The display driver for programs that draw with OpenGL themselves (SCREEN_OPENGL): a window of
// Ulo's window class with an OpenGL context, made, used and destroyed on the thread that sets
// the mode, with no window thread. The framebuffer is not shown; the program draws into the
// context and calls flip, which refreshes the held keys, takes the window's messages through
// the window procedure and swaps the buffers.
#include "screen/screen.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "win32/opengl_library.hpp"
#include "win32/window_keys.hpp"
#include "win32/window_procedure.hpp"
#include "win32/windows_platform.hpp"

#include <vector>

namespace ulo {
namespace {

constexpr const char* DRIVER_NAME = "OpenGL";
// The window as init first makes it, before it is placed for the presentation asked for.
constexpr DWORD FIRST_STYLE = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                              WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr int FIRST_WIDTH = 320;
constexpr int FIRST_HEIGHT = 200;
constexpr DWORD FULL_SCREEN_STYLE = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD FRAME_STYLE =
    WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Everything the driver made, on the thread that set the mode.
struct WglWindow {
    bool classOpen = false;
    OpenGlLibrary gl;
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    bool displayChanged = false;     // the display is in the full-screen window's mode
    std::vector<std::int32_t> modes; // the last fetchModes answer
};

WglWindow wglWindow;

// Full screen: the display switched to the window's size at its depth, refused when the display
// has no such mode.
bool enterDisplayMode() {
    const WindowState& state = windowState();
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(state.width);
    mode.dmPelsHeight = static_cast<DWORD>(state.height);
    mode.dmBitsPerPel = static_cast<DWORD>(state.depth);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    if (::ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
        return false;
    }
    wglWindow.displayChanged = true;
    return true;
}

// Restyles and places the window init made for the presentation the flags ask for: a topmost
// popup over the whole display in the window's own display mode, or a framed window with a
// client area of the framebuffer's size, centred. The window is shown without being activated,
// then brought to the foreground.
std::int32_t wglCreateWindow() {
    WglWindow& g = wglWindow;
    WindowState& state = windowState();
    if (g.window == nullptr) {
        return -1;
    }
    ::ShowWindow(g.window, SW_HIDE);
    DWORD style = FRAME_STYLE;
    RECT outer{0, 0, state.width, state.height};
    HWND order = HWND_NOTOPMOST;
    if (state.fullScreen()) {
        if (!enterDisplayMode()) {
            return -1;
        }
        style = FULL_SCREEN_STYLE;
        order = HWND_TOPMOST;
    } else {
        if ((state.flags & SCREEN_NO_SWITCH) == 0) {
            style |= WS_MAXIMIZEBOX;
        }
        outer = centredFrame(style);
    }
    ::SetWindowLongPtrW(g.window, GWL_STYLE, static_cast<LONG_PTR>(style));
    ::SetWindowPos(g.window, order, outer.left, outer.top, outer.right - outer.left,
                   outer.bottom - outer.top, SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_FRAMECHANGED);
    ::SetForegroundWindow(g.window);
    state.active = true;
    if (ScreenState* screen = activeScreen()) {
        screen->refreshRate = g.dc != nullptr ? ::GetDeviceCaps(g.dc, VREFRESH) : 0;
    }
    return 0;
}

// Leaves the full-screen display mode; the window and its context stay for the next
// wglCreateWindow.
void wglDestroyWindow() {
    if (wglWindow.displayChanged) {
        ::ChangeDisplaySettingsA(nullptr, 0);
        wglWindow.displayChanged = false;
    }
}

// The window's device context with the pixel format, and a context made current on this thread.
bool makeContext(WglWindow& g) {
    const WindowState& state = windowState();
    g.dc = ::GetDC(g.window);
    if (g.dc == nullptr) {
        return false;
    }
    const PIXELFORMATDESCRIPTOR wanted = openGlPixelFormat(state.depth, state.flags);
    const int format = choosePixelFormat(g.dc, wanted);
    if (format == 0 || !::SetPixelFormat(g.dc, format, &wanted)) {
        return false;
    }
    g.context = g.gl.createContext(g.dc);
    return g.context != nullptr && g.gl.makeCurrent(g.dc, g.context);
}

void wglShutdown() {
    WglWindow& g = wglWindow;
    if (g.context != nullptr) {
        g.gl.makeCurrent(nullptr, nullptr);
        g.gl.deleteContext(g.context);
    }
    if (g.dc != nullptr) {
        ::ReleaseDC(g.window, g.dc);
    }
    wglDestroyWindow();
    if (g.window != nullptr) {
        ::DestroyWindow(g.window);
    }
    unloadOpenGl(g.gl);
    if (g.classOpen) {
        closeWindowClass();
    }
    g = WglWindow{};
    windowState().initialised = false;
}

// Fails, with the reason noted, where init cannot go on.
std::int32_t refuse(const char* reason) {
    noteWindowFailure(DRIVER_NAME, reason);
    return -1;
}

// Title and pointer requests are carried out at once; showing and hiding the pointer goes through
// the window procedure like the other drivers', at the next flip.
void wglApplyRequests(WindowRequests& requests) {
    applyWindowRequests(wglWindow.window, windowState().fullScreen(), requests);
}

constexpr WindowPresenter WGL_PRESENTER = {
    .createWindow = wglCreateWindow,
    .destroyWindow = wglDestroyWindow,
    .applyRequests = wglApplyRequests,
};

std::int32_t wglInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(WGL_PRESENTER, title, width, height, depth, refreshRate, flags,
                       windowsVersionWord());
    if (flags < 0 || (flags & SCREEN_OPENGL) == 0) {
        return -1;
    }
    WglWindow& g = wglWindow;
    g = WglWindow{};
    WindowState& state = windowState();
    g.classOpen = openWindowClass();
    if (!g.classOpen) {
        return refuse("the window class could not be registered");
    }
    state.initialised = true;
    if (!loadOpenGl(g.gl)) {
        return refuse("opengl32.dll or one of its context functions is missing");
    }
    g.window = makeClassWindow(FIRST_STYLE, RECT{0, 0, FIRST_WIDTH, FIRST_HEIGHT});
    if (g.window == nullptr) {
        return refuse("the window could not be made");
    }
    if (wglCreateWindow() != 0) {
        return refuse("the display has no mode of the window's size");
    }
    if (!makeContext(g)) {
        return refuse("no OpenGL context with that pixel format");
    }
    return 0;
}

// The caller's frame is done: the held keys are read while the window has the focus, the
// window's messages go through the window procedure, and the frame is shown.
void wglFlip() {
    WglWindow& g = wglWindow;
    if (g.window == nullptr) {
        return;
    }
    ScreenState* screen = activeScreen();
    if (windowState().active && screen != nullptr) {
        readHeldKeys(screen->keyState.get());
    }
    pumpWindowMessages(g.window);
    ::SwapBuffers(g.dc);
}

// The display's sizes at `depth`, whether or not the window is up.
const std::int32_t* wglFetchModes(std::int32_t depth, std::int32_t* count) {
    WglWindow& g = wglWindow;
    g.modes = displayModeSizes(depth);
    return answerModes(g.modes, count);
}

} // namespace

const DisplayDriver WGL_DISPLAY_DRIVER =
    ownWindowDriver(DRIVER_NAME, wglInit, wglShutdown, wglFetchModes, wglFlip);

} // namespace ulo
