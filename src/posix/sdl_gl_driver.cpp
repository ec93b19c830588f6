#include "posix/sdl_gl_driver.hpp"

#include "posix/sdl_library.hpp"
#include "posix/sdl_window.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ulo {
namespace {

constexpr const char* DRIVER_NAME = "OpenGL";
// Wheel messages are reported by every system this runs on.
constexpr std::uint32_t SYSTEM_VERSION = 0x0A00;
// The depth buffer asked for, then the closest ones the display may have instead: not every
// display offers 32 bits (many have no 32-bit depth buffer beside a stencil buffer).
constexpr int DEPTH_BITS[] = {32, 24, 16};
constexpr int STENCIL_BITS = 8;
constexpr int ACCUM_BITS_PER_CHANNEL = 8; // 32 accumulation bits in all

// The window, its context and what the driver's operations hand out; everything is made and
// used on the thread that set the mode.
struct GlWindow {
    SdlDesktopWindow desktop;
    SDL_GLContext context = nullptr;
    bool videoStarted = false;
    bool displayModeSet = false;     // the window is full screen in a display mode of its size
    std::vector<std::int32_t> modes; // the last fetchModes answer
};

GlWindow glWindow;

int windowDisplay(const GlWindow& g) {
    return std::max(g.desktop.sdl->SDL_GetWindowDisplayIndex(g.desktop.window), 0);
}

// The framebuffer's coordinates cover the whole window: its size windowed, the display mode's
// full screen.
void placeGlPicture() {
    SdlDesktopWindow& w = glWindow.desktop;
    int width = windowState().width;
    int height = windowState().height;
    w.sdl->SDL_GetWindowSize(w.window, &width, &height);
    w.picture = {0, 0, width, height};
}

// The pixel format for the next window: double-buffered RGB with `depth` bits per pixel (5-6-5
// up to 16, else 8 bits a colour), `depthBits` of depth buffer, and the stencil and accumulation
// buffers the flags ask for.
void askForPixelFormat(const SdlLibrary& sdl, int depthBits) {
    const WindowState& state = windowState();
    const bool highColour = state.depth > 16;
    sdl.SDL_GL_ResetAttributes();
    sdl.SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    sdl.SDL_GL_SetAttribute(SDL_GL_RED_SIZE, highColour ? 8 : 5);
    sdl.SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, highColour ? 8 : 6);
    sdl.SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, highColour ? 8 : 5);
    sdl.SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    if ((state.flags & SCREEN_STENCIL_BUFFER) != 0) {
        sdl.SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, STENCIL_BITS);
    }
    if ((state.flags & SCREEN_ACCUM_BUFFER) != 0) {
        for (const SDL_GLattr channel : {SDL_GL_ACCUM_RED_SIZE, SDL_GL_ACCUM_GREEN_SIZE,
                                         SDL_GL_ACCUM_BLUE_SIZE, SDL_GL_ACCUM_ALPHA_SIZE}) {
            sdl.SDL_GL_SetAttribute(channel, ACCUM_BITS_PER_CHANNEL);
        }
    }
}

// Makes the hidden window with the first pixel format the display has, then its context, which
// becomes current on this thread.
bool makeWindowAndContext(GlWindow& g) {
    const SdlLibrary& sdl = *g.desktop.sdl;
    const WindowState& state = windowState();
    const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED);
    for (const int depthBits : DEPTH_BITS) {
        askForPixelFormat(sdl, depthBits);
        g.desktop.window =
            sdl.SDL_CreateWindow(state.title, centred, centred, state.width, state.height,
                                 SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (g.desktop.window != nullptr) {
            break;
        }
    }
    if (g.desktop.window == nullptr) {
        return false;
    }
    dressSdlWindow(g.desktop);
    g.context = sdl.SDL_GL_CreateContext(g.desktop.window);
    return g.context != nullptr;
}

// Full screen: the display switched to a mode of exactly the window's size, which the window
// then covers; a display without one refuses. The window system decides the display's depth.
std::int32_t enterDisplayMode(GlWindow& g) {
    const SdlLibrary& sdl = *g.desktop.sdl;
    const WindowState& state = windowState();
    const SDL_DisplayMode wanted{0, state.width, state.height, state.refreshRate, nullptr};
    SDL_DisplayMode mode{};
    if (sdl.SDL_GetClosestDisplayMode(windowDisplay(g), &wanted, &mode) == nullptr ||
        mode.w != state.width || mode.h != state.height) {
        return -1;
    }
    if (sdl.SDL_SetWindowDisplayMode(g.desktop.window, &mode) != 0) {
        return -1;
    }
    sdl.SDL_ShowWindow(g.desktop.window);
    if (sdl.SDL_SetWindowFullscreen(g.desktop.window, SDL_WINDOW_FULLSCREEN) != 0) {
        return -1;
    }
    g.displayModeSet = true;
    return 0;
}

// Shows the window made by init in the presentation the flags ask for: framed with a client area
// of the framebuffer's size, centred; or full screen in a display mode of that size.
std::int32_t glCreateWindow() {
    GlWindow& g = glWindow;
    if (g.desktop.window == nullptr) {
        return -1;
    }
    const SdlLibrary& sdl = *g.desktop.sdl;
    WindowState& state = windowState();
    sdl.SDL_HideWindow(g.desktop.window);
    if (state.fullScreen()) {
        if (enterDisplayMode(g) != 0) {
            return -1;
        }
    } else {
        const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(windowDisplay(g)));
        sdl.SDL_SetWindowSize(g.desktop.window, state.width, state.height);
        sdl.SDL_SetWindowPosition(g.desktop.window, centred, centred);
        sdl.SDL_ShowWindow(g.desktop.window);
    }
    sdl.SDL_RaiseWindow(g.desktop.window);
    state.active = true;
    placeGlPicture();
    SDL_DisplayMode display{};
    if (ScreenState* screen = activeScreen();
        screen != nullptr && sdl.SDL_GetCurrentDisplayMode(windowDisplay(g), &display) == 0) {
        screen->refreshRate = display.refresh_rate;
    }
    return 0;
}

// Leaves the full-screen display mode; the window and its context stay for the next
// glCreateWindow.
void glDestroyWindow() {
    GlWindow& g = glWindow;
    if (g.displayModeSet) {
        g.desktop.sdl->SDL_SetWindowFullscreen(g.desktop.window, 0);
        g.displayModeSet = false;
    }
}

void glShutdown() {
    GlWindow& g = glWindow;
    if (g.desktop.sdl != nullptr && g.videoStarted) {
        const SdlLibrary& sdl = *g.desktop.sdl;
        if (g.context != nullptr) {
            sdl.SDL_GL_MakeCurrent(g.desktop.window, nullptr);
            sdl.SDL_GL_DeleteContext(g.context);
        }
        if (g.desktop.window != nullptr) {
            glDestroyWindow();
            sdl.SDL_DestroyWindow(g.desktop.window);
        }
        // Unloads the OpenGL library too.
        stopSdlVideo(g.desktop);
    }
    g = GlWindow{};
    windowState().initialised = false;
}

void glApplyRequests(WindowRequests& requests) {
    applySdlRequests(glWindow.desktop, requests);
}

constexpr WindowPresenter GL_PRESENTER = {
    .createWindow = glCreateWindow,
    .destroyWindow = glDestroyWindow,
    .applyRequests = glApplyRequests,
};

std::int32_t glInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                    std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(GL_PRESENTER, title, width, height, depth, refreshRate, flags,
                       SYSTEM_VERSION);
    if (flags < 0 || (flags & SCREEN_OPENGL) == 0 || !sdlDisplayAvailable()) {
        return -1;
    }
    const SdlLibrary* sdl = loadSdlLibrary();
    if (sdl == nullptr) {
        noteWindowFailure(DRIVER_NAME, sdlLibraryError());
        return -1;
    }
    GlWindow& g = glWindow;
    g = GlWindow{};
    g.desktop.sdl = sdl;
    g.desktop.placePicture = placeGlPicture;
    windowState().initialised = true;
    g.videoStarted = startSdlVideo(g.desktop);
    if (!g.videoStarted || !makeWindowAndContext(g)) {
        noteWindowFailure(DRIVER_NAME, sdl->SDL_GetError());
        return -1;
    }
    if (glCreateWindow() != 0) {
        noteWindowFailure(DRIVER_NAME, windowState().fullScreen()
                                           ? "no display mode of the window's size"
                                           : sdl->SDL_GetError());
        return -1;
    }
    return 0;
}

// The caller's frame is done: the window's events go through the window procedure, the key state
// follows them while the window has the focus, and the frame is shown.
void glFlip() {
    GlWindow& g = glWindow;
    if (g.desktop.window == nullptr) {
        return;
    }
    pumpSdlEvents(g.desktop);
    ScreenState* screen = activeScreen();
    if (windowState().active && screen != nullptr) {
        std::memset(screen->keyState.get(), 0, KEY_STATE_SIZE);
        readSdlKeyState(*g.desktop.sdl, screen->keyState.get());
    }
    g.desktop.sdl->SDL_GL_SwapWindow(g.desktop.window);
}

// The number of bits a display mode gives a pixel, 15 for 5-5-5 and 32 for 8 bits a colour
// padded to 4 bytes.
std::int32_t modeDepth(std::uint32_t format) {
    return SDL_BITSPERPIXEL(format) == 15
               ? 15
               : static_cast<std::int32_t>(SDL_BYTESPERPIXEL(format)) * 8;
}

// The sizes of the display's modes at `depth` while the window is up (none otherwise), each
// once, largest first.
const std::int32_t* glFetchModes(std::int32_t depth, std::int32_t* count) {
    GlWindow& g = glWindow;
    g.modes.clear();
    if (g.desktop.window != nullptr) {
        const SdlLibrary& sdl = *g.desktop.sdl;
        const int display = windowDisplay(g);
        const int modes = sdl.SDL_GetNumDisplayModes(display);
        for (int i = 0; i < modes; ++i) {
            SDL_DisplayMode mode{};
            if (sdl.SDL_GetDisplayMode(display, i, &mode) != 0 || modeDepth(mode.format) != depth) {
                continue;
            }
            const std::int32_t size = mode.w * 65536 + mode.h;
            if (std::find(g.modes.begin(), g.modes.end(), size) == g.modes.end()) {
                g.modes.push_back(size);
            }
        }
    }
    return answerModes(g.modes, count);
}

} // namespace

const DisplayDriver SDL_GL_DISPLAY_DRIVER =
    ownWindowDriver(DRIVER_NAME, glInit, glShutdown, glFetchModes, glFlip);

} // namespace ulo
