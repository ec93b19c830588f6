#include "posix/sdl_driver.hpp"

#include "posix/sdl_keys.hpp"
#include "posix/sdl_library.hpp"
#include "terminal/blitters.hpp"
#include "terminal/codepage437.hpp"
#include "terminal/screen.hpp"
#include "terminal/text_cells.hpp"
#include "terminal/window_events.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ulo {
namespace {

constexpr auto PASS_PAUSE = std::chrono::milliseconds(10);
constexpr int DEFAULT_VSYNC_MS = 16;
// Wheel messages are reported by every system this runs on.
constexpr std::uint32_t SYSTEM_VERSION = 0x0A00;

enum class StartState { Waiting, Running, Failed };

// What the main thread asks of the window that only the window's thread may do.
struct WindowRequests {
    bool newTitle = false;
    std::string title;
    bool warp = false;
    int warpX = 0;
    int warpY = 0;
    int pointer = -1; // 0 hide, 1 show, -1 nothing
};

// The window and everything that presents it; made and destroyed by the window thread. The
// screen lock guards the framebuffer, the dirty rows, the key buffer, the window state and the
// requests; `running` is the loop's flag, cleared by the main thread without the lock.
struct SdlWindow {
    const SdlLibrary* sdl = nullptr;
    std::thread thread;
    std::recursive_mutex screenLock;
    std::atomic<bool> running{false};
    std::mutex startMutex;
    std::condition_variable startChanged;
    StartState startState = StartState::Waiting;

    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Cursor* arrow = nullptr;
    Blitter blitter = nullptr;
    SDL_Rect picture{};           // where the framebuffer appears in the window
    int displayIndex = 0;         // the display the window is on, kept across a full-screen switch
    std::uint8_t lastKeyBase = 0; // the key last pressed: its own character
    std::uint16_t lastKeyModifiers = 0; // and the modifiers held with it
    int pointerX = 0;                   // in the window, pixels of the framebuffer
    int pointerY = 0;
    bool pointerInside = false;
    WindowRequests requests;
    SdlPresentationStats stats;
};

std::unique_ptr<SdlWindow> sdlWindow;

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
    SdlWindow& w = *sdlWindow;
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
    SdlWindow& w = *sdlWindow;
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

// Expose: the whole picture is drawn again on the next pass.
void sdlPaintWindow() {
    if (ScreenState* screen = activeScreen()) {
        markAllDirty(*screen);
    }
}

// ---- one pass of the window thread -----------------------------------------------------------

// Converts the dirty rows into the texture and shows it. The rows from the first dirty one to the
// last are converted as one band (a locked streaming texture need not keep its old pixels), and
// the dirty flags are cleared only when the picture was presented.
void present(SdlWindow& w) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr || w.texture == nullptr || w.blitter == nullptr) {
        return;
    }
    const SdlLibrary& sdl = *w.sdl;
    WindowState& state = windowState();
    state.paletteChanged = false; // the indexed converters read the screen's palette directly
    std::uint8_t* dirty = screen->dirty.get();
    const int rows = state.height;
    int first = 0;
    while (first < rows && dirty[first] == 0) {
        ++first;
    }
    if (first == rows) {
        return;
    }
    int last = rows - 1;
    while (dirty[last] == 0) {
        --last;
    }
    const auto start = std::chrono::steady_clock::now();
    std::memset(dirty + first, 1, static_cast<std::size_t>(last - first + 1));
    const SDL_Rect band{0, first, state.width, last - first + 1};
    void* pixels = nullptr;
    int pitch = 0;
    if (sdl.SDL_LockTexture(w.texture, &band, &pixels, &pitch) != 0) {
        return;
    }
    // The converter addresses framebuffer row y at destination + y * pitch; the locked memory
    // begins with row `first`.
    auto* rowZero = reinterpret_cast<std::uint8_t*>(reinterpret_cast<std::uintptr_t>(pixels) -
                                                    static_cast<std::uintptr_t>(first) *
                                                        static_cast<std::uintptr_t>(pitch));
    w.blitter(*screen, rowZero, pitch);
    sdl.SDL_UnlockTexture(w.texture);
    sdl.SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    sdl.SDL_RenderClear(w.renderer);
    if (sdl.SDL_RenderCopy(w.renderer, w.texture, nullptr, &w.picture) != 0) {
        return;
    }
    sdl.SDL_RenderPresent(w.renderer);
    std::memset(dirty, 0, static_cast<std::size_t>(rows));
    ++w.stats.presentations;
    w.stats.lastNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    w.stats.lastRows = last - first + 1;
}

// Byte n of the key state is 1 while the key with scan code n is held.
void refreshKeyState(SdlWindow& w) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return;
    }
    int count = 0;
    const Uint8* pressed = w.sdl->SDL_GetKeyboardState(&count);
    std::uint8_t* keyState = screen->keyState.get();
    std::memset(keyState, 0, 128);
    for (int scancode = 0; scancode < count && scancode < SDL_NUM_SCANCODES; ++scancode) {
        const SdlKeyInfo info = describeScancode(static_cast<SDL_Scancode>(scancode));
        if (pressed[scancode] != 0 && info.scanCode != 0 && info.scanCode < 128) {
            keyState[info.scanCode] = 1;
        }
    }
}

void applyRequests(SdlWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    WindowRequests& requests = w.requests;
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
    w.lastKeyBase = event.baseCharacter;
    w.lastKeyModifiers = modifiers;
    if (info.scanCode != 0 || info.virtualKey != 0) {
        handleWindowEvent(event);
    }
    // Keys whose characters never arrive as text (Enter, Backspace, Tab, Escape, Ctrl with a
    // letter) are typed here, as long as Alt does not make them system keys.
    const std::uint8_t control = controlCharacter(keycode, modifiers);
    if (control != 0 && !altHeld(modifiers)) {
        WindowEvent typed{};
        typed.kind = WindowEventKind::Character;
        typed.code = control;
        handleWindowEvent(typed);
    }
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
    const WindowState& state = windowState();
    const SDL_Rect& p = w.picture;
    w.pointerInside = x >= p.x && y >= p.y && x < p.x + p.w && y < p.y + p.h;
    w.pointerX = p.w > 0 ? (x - p.x) * state.width / p.w : 0;
    w.pointerY = p.h > 0 ? (y - p.y) * state.height / p.h : 0;
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
        w.pointerInside = false;
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

// Drains the window's events through the window procedure; never waits for one.
void pumpEvents(SdlWindow& w) {
    SDL_Event event;
    while (w.window != nullptr && w.sdl->SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
            keyPressed(w, event.key);
            break;
        case SDL_TEXTINPUT:
            textTyped(w, event.text.text);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.windowID == w.sdl->SDL_GetWindowID(w.window)) {
                windowEvent(w, event.window);
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
            break; // quit requests included: only "exit" ends the program
        }
    }
}

void announceStart(SdlWindow& w, StartState state) {
    {
        const std::lock_guard<std::mutex> guard(w.startMutex);
        w.startState = state;
    }
    w.startChanged.notify_all();
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

bool startSdl(SdlWindow& w) {
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
    return true;
}

void stopSdl(SdlWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    if (w.arrow != nullptr) {
        sdl.SDL_FreeCursor(w.arrow);
        w.arrow = nullptr;
    }
    sdl.SDL_Quit();
}

// The window thread: makes the window, says so, then presents and pumps every 10 ms while the
// driver runs; at the end it destroys everything it made.
void sdlThreadMain(void*) {
    SdlWindow& w = *sdlWindow;
    bool up = false;
    {
        const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
        up = startSdl(w) && sdlCreateWindow() == 0;
        if (!up) {
            sdlDestroyWindow();
        } else {
            windowState().active = true;
        }
    }
    if (!up) {
        stopSdl(w);
        announceStart(w, StartState::Failed);
        return;
    }
    announceStart(w, StartState::Running);
    while (w.running.load(std::memory_order_acquire)) {
        {
            const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
            applyRequests(w);
            present(w);
            if (windowState().active) {
                refreshKeyState(w);
            }
            pumpEvents(w);
        }
        std::this_thread::sleep_for(PASS_PAUSE);
    }
    {
        const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
        sdlDestroyWindow();
    }
    stopSdl(w);
}

// ---- the driver's operations, on the main thread ----------------------------------------------

void sdlShutdown() {
    if (!sdlWindow) {
        return;
    }
    sdlWindow->running.store(false, std::memory_order_release);
    if (sdlWindow->thread.joinable()) {
        sdlWindow->thread.join();
    }
    sdlWindow.reset();
    windowState().initialised = false;
}

std::int32_t sdlInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    resetWindowState();
    WindowState& state = windowState();
    state.hooks = {sdlCreateWindow, sdlDestroyWindow, sdlPaintWindow, sdlThreadMain};
    state.width = width;
    state.height = height;
    state.depth = std::max(depth, 8);
    state.refreshRate = refreshRate;
    state.flags = flags;
    std::strncpy(state.title, title != nullptr ? title : "", sizeof state.title - 1);
    state.systemVersion = SYSTEM_VERSION;
    state.pointerVisible = true;
    if ((flags >= 0 && (flags & SCREEN_OPENGL) != 0) || !displayAvailable()) {
        return -1;
    }
    const SdlLibrary* sdl = loadSdlLibrary();
    if (sdl == nullptr) {
        return -1;
    }
    sdlWindow = std::make_unique<SdlWindow>();
    SdlWindow& w = *sdlWindow;
    w.sdl = sdl;
    state.initialised = true;
    w.running.store(true, std::memory_order_release);
    w.thread = std::thread(state.hooks.threadMain, nullptr);
    std::unique_lock<std::mutex> start(w.startMutex);
    w.startChanged.wait(start, [&] { return w.startState != StartState::Waiting; });
    return w.startState == StartState::Running ? 0 : -1;
}

void sdlLock() {
    if (sdlWindow) {
        sdlWindow->screenLock.lock();
    }
}

void sdlUnlock() {
    if (sdlWindow) {
        sdlWindow->screenLock.unlock();
    }
}

void sdlSetPalette(std::int32_t index, std::int32_t red, std::int32_t green, std::int32_t blue) {
    if (index < 0 || index > 255) {
        return;
    }
    WindowState& state = windowState();
    state.palette[static_cast<std::size_t>(index)] = {
        static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
        static_cast<std::uint8_t>(blue), PALETTE_NO_COLLAPSE};
    state.paletteChanged = true;
}

void sdlWaitVsync() {
    const ScreenState* screen = activeScreen();
    const int rate = screen != nullptr ? screen->refreshRate : 0;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(rate > 0 ? 1000 / rate : DEFAULT_VSYNC_MS));
}

std::int32_t sdlGetMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                         std::int32_t* buttons) {
    if (!sdlWindow) {
        return -1;
    }
    SdlWindow& w = *sdlWindow;
    const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
    WindowState& state = windowState();
    if (!state.active) {
        return -1;
    }
    if (fullScreen()) {
        *x = std::clamp(w.pointerX, 0, state.width - 1);
        *y = std::clamp(w.pointerY, 0, state.height - 1);
    } else if (!w.pointerInside) {
        state.mouseButtons = 0;
        return -1;
    } else {
        *x = w.pointerX;
        *y = w.pointerY;
    }
    *wheel = state.wheel;
    *buttons = state.mouseButtons;
    return 0;
}

void sdlSetMouse(std::int32_t x, std::int32_t y, std::int32_t pointer) {
    if (!sdlWindow) {
        return;
    }
    SdlWindow& w = *sdlWindow;
    const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
    WindowState& state = windowState();
    if (x >= 0) {
        w.requests.warp = true;
        w.requests.warpX = std::min(x, state.width - 1);
        w.requests.warpY = std::clamp(y, 0, state.height - 1);
    }
    if (pointer == 0 && state.pointerVisible) {
        w.requests.pointer = 0;
        state.pointerVisible = false;
    } else if (pointer > 0 && !state.pointerVisible) {
        w.requests.pointer = 1;
        state.pointerVisible = true;
    }
}

void sdlSetWindowTitle(const char* title) {
    if (!sdlWindow || title == nullptr) {
        return;
    }
    SdlWindow& w = *sdlWindow;
    const std::lock_guard<std::recursive_mutex> guard(w.screenLock);
    w.requests.newTitle = true;
    w.requests.title = title;
}

} // namespace

std::uint32_t sdlWindowId() {
    if (!sdlWindow) {
        return 0;
    }
    const std::lock_guard<std::recursive_mutex> guard(sdlWindow->screenLock);
    return sdlWindow->window != nullptr ? sdlWindow->sdl->SDL_GetWindowID(sdlWindow->window) : 0;
}

SdlPresentationStats sdlPresentationStats() {
    if (!sdlWindow) {
        return {};
    }
    const std::lock_guard<std::recursive_mutex> guard(sdlWindow->screenLock);
    return sdlWindow->stats;
}

const DisplayDriver SDL_DISPLAY_DRIVER = {
    .name = "SDL",
    .init = sdlInit,
    .shutdown = sdlShutdown,
    .lock = sdlLock,
    .unlock = sdlUnlock,
    .setPalette = sdlSetPalette,
    .getMouse = sdlGetMouse,
    .setMouse = sdlSetMouse,
    .waitVsync = sdlWaitVsync,
    .setWindowTitle = sdlSetWindowTitle,
};

} // namespace ulo
