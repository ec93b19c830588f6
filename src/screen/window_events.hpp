// The window procedure as portable logic: the platform turns what its window system reports
// into WindowEvents, and handleWindowEvent turns them into key codes, mouse state, dirty rows and
// full-screen switches. It runs on the window's thread while the driver holds the screen lock.
#pragma once

#include "screen/screen.hpp"
#include "screen/window_presenter.hpp"

#include <array>
#include <cstdint>

namespace ulo {

// Virtual keys the window procedure looks at (a platform maps its own keys onto these).
inline constexpr std::uint16_t VIRTUAL_KEY_RETURN = 0x0D;
inline constexpr std::uint16_t VIRTUAL_KEY_MENU = 0x12; // Alt
inline constexpr std::uint16_t VIRTUAL_KEY_F10 = 0x79;

// Mouse button bits.
inline constexpr std::int32_t MOUSE_LEFT = 1;
inline constexpr std::int32_t MOUSE_RIGHT = 2;
inline constexpr std::int32_t MOUSE_MIDDLE = 4;

// System versions above this one report the mouse wheel.
inline constexpr std::uint32_t WHEEL_SYSTEM_VERSION = 0x409;

inline constexpr std::uint8_t PALETTE_NO_COLLAPSE = 4;

struct WindowPaletteEntry {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t flags; // always PALETTE_NO_COLLAPSE
};

// The window shared by the window procedure, the window thread and the driver; cleared by each
// driver's init before use.
struct WindowState {
    const WindowPresenter* presenter; // the driver's window operations
    std::int32_t width;               // already multiplied by the scanline size
    std::int32_t height;
    std::int32_t depth;
    std::int32_t refreshRate;
    std::int32_t flags; // SCREEN_* flags as given to init
    char title[128];
    std::array<WindowPaletteEntry, 256> palette;
    bool paletteChanged;
    bool active;                 // the window has the desktop's focus
    bool initialised;            // the window machinery is up; the window thread runs while set
    std::uint32_t systemVersion; // major * 256 + minor
    bool pointerVisible;
    // Where the pointer is, in framebuffer pixels, and whether it is over the picture.
    std::int32_t pointerX;
    std::int32_t pointerY;
    bool pointerInside;
    std::int32_t mouseButtons;
    std::int32_t wheel;

    bool fullScreen() const { return (flags & SCREEN_FULLSCREEN) != 0; }
};

WindowState& windowState();
// Clears the window state to zero.
void resetWindowState();

enum class WindowEventKind {
    KeyDown,       // a key press
    SystemKeyDown, // a key press with Alt or F10 (the system menu keys)
    Character,     // character input, already in code page 437
    Close,         // the close button or the system's close request
    Focus,         // the window gained or lost the focus
    Paint,         // the window system asks for a repaint
    ButtonDown,
    ButtonUp,
    Wheel,
    Maximize,
};

struct WindowEvent {
    WindowEventKind kind;
    // Key presses.
    std::uint8_t character = 0; // what the key produced, 0 for none
    std::uint8_t scanCode = 0;
    std::uint8_t baseCharacter = 0; // the key's own unshifted character, 0 for none
    std::uint16_t virtualKey = 0;
    std::uint32_t controlKeyState = 0;
    bool altHeld = false; // system key presses: Alt was down
    // A character the key types that the window system sends no character input for (Enter,
    // Tab, Ctrl with a letter on some systems); 0 for none. Queued unless the key gives an
    // extended code.
    std::uint8_t unsentCharacter = 0;
    // Key presses and character input.
    std::int32_t repeatCount = 1;
    std::int32_t code = 0; // character input: the code page 437 value (above 255: none)
    // Focus: gained (true) or lost.
    bool active = false;
    // Buttons: MOUSE_LEFT, MOUSE_RIGHT or MOUSE_MIDDLE; wheel: the signed delta.
    std::int32_t button = 0;
    std::int32_t wheelDelta = 0;
};

// What the platform does with the event afterwards.
enum class EventResult {
    PassOn,  // give it to the window system's default handling as well
    Handled, // do not pass it on (the system menu, closing and maximizing stay with us)
};

EventResult handleWindowEvent(const WindowEvent& event);

} // namespace ulo
