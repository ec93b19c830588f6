// A display driver's window: the operations that make, show and feed it, as one table per driver.
// The window state holds the table of the driver in use; the window thread, the window procedure
// and the shared driver operations reach the window only through it.
#pragma once

#include <cstdint>
#include <string>

namespace ulo {

struct ScreenState;

// What the main thread asks of the window that only the window's thread may do.
struct WindowRequests {
    bool newTitle = false;
    std::string title;
    bool warp = false; // move the pointer to (warpX, warpY), framebuffer pixels
    int warpX = 0;
    int warpY = 0;
    int pointer = -1; // 0 hide, 1 show, -1 nothing
};

// Every operation runs on the thread that owns the window: the window thread, with the screen
// lock held (unless said otherwise), or for a driver without one (OpenGL) the thread that set the
// mode. An operation a driver has no use for is null.
struct WindowPresenter {
    // Makes the window in the presentation windowState().flags asks for: 0, or -1. A full-screen
    // switch of the window procedure destroys the window and makes it again.
    std::int32_t (*createWindow)() = nullptr;
    // Destroys the window and what presents it; safe when they were never made.
    void (*destroyWindow)() = nullptr;
    // Draws the window again after the window system lost its picture.
    void (*paintWindow)() = nullptr;
    // Drains the window's events through handleWindowEvent without waiting; true when a key
    // went down or up or the focus changed (the key state is read again then).
    bool (*pumpEvents)() = nullptr;
    // Sets keyState[n] to 1 while the key with scan code n is held; the bytes are cleared before.
    void (*readKeyState)(std::uint8_t* keyState) = nullptr;
    // Carries out what the main thread asked for, clearing each request it served.
    void (*applyRequests)(WindowRequests& requests) = nullptr;

    // The window thread's own, for a driver that presents from it.
    // Starts the window system for this thread; false when it cannot be used.
    bool (*start)() = nullptr;
    // Ends what start began (also after a failed start).
    void (*stop)() = nullptr;
    // Shows window lines first .. end - 1, the dirty framebuffer rows of that band converted with
    // each row on scanline-size lines; false when nothing was shown, so the rows stay dirty for
    // the next pass.
    bool (*present)(ScreenState& screen, std::int32_t first, std::int32_t end) = nullptr;
    // Why the window system failed, for the one line said when no window opens.
    const char* (*errorText)() = nullptr;
    // Sounds a tone without waiting for it to end. Runs on the window thread without the screen
    // lock, as the first tone may take a while to open the sound device. May be null.
    void (*beep)(std::int32_t frequency, std::int32_t milliseconds) = nullptr;
    // Optional, together: sleeping until the thread is needed. waitEvents returns when the
    // window system has an event for the window, wake was called, or `milliseconds` passed (at
    // once when an event already waits), and leaves the events to pumpEvents; false when it
    // cannot wait now (no window): the thread then sleeps 10 ms on its own, as it does between
    // all passes without these two. Runs on the window thread without the screen lock.
    bool (*waitEvents)(std::int32_t milliseconds) = nullptr;
    // Makes the waitEvents in progress, or else the next one, return. Any thread calls it, with
    // or without the screen lock, between a successful start and the end of the last pass.
    // pumpEvents may drain a wake-up with the events: the pass it runs in serves what it was for.
    void (*wake)() = nullptr;
};

} // namespace ulo
