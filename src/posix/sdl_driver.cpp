#include "posix/sdl_driver.hpp"

#include "posix/sdl_keys.hpp"
#include "posix/sdl_library.hpp"
#include "posix/sdl_sound.hpp"
#include "terminal/blitters.hpp"
#include "terminal/codepage437.hpp"
#include "terminal/screen.hpp"
#include "terminal/text_cells.hpp"
#include "terminal/window_events.hpp"
#include "terminal/window_thread.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ulo {
namespace {

// Wheel messages are reported by every system this runs on.
constexpr std::uint32_t SYSTEM_VERSION = 0x0A00;

// The window and what presents it; made and destroyed on the window thread, under the screen
// lock.
struct SdlWindow {
    const SdlLibrary* sdl = nullptr;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Cursor* arrow = nullptr;
    Blitter blitter = nullptr;
    SDL_Rect picture{};           // where the framebuffer appears in the window
    int displayIndex = 0;         // the display the window is on, kept across a full-screen switch
    std::uint8_t lastKeyBase = 0; // the key last pressed: its own character
    std::uint16_t lastKeyModifiers = 0; // and the modifiers held with it
    bool waitsForEvents = false;        // the video driver sleeps on the desktop's connection
};

SdlWindow sdlWindowRecord;

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// A desktop to show a window on, or a video driver the user asked SDL for by name.
bool displayAvailable() {
    return environmentSet("SDL_VIDEODRIVER") || environmentSet("DISPLAY") ||
           environmentSet("WAYLAND_DISPLAY");
}

bool fullScreen() {
    return (windowState().flags & SCREEN_FULLSCREEN) != 0;
}

// ---- window set-up, on the window thread ----------------------------------------------------

// Where the 640 x 480 picture goes in an output of the given size: windowed it fills the window;
// full screen it is scaled by the largest whole factor that fits, centred, with black bars.
SDL_Rect placePicture(int outputWidth, int outputHeight) {
    const WindowState& state = windowState();
    const int scale = std::max(1, std::min(outputWidth / state.width, outputHeight / state.height));
    const int width = state.width * scale;
    const int height = state.height * scale;
    return {(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
}

// Places the picture in the window's present output size (the window system may change it after
// the window was made, as it does when it makes the window full screen).
void placePictureInWindow(SdlWindow& w) {
    int outputWidth = windowState().width;
    int outputHeight = windowState().height;
    w.sdl->SDL_GetRendererOutputSize(w.renderer, &outputWidth, &outputHeight);
    w.picture = placePicture(outputWidth, outputHeight);
}

void setIcon(SdlWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    SDL_Surface* icon = sdl.SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(programIcon()), SDL_ICON_SIZE, SDL_ICON_SIZE, 32,
        SDL_ICON_SIZE * 4, SDL_PIXELFORMAT_ARGB8888);
    if (icon != nullptr) {
        sdl.SDL_SetWindowIcon(w.window, icon);
        sdl.SDL_FreeSurface(icon);
    }
}

void sdlDestroyWindow() {
    SdlWindow& w = sdlWindowRecord;
    const SdlLibrary& sdl = *w.sdl;
    if (w.texture != nullptr) {
        sdl.SDL_DestroyTexture(w.texture);
        w.texture = nullptr;
    }
    if (w.renderer != nullptr) {
        sdl.SDL_DestroyRenderer(w.renderer);
        w.renderer = nullptr;
    }
    if (w.window != nullptr) {
        w.displayIndex = std::max(sdl.SDL_GetWindowDisplayIndex(w.window), 0);
        sdl.SDL_DestroyWindow(w.window);
        w.window = nullptr;
    }
    w.blitter = nullptr;
}

// Makes the window: framed, not resizable, its client area exactly the framebuffer's size and
// centred on its display; or, full screen, a borderless window covering the display, which the
// desktop also knows as full screen. Then its renderer and a streaming texture of 32-bit
// red-first pixels that the dirty rows are converted into.
std::int32_t sdlCreateWindow() {
    SdlWindow& w = sdlWindowRecord;
    const SdlLibrary& sdl = *w.sdl;
    WindowState& state = windowState();
    SDL_Rect bounds{};
    if (fullScreen() && sdl.SDL_GetDisplayBounds(w.displayIndex, &bounds) == 0) {
        w.window = sdl.SDL_CreateWindow(state.title, bounds.x, bounds.y, bounds.w, bounds.h,
                                        SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS |
                                            SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(w.displayIndex));
        w.window = sdl.SDL_CreateWindow(state.title, centred, centred, state.width, state.height,
                                        SDL_WINDOW_SHOWN);
    }
    if (w.window == nullptr) {
        return -1;
    }
    setIcon(w);
    w.renderer = sdl.SDL_CreateRenderer(w.window, -1, 0);
    if (w.renderer == nullptr) {
        return -1;
    }
    w.texture = sdl.SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STREAMING, state.width, state.height);
    ScreenState* screen = activeScreen();
    if (w.texture == nullptr || screen == nullptr) {
        return -1;
    }
    w.blitter = chooseBlitter(*screen, 32, false);
    if (w.blitter == nullptr) {
        return -1;
    }
    placePictureInWindow(w);
    SDL_DisplayMode display{};
    const int displayIndex = sdl.SDL_GetWindowDisplayIndex(w.window);
    if (displayIndex >= 0 && sdl.SDL_GetCurrentDisplayMode(displayIndex, &display) == 0) {
        screen->refreshRate = display.refresh_rate;
    }
    if (w.arrow != nullptr) {
        sdl.SDL_SetCursor(w.arrow);
    }
    sdl.SDL_RaiseWindow(w.window);
    markAllDirty(*screen);
    return 0;
}

// ---- presentation and events, on the window thread ---------------------------------------

// Converts window lines first .. end - 1 into the texture and shows the texture. A locked
// streaming texture need not keep its old pixels, so the band is converted whole.
bool sdlPresent(ScreenState& screen, std::int32_t first, std::int32_t end) {
    SdlWindow& w = sdlWindowRecord;
    if (w.texture == nullptr || w.blitter == nullptr) {
        return false;
    }
    const SdlLibrary& sdl = *w.sdl;
    const SDL_Rect band{0, first, windowState().width, end - first};
    void* pixels = nullptr;
    int pitch = 0;
    if (sdl.SDL_LockTexture(w.texture, &band, &pixels, &pitch) != 0) {
        return false;
    }
    // The converter writes framebuffer row y at destination + y * scanline size * pitch; the
    // locked memory begins with window line `first`.
    auto* rowZero = reinterpret_cast<std::uint8_t*>(reinterpret_cast<std::uintptr_t>(pixels) -
                                                    static_cast<std::uintptr_t>(first) *
                                                        static_cast<std::uintptr_t>(pitch));
    w.blitter(screen, rowZero, pitch);
    sdl.SDL_UnlockTexture(w.texture);
    sdl.SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    sdl.SDL_RenderClear(w.renderer);
    if (sdl.SDL_RenderCopy(w.renderer, w.texture, nullptr, &w.picture) != 0) {
        return false;
    }
    sdl.SDL_RenderPresent(w.renderer);
    return true;
}

// Byte n of the key state is 1 while the key with scan code n is held.
void sdlReadKeyState(std::uint8_t* keyState) {
    int count = 0;
    const Uint8* pressed = sdlWindowRecord.sdl->SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count && scancode < SDL_NUM_SCANCODES; ++scancode) {
        const SdlKeyInfo info = describeScancode(static_cast<SDL_Scancode>(scancode));
        if (pressed[scancode] != 0 && info.scanCode != 0 && info.scanCode < 128) {
            keyState[info.scanCode] = 1;
        }
    }
}

void sdlApplyRequests(WindowRequests& requests) {
    SdlWindow& w = sdlWindowRecord;
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

bool altHeld(std::uint16_t modifiers) {
    return (modifiers & KMOD_ALT) != 0;
}

void keyPressed(SdlWindow& w, const SDL_KeyboardEvent& key) {
    const SdlKeyInfo info = describeScancode(key.keysym.scancode);
    const auto modifiers = static_cast<std::uint16_t>(key.keysym.mod);
    const SDL_Keycode keycode = key.keysym.sym;
    WindowEvent event{};
    event.kind = altHeld(modifiers) || info.virtualKey == VIRTUAL_KEY_F10
                     ? WindowEventKind::SystemKeyDown
                     : WindowEventKind::KeyDown;
    event.character = typedCharacter(keycode, modifiers);
    event.scanCode = info.scanCode;
    event.baseCharacter = baseCharacter(keycode);
    event.virtualKey = info.virtualKey;
    event.controlKeyState = controlKeyState(modifiers, info.enhanced);
    event.altHeld = altHeld(modifiers);
    // Enter, Backspace, Tab, Escape and Ctrl with a letter never arrive as text.
    event.unsentCharacter = controlCharacter(keycode, modifiers);
    w.lastKeyBase = event.baseCharacter;
    w.lastKeyModifiers = modifiers;
    handleWindowEvent(event);
}

// Text follows the key press that typed it, so that press tells whether a modifier made it a
// key combination instead.
void textTyped(SdlWindow& w, const char* text) {
    for (const char byte : utf8ToCp437(text)) {
        const auto code = static_cast<std::uint8_t>(byte);
        if (code < 32 || textInputSuppressed(w.lastKeyModifiers, code, w.lastKeyBase)) {
            continue;
        }
        WindowEvent typed{};
        typed.kind = WindowEventKind::Character;
        typed.code = code;
        handleWindowEvent(typed);
    }
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

void pointerMoved(SdlWindow& w, int x, int y) {
    WindowState& state = windowState();
    const SDL_Rect& p = w.picture;
    state.pointerInside = x >= p.x && y >= p.y && x < p.x + p.w && y < p.y + p.h;
    state.pointerX = p.w > 0 ? (x - p.x) * state.width / p.w : 0;
    state.pointerY = p.h > 0 ? (y - p.y) * state.height / p.h : 0;
}

void windowEvent(SdlWindow& w, const SDL_WindowEvent& window) {
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
        if (fullScreen()) {
            return;
        }
        event.kind = WindowEventKind::Maximize;
        break;
    case SDL_WINDOWEVENT_LEAVE:
        windowState().pointerInside = false;
        return;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // A new size needs the picture placed again and drawn whole.
        placePictureInWindow(w);
        event.kind = WindowEventKind::Paint;
        break;
    default:
        return;
    }
    handleWindowEvent(event);
}

// Sleeps until the desktop sends the window an event, a wake-up event is pushed, or the time is
// up; the events stay queued for sdlPumpEvents. SDL's x11 video driver sleeps on the desktop's
// connection; on the others (Wayland is untried) SDL would look every millisecond, so the window
// thread waits on its own.
bool sdlWaitEvents(std::int32_t milliseconds) {
    SdlWindow& w = sdlWindowRecord;
    if (!w.waitsForEvents || w.window == nullptr) {
        return false;
    }
    w.sdl->SDL_WaitEventTimeout(nullptr, milliseconds);
    return true;
}

// Any thread: an event of the program's own, which ends a wait on the desktop's connection and
// is then drained with the others.
void sdlWake() {
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    sdlWindowRecord.sdl->SDL_PushEvent(&event);
}

// Drains the window's events through the window procedure; never waits for one. True when a
// key went down or up or the window changed (its focus among others).
bool sdlPumpEvents() {
    SdlWindow& w = sdlWindowRecord;
    bool keysChanged = false;
    SDL_Event event;
    while (w.window != nullptr && w.sdl->SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
            keyPressed(w, event.key);
            keysChanged = true;
            break;
        case SDL_KEYUP:
            keysChanged = true;
            break;
        case SDL_TEXTINPUT:
            textTyped(w, event.text.text);
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
        default:
            break; // wake-ups; quit requests too: only "exit" ends the program
        }
    }
    return keysChanged;
}

// SDL's choice among its video drivers, unless the user names one: the desktops this session
// has, so that without one the window fails at once instead of drawing nowhere.
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

bool sdlStart() {
    SdlWindow& w = sdlWindowRecord;
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
    return true;
}

void sdlStop() {
    SdlWindow& w = sdlWindowRecord;
    const SdlLibrary& sdl = *w.sdl;
    closeSdlSound(sdl);
    if (w.arrow != nullptr) {
        sdl.SDL_FreeCursor(w.arrow);
        w.arrow = nullptr;
    }
    sdl.SDL_Quit();
}

const char* sdlErrorText() {
    return sdlWindowRecord.sdl->SDL_GetError();
}

void sdlPlayTone(std::int32_t frequency, std::int32_t milliseconds) {
    playSdlTone(*sdlWindowRecord.sdl, frequency, milliseconds);
}

constexpr WindowPresenter SDL_PRESENTER = {
    .start = sdlStart,
    .stop = sdlStop,
    .createWindow = sdlCreateWindow,
    .destroyWindow = sdlDestroyWindow,
    .present = sdlPresent,
    .pumpEvents = sdlPumpEvents,
    .readKeyState = sdlReadKeyState,
    .applyRequests = sdlApplyRequests,
    .errorText = sdlErrorText,
    .beep = sdlPlayTone,
    .waitEvents = sdlWaitEvents,
    .wake = sdlWake,
};

// ---- the driver's operations, on the main thread ----------------------------------------------

std::int32_t sdlInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(title, width, height, depth, refreshRate, flags, SYSTEM_VERSION);
    if ((flags >= 0 && (flags & SCREEN_OPENGL) != 0) || !displayAvailable()) {
        return -1;
    }
    const SdlLibrary* sdl = loadSdlLibrary();
    if (sdl == nullptr) {
        noteWindowFailure("SDL", sdlLibraryError());
        return -1;
    }
    sdlWindowRecord = SdlWindow{};
    sdlWindowRecord.sdl = sdl;
    return startWindowThread(SDL_PRESENTER, "SDL");
}

} // namespace

void sdlBeep(std::int32_t frequency, std::int32_t milliseconds) {
    requestWindowBeep(frequency, milliseconds);
}

std::uint32_t sdlWindowId() {
    const WindowThreadLock lock;
    const SdlWindow& w = sdlWindowRecord;
    return w.window != nullptr ? w.sdl->SDL_GetWindowID(w.window) : 0;
}

const DisplayDriver SDL_DISPLAY_DRIVER = {
    .name = "SDL",
    .init = sdlInit,
    .shutdown = stopWindowThread,
    .lock = lockWindow,
    .unlock = unlockWindow,
    .setPalette = setWindowPalette,
    .getMouse = readWindowMouse,
    .setMouse = placeWindowMouse,
    .waitVsync = waitWindowVsync,
    .setWindowTitle = setWindowTitle,
};

} // namespace ulo
