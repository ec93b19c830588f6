// What the SDL display drivers share: SDL's video started for the desktop this session has, the
// program's icon and pointer on a window, the window's events turned into window events for the
// window procedure, the key state, and the main thread's requests (pointer, title) carried out.
// Every function runs on the thread that started SDL's video.
#pragma once

#include "posix/sdl_keys.hpp"
#include "posix/sdl_library.hpp"
#include "screen/window_thread.hpp"

#include <cstdint>

namespace ulo {

// A driver's window as its events and requests need it.
struct SdlDesktopWindow {
    const SdlLibrary* sdl = nullptr;
    SDL_Window* window = nullptr;
    SDL_Cursor* arrow = nullptr;
    SDL_Rect picture{}; // where the framebuffer's pixels appear in the window
    // Places the picture again after the window's size changed.
    void (*placePicture)() = nullptr;
    SdlLastKey lastKey;
    bool waitsForEvents = false; // the video driver sleeps on the desktop's connection
    bool onWayland = false;      // a quit event then means the compositor went away
};

// A desktop to show a window on, or a video driver the user asked SDL for by name.
bool sdlDisplayAvailable();

// Starts SDL's video on the desktops this session has (so that without one it fails at once
// instead of drawing nowhere), with the signals left to the program, text input on and the arrow
// pointer made; false when SDL cannot start.
bool startSdlVideo(SdlDesktopWindow& w);
// True once the desktop went away under the window (its server ended): the end is then pending
// as for SIGHUP, and the window system is not to be called for anything but the window's own
// connection. Any thread.
bool sdlDesktopLost();
// Ends what startSdlVideo began, the bell's sound device included (also after a failed start).
void stopSdlVideo(SdlDesktopWindow& w);

// Gives a new window the program's icon and the arrow pointer.
void dressSdlWindow(SdlDesktopWindow& w);

// Drains the window's events through the window procedure; never waits for one. True when a key
// went down or up or the window changed (its focus among others).
bool pumpSdlEvents(SdlDesktopWindow& w);

// Byte n of the key state is set to 1 while the key with scan code n is held.
void readSdlKeyState(const SdlLibrary& sdl, std::uint8_t* keyState);

// Carries out what the main thread asked of the window, clearing each request it served.
void applySdlRequests(SdlDesktopWindow& w, WindowRequests& requests);

} // namespace ulo
