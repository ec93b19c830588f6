#include "screen/window_events.hpp"

#include "console/keys.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"

#include <cstring>

namespace ulo {
namespace {

WindowState window{};

void pushRepeated(KeyCode code, std::int32_t repeatCount) {
    for (std::int32_t i = 0; i < repeatCount; ++i) {
        pushKey(code);
    }
}

// A key goes in as one key: the extended code when the key tables give one, else the character
// it types. Extended codes are queued here; characters arrive as character input, except those
// the window system never sends, which come with the press.
EventResult keyDown(const WindowEvent& event) {
    const KeyCode code = translateKey(
        KeyPress{event.character, event.scanCode, event.baseCharacter, event.controlKeyState});
    if (code > 255) {
        pushRepeated(code, event.repeatCount);
    } else if (event.unsentCharacter != 0) {
        pushRepeated(event.unsentCharacter, event.repeatCount);
    }
    // F10 and Alt would open the system menu, and Alt+F4 would close the window.
    if (event.virtualKey == VIRTUAL_KEY_F10 || event.virtualKey == VIRTUAL_KEY_MENU ||
        code == WINDOW_CLOSE_KEY) {
        return EventResult::Handled;
    }
    return EventResult::PassOn;
}

// Alt+Enter or maximizing: the window is made again in the other presentation.
EventResult switchFullScreen() {
    if ((window.flags & SCREEN_NO_SWITCH) != 0) {
        return EventResult::Handled;
    }
    const WindowPresenter* presenter = window.presenter;
    const auto destroy = [presenter] {
        if (presenter != nullptr && presenter->destroyWindow != nullptr) {
            presenter->destroyWindow();
        }
    };
    const auto create = [presenter] {
        return presenter != nullptr && presenter->createWindow != nullptr
                   ? presenter->createWindow()
                   : 0;
    };
    destroy();
    window.flags ^= SCREEN_FULLSCREEN;
    if (create() != 0) {
        destroy();
        window.flags ^= SCREEN_FULLSCREEN;
        create();
    }
    if (ScreenState* screen = activeScreen()) {
        if (screen->driver != nullptr && screen->driver->setPalette != nullptr) {
            // Copied first: the driver stores each entry back into the window's palette.
            const auto palette = window.palette;
            for (std::size_t i = 0; i < palette.size(); ++i) {
                screen->driver->setPalette(static_cast<std::int32_t>(i), palette[i].red,
                                           palette[i].green, palette[i].blue);
            }
        }
        markAllDirty(*screen);
    }
    window.active = true;
    return EventResult::Handled;
}

void focusChanged(bool active) {
    window.active = active;
    window.mouseButtons = 0;
    if (ScreenState* screen = activeScreen()) {
        std::memset(screen->keyState.get(), 0, KEY_STATE_SIZE);
        markAllDirty(*screen);
    }
}

} // namespace

WindowState& windowState() {
    return window;
}

void resetWindowState() {
    window = WindowState{};
}

EventResult handleWindowEvent(const WindowEvent& event) {
    switch (event.kind) {
    case WindowEventKind::KeyDown:
        return keyDown(event);
    case WindowEventKind::SystemKeyDown:
        if (!window.active) {
            return EventResult::PassOn;
        }
        if (event.virtualKey == VIRTUAL_KEY_RETURN && event.altHeld) {
            return switchFullScreen();
        }
        return keyDown(event);
    case WindowEventKind::Maximize:
        return window.active ? switchFullScreen() : EventResult::PassOn;
    case WindowEventKind::Character:
        if (event.code >= 0 && event.code <= 255) {
            pushRepeated(event.code, event.repeatCount);
        }
        return EventResult::PassOn;
    case WindowEventKind::Close:
        pushKey(WINDOW_CLOSE_KEY);
        return EventResult::Handled;
    case WindowEventKind::Paint:
        if (window.presenter != nullptr && window.presenter->paintWindow != nullptr) {
            window.presenter->paintWindow();
        }
        return EventResult::PassOn;
    case WindowEventKind::Focus:
        focusChanged(event.active);
        return EventResult::PassOn;
    case WindowEventKind::ButtonDown:
        window.mouseButtons |= event.button;
        return EventResult::PassOn;
    case WindowEventKind::ButtonUp:
        window.mouseButtons &= ~event.button;
        return EventResult::PassOn;
    case WindowEventKind::Wheel:
        if (window.systemVersion > WHEEL_SYSTEM_VERSION) {
            window.wheel += event.wheelDelta > 0 ? 1 : -1;
        }
        return EventResult::PassOn;
    }
    return EventResult::PassOn;
}

} // namespace ulo
