#include "posix/sdl_window.hpp"

#include "console/codepage437.hpp"
#include "posix/sdl_icon.hpp"
#include "posix/sdl_keys.hpp"
#include "posix/sdl_sound.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"

#include <cstdlib>
#include <cstring>
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

bool altHeld(std::uint16_t modifiers) {
    return (modifiers & KMOD_ALT) != 0;
}

void keyPressed(SdlDesktopWindow& w, const SDL_KeyboardEvent& key) {
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
void textTyped(SdlDesktopWindow& w, const char* text) {
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
    return true;
}

void stopSdlVideo(SdlDesktopWindow& w) {
    const SdlLibrary& sdl = *w.sdl;
    closeSdlSound(sdl);
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
}

bool pumpSdlEvents(SdlDesktopWindow& w) {
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
