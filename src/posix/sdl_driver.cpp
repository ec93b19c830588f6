#include "posix/sdl_driver.hpp"

#include "posix/sdl_library.hpp"
#include "posix/sdl_sound.hpp"
#include "posix/sdl_window.hpp"
#include "screen/blitters.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"

#include <algorithm>
#include <cstdint>

namespace ulo {
namespace {

// Wheel messages are reported by every system this runs on.
constexpr std::uint32_t SYSTEM_VERSION = 0x0A00;

// The window and what presents it; made and destroyed on the window thread, under the screen
// lock.
struct SdlWindow {
    SdlDesktopWindow desktop; // the window, where the framebuffer appears in it, its events
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    Blitter blitter = nullptr;
    int displayIndex = 0; // the display the window is on, kept across a full-screen switch
};

SdlWindow sdlWindowRecord;

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
void placePictureInWindow() {
    SdlWindow& w = sdlWindowRecord;
    int outputWidth = windowState().width;
    int outputHeight = windowState().height;
    w.desktop.sdl->SDL_GetRendererOutputSize(w.renderer, &outputWidth, &outputHeight);
    w.desktop.picture = placePicture(outputWidth, outputHeight);
}

void sdlDestroyWindow() {
    SdlWindow& w = sdlWindowRecord;
    const SdlLibrary& sdl = *w.desktop.sdl;
    if (sdlDesktopLost()) {
        // Gone with the desktop: SDL would wait forever for the window system to confirm.
        w.texture = nullptr;
        w.renderer = nullptr;
        w.desktop.window = nullptr;
        w.blitter = nullptr;
        return;
    }
    if (w.texture != nullptr) {
        sdl.SDL_DestroyTexture(w.texture);
        w.texture = nullptr;
    }
    if (w.renderer != nullptr) {
        sdl.SDL_DestroyRenderer(w.renderer);
        w.renderer = nullptr;
    }
    if (w.desktop.window != nullptr) {
        w.displayIndex = std::max(sdl.SDL_GetWindowDisplayIndex(w.desktop.window), 0);
        sdl.SDL_DestroyWindow(w.desktop.window);
        w.desktop.window = nullptr;
    }
    w.blitter = nullptr;
}

// Makes the window: framed, not resizable, its client area exactly the framebuffer's size and
// centred on its display; or, full screen, a borderless window covering the display, which the
// desktop also knows as full screen. Then its renderer and a streaming texture of 32-bit
// red-first pixels that the dirty rows are converted into.
std::int32_t sdlCreateWindow() {
    SdlWindow& w = sdlWindowRecord;
    const SdlLibrary& sdl = *w.desktop.sdl;
    WindowState& state = windowState();
    SDL_Window*& window = w.desktop.window;
    SDL_Rect bounds{};
    if (state.fullScreen() && sdl.SDL_GetDisplayBounds(w.displayIndex, &bounds) == 0) {
        window = sdl.SDL_CreateWindow(state.title, bounds.x, bounds.y, bounds.w, bounds.h,
                                      SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS |
                                          SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(w.displayIndex));
        window = sdl.SDL_CreateWindow(state.title, centred, centred, state.width, state.height,
                                      SDL_WINDOW_SHOWN);
    }
    if (window == nullptr) {
        return -1;
    }
    dressSdlWindow(w.desktop);
    w.renderer = sdl.SDL_CreateRenderer(window, -1, 0);
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
    placePictureInWindow();
    SDL_DisplayMode display{};
    const int displayIndex = sdl.SDL_GetWindowDisplayIndex(window);
    if (displayIndex >= 0 && sdl.SDL_GetCurrentDisplayMode(displayIndex, &display) == 0) {
        screen->refreshRate = display.refresh_rate;
    }
    sdl.SDL_RaiseWindow(window);
    markAllDirty(*screen);
    return 0;
}

// ---- presentation and events, on the window thread ---------------------------------------

// Converts window lines first .. end - 1 into the texture and shows the texture. A locked
// streaming texture need not keep its old pixels, so the band is converted whole.
bool sdlPresent(ScreenState& screen, std::int32_t first, std::int32_t end) {
    SdlWindow& w = sdlWindowRecord;
    // After the loss nothing is drawn: the window's drawable may already be gone with the server.
    if (w.texture == nullptr || w.blitter == nullptr || sdlDesktopLost()) {
        return false;
    }
    const SdlLibrary& sdl = *w.desktop.sdl;
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
    if (sdl.SDL_RenderCopy(w.renderer, w.texture, nullptr, &w.desktop.picture) != 0) {
        return false;
    }
    sdl.SDL_RenderPresent(w.renderer);
    return true;
}

bool sdlPumpEvents() {
    return pumpSdlEvents(sdlWindowRecord.desktop);
}

void sdlReadKeyState(std::uint8_t* keyState) {
    readSdlKeyState(*sdlWindowRecord.desktop.sdl, keyState);
}

void sdlApplyRequests(WindowRequests& requests) {
    applySdlRequests(sdlWindowRecord.desktop, requests);
}

// Sleeps until the desktop sends the window an event, a wake-up event is pushed, or the time is
// up; the events stay queued for sdlPumpEvents. SDL's x11 video driver sleeps on the desktop's
// connection; on the others (Wayland is untried) SDL would look every millisecond, so the window
// thread waits on its own.
bool sdlWaitEvents(std::int32_t milliseconds) {
    SdlDesktopWindow& w = sdlWindowRecord.desktop;
    if (!w.waitsForEvents || w.window == nullptr) {
        return false;
    }
    w.sdl->SDL_WaitEventTimeout(nullptr, milliseconds);
    return true;
}

// Any thread: an event of the program's own, which ends a wait on the desktop's connection and
// is then drained with the others.
void sdlWake() {
    if (sdlDesktopLost()) {
        return; // the wake-up would go through the window system's second, now dead, connection
    }
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    sdlWindowRecord.desktop.sdl->SDL_PushEvent(&event);
}

bool sdlStart() {
    return startSdlVideo(sdlWindowRecord.desktop);
}

void sdlStop() {
    stopSdlVideo(sdlWindowRecord.desktop);
}

const char* sdlErrorText() {
    return sdlWindowRecord.desktop.sdl->SDL_GetError();
}

void sdlPlayTone(std::int32_t frequency, std::int32_t milliseconds) {
    playSdlTone(*sdlWindowRecord.desktop.sdl, frequency, milliseconds);
}

constexpr WindowPresenter SDL_PRESENTER = {
    .createWindow = sdlCreateWindow,
    .destroyWindow = sdlDestroyWindow,
    .paintWindow = repaintWindow,
    .pumpEvents = sdlPumpEvents,
    .readKeyState = sdlReadKeyState,
    .applyRequests = sdlApplyRequests,
    .start = sdlStart,
    .stop = sdlStop,
    .present = sdlPresent,
    .errorText = sdlErrorText,
    .beep = sdlPlayTone,
    .waitEvents = sdlWaitEvents,
    .wake = sdlWake,
};

// ---- the driver's operations, on the main thread ----------------------------------------------

std::int32_t sdlInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(SDL_PRESENTER, title, width, height, depth, refreshRate, flags,
                       SYSTEM_VERSION);
    if ((flags >= 0 && (flags & SCREEN_OPENGL) != 0) || !sdlDisplayAvailable()) {
        return -1;
    }
    const SdlLibrary* sdl = loadSdlLibrary();
    if (sdl == nullptr) {
        noteWindowFailure("SDL", sdlLibraryError());
        return -1;
    }
    sdlWindowRecord = SdlWindow{};
    sdlWindowRecord.desktop.sdl = sdl;
    sdlWindowRecord.desktop.placePicture = placePictureInWindow;
    return startWindowThread("SDL");
}

} // namespace

void sdlBeep(std::int32_t frequency, std::int32_t milliseconds) {
    requestWindowBeep(frequency, milliseconds);
}

std::uint32_t sdlWindowId() {
    const WindowThreadLock lock;
    const SdlDesktopWindow& w = sdlWindowRecord.desktop;
    return w.window != nullptr ? w.sdl->SDL_GetWindowID(w.window) : 0;
}

const DisplayDriver SDL_DISPLAY_DRIVER = windowThreadDriver("SDL", sdlInit);

} // namespace ulo
