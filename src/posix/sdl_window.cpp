#include "posix/sdl_window.hpp"

#include "posix/sdl_icon.hpp"
#include "posix/sdl_keys.hpp"
#include "posix/sdl_sound.hpp"
#include "posix/termination_signals.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"

#include <SDL_syswm.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace ulo {
namespace {

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// SDL's choice among its video drivers, unless the user names one: the desktops this session
// has.
std::string desktopVideoDrivers() {
    std::string drivers;
    if (environmentSet("DISPLAY")) {
        drivers = "x11";
    }
    if (environmentSet("WAYLAND_DISPLAY")) {
        drivers += drivers.empty() ? "wayland" : ",wayland";
    }
    return drivers;
}

// The desktop going away ends Ulo as SIGHUP does, through the normal exit on the main thread.
// Xlib, on losing its server, calls its I/O error handler and then the connection's exit handler,
// whose default calls exit on whichever thread noticed (the window thread, whose join the exit
// routines would then wait for on itself). Here both only note the end and the loss; calls on the
// dead connection do nothing afterwards. Before the handlers Xlib locks the connection for the
// thread that noticed, for the exit it expects to follow on that thread: the exit handler gives
// the lock back, or the libraries' own exit code (the GL library's, closing what it knows of the
// connection) would wait for it forever on the main thread. SDL's second connection, through which
// other threads wake the window thread, keeps the default exit handler (SDL does not give it out):
// once the loss is noted nothing uses that connection any more, not even to close it.
using XlibIoErrorHandler = int (*)(void* display);
using XlibIoErrorExitHandler = void (*)(void* display, void* data);
using XlibUnlockDisplay = int (*)(void* display);

std::atomic<bool> desktopLost{false};
XlibUnlockDisplay unlockDisplay = nullptr;

void noteDesktopLost() {
    desktopLost.store(true);
    endAsIfSignalled(SIGHUP);
}

int desktopLostError(void*) {
    noteDesktopLost();
    return 0;
}

void desktopLostExit(void* display, void*) {
    noteDesktopLost();
    unlockDisplay(display);
}

// A request the server refused: Ulo makes none that may fail, so this is the server going away
// under it (a drawable destroyed before the connection closes). Xlib's default handler would exit
// on the window thread.
int desktopRefusedRequest(void*, void*) {
    noteDesktopLost();
    return 0;
}

// Installs the handlers on the X connection of `window`, through the Xlib that SDL loaded (none
// on other desktops, or with an Xlib too old to let a program outlive its server).
void watchForDesktopLoss(const SdlLibrary& sdl, SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl.SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    void* xlib = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (xlib == nullptr) {
        return;
    }
    using SetHandler = XlibIoErrorHandler (*)(XlibIoErrorHandler);
    using XlibErrorHandler = int (*)(void* display, void* error);
    using SetErrorHandler = XlibErrorHandler (*)(XlibErrorHandler);
    using SetExitHandler = void (*)(void*, XlibIoErrorExitHandler, void*);
    const auto setHandler = reinterpret_cast<SetHandler>(::dlsym(xlib, "XSetIOErrorHandler"));
    const auto setExitHandler =
        reinterpret_cast<SetExitHandler>(::dlsym(xlib, "XSetIOErrorExitHandler"));
    const auto setErrorHandler =
        reinterpret_cast<SetErrorHandler>(::dlsym(xlib, "XSetErrorHandler"));
    unlockDisplay = reinterpret_cast<XlibUnlockDisplay>(::dlsym(xlib, "XUnlockDisplay"));
    if (setHandler != nullptr && setExitHandler != nullptr && setErrorHandler != nullptr &&
        unlockDisplay != nullptr) {
        setErrorHandler(desktopRefusedRequest);
        setHandler(desktopLostError);
        setExitHandler(info.info.x11.display, desktopLostExit, nullptr);
    }
    ::dlclose(xlib); // SDL keeps it loaded
}

std::int32_t buttonBit(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return MOUSE_LEFT;
    case SDL_BUTTON_RIGHT:
        return MOUSE_RIGHT;
    case SDL_BUTTON_MIDDLE:
        return MOUSE_MIDDLE;
    default:
        return 0;
    }
}

void pointerMoved(const SdlDesktopWindow& w, int x, int y) {
    WindowState& state = windowState();
    const SDL_Rect& p = w.picture;
    state.pointerInside = x >= p.x && y >= p.y && x < p.x + p.w && y < p.y + p.h;
    state.pointerX = p.w > 0 ? (x - p.x) * state.width / p.w : 0;
    state.pointerY = p.h > 0 ? (y - p.y) * state.height / p.h : 0;
}

void windowEvent(SdlDesktopWindow& w, const SDL_WindowEvent& window) {
    WindowEvent event{};
    switch (window.event) {
    case SDL_WINDOWEVENT_CLOSE:
        event.kind = WindowEventKind::Close;
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        event.kind = WindowEventKind::Focus;
        event.active = window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        event.kind = WindowEventKind::Paint;
        break;
    case SDL_WINDOWEVENT_MAXIMIZED:
        // Maximizing the framed window asks for full screen; a window that covers the display
        // already is reported maximized as it appears, which asks for nothing.
        if (windowState().fullScreen()) {
            return;
        }
        event.kind = WindowEventKind::Maximize;
        break;
    case SDL_WINDOWEVENT_LEAVE:
        windowState().pointerInside = false;
        return;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // A new size needs the picture placed again and drawn whole.
        if (w.placePicture != nullptr) {
            w.placePicture();
        }
        event.kind = WindowEventKind::Paint;
        break;
    default:
        return;
    }
    handleWindowEvent(event);
}

} // namespace

bool sdlDisplayAvailable() {
    return environmentSet("SDL_VIDEODRIVER") || environmentSet("DISPLAY") ||
           environmentSet("WAYLAND_DISPLAY");
}

bool startSdlVideo(SdlDesktopWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    sdl.SDL_SetHint(SDL_HINT_VIDEODRIVER, desktopVideoDrivers().c_str());
    // Signals stay the program's own; SDL would turn them into quit events.
    sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl.SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (sdl.SDL_Init(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    w.arrow = sdl.SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    sdl.SDL_StartTextInput();
    const char* videoDriver = sdl.SDL_GetCurrentVideoDriver();
    w.waitsForEvents = videoDriver != nullptr && std::strcmp(videoDriver, "x11") == 0;
    w.onWayland = videoDriver != nullptr && std::strcmp(videoDriver, "wayland") == 0;
    return true;
}

bool sdlDesktopLost() {
    return desktopLost.load();
}

void stopSdlVideo(SdlDesktopWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    closeSdlSound(sdl);
    if (sdlDesktopLost()) {
        return; // the window system went with its server; closing it would only find it gone
    }
    if (w.arrow != nullptr) {
        sdl.SDL_FreeCursor(w.arrow);
        w.arrow = nullptr;
    }
    sdl.SDL_Quit();
}

void dressSdlWindow(SdlDesktopWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    SDL_Surface* icon = sdl.SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(programIcon()), SDL_ICON_SIZE, SDL_ICON_SIZE, 32,
        SDL_ICON_SIZE * 4, SDL_PIXELFORMAT_ARGB8888);
    if (icon != nullptr) {
        sdl.SDL_SetWindowIcon(w.window, icon);
        sdl.SDL_FreeSurface(icon);
    }
    if (w.arrow != nullptr) {
        sdl.SDL_SetCursor(w.arrow);
    }
    watchForDesktopLoss(sdl, w.window);
}

bool pumpSdlEvents(SdlDesktopWindow& w) {
    bool keysChanged = false;
    SDL_Event event;
    while (w.window != nullptr && w.sdl->SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
            sdlKeyPressed(w.lastKey, event.key.keysym);
            keysChanged = true;
            break;
        case SDL_KEYUP:
            keysChanged = true;
            break;
        case SDL_TEXTINPUT:
            sdlTextTyped(w.lastKey, event.text.text);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.windowID == w.sdl->SDL_GetWindowID(w.window)) {
                windowEvent(w, event.window);
                keysChanged = true;
            }
            break;
        case SDL_MOUSEMOTION:
            pointerMoved(w, event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            WindowEvent button{};
            button.kind = event.type == SDL_MOUSEBUTTONDOWN ? WindowEventKind::ButtonDown
                                                            : WindowEventKind::ButtonUp;
            button.button = buttonBit(event.button.button);
            handleWindowEvent(button);
            break;
        }
        case SDL_MOUSEWHEEL:
            if (event.wheel.y != 0) {
                WindowEvent wheel{};
                wheel.kind = WindowEventKind::Wheel;
                wheel.wheelDelta = event.wheel.y;
                handleWindowEvent(wheel);
            }
            break;
        case SDL_QUIT:
            // SDL's Wayland video sends it when the compositor goes away: the desktop is gone.
            // Elsewhere it asks nothing: only "exit" ends the program.
            if (w.onWayland) {
                noteDesktopLost();
            }
            break;
        default:
            break; // wake-ups
        }
    }
    return keysChanged;
}

void readSdlKeyState(const SdlLibrary& sdl, std::uint8_t* keyState) {
    int count = 0;
    const Uint8* pressed = sdl.SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count && scancode < SDL_NUM_SCANCODES; ++scancode) {
        const SdlKeyInfo info = describeScancode(static_cast<SDL_Scancode>(scancode));
        if (pressed[scancode] != 0 && info.scanCode != 0 && info.scanCode < 128) {
            keyState[info.scanCode] = 1;
        }
    }
}

void applySdlRequests(SdlDesktopWindow& w, WindowRequests& requests) {
    const SdlLibrary& sdl = *w.sdl;
    if (requests.newTitle) {
        sdl.SDL_SetWindowTitle(w.window, requests.title.c_str());
        requests.newTitle = false;
    }
    if (requests.warp) {
        sdl.SDL_WarpMouseInWindow(
            w.window, w.picture.x + requests.warpX * w.picture.w / windowState().width,
            w.picture.y + requests.warpY * w.picture.h / windowState().height);
        requests.warp = false;
    }
    if (requests.pointer >= 0) {
        sdl.SDL_ShowCursor(requests.pointer != 0 ? SDL_ENABLE : SDL_DISABLE);
        requests.pointer = -1;
    }
}

} // namespace ulo
