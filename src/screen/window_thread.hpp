// The window thread shared by every display driver that presents from a thread of its own.
//
// The thread makes the window, tells the main thread whether that worked, and then, while the
// driver runs, makes passes under the screen lock: it carries out the main thread's requests,
// presents the dirty framebuffer rows, drains the window's events into the window procedure and
// refreshes the key state; after the pass, outside the lock, it sounds the tones asked for and
// wakes a main thread waiting for keys when the program is to end. A pass with nothing dirty and
// no event only looks.
//
// Between passes the thread sleeps until something needs it: the main thread wakes it when it
// leaves rows dirty (so an echo appears at once), asks for something or stops it, and the window
// system wakes it with an event. A presenter that cannot wait on its window system leaves the
// thread passing every 10 ms, as it does while rows stay dirty after a pass.
//
// A driver supplies a WindowPresenter: making and destroying its window, presenting a band of
// rows, its window system's events, waiting for them, and its bell; the driver operations below
// do the rest.
#pragma once

#include "screen/screen.hpp"

#include <cstdint>
#include <string>

namespace ulo {

// What the main thread asks of the window that only the window's thread may do.
struct WindowRequests {
    bool newTitle = false;
    std::string title;
    bool warp = false; // move the pointer to (warpX, warpY), framebuffer pixels
    int warpX = 0;
    int warpY = 0;
    int pointer = -1; // 0 hide, 1 show, -1 nothing
};

// A driver's window. Every operation runs on the window thread with the screen lock held.
struct WindowPresenter {
    // Starts the window system for this thread; false when it cannot be used.
    bool (*start)() = nullptr;
    // Ends what start began (also after a failed start).
    void (*stop)() = nullptr;
    // Makes the window in the presentation windowState().flags asks for: 0, or -1.
    std::int32_t (*createWindow)() = nullptr;
    // Destroys the window and what presents it; safe when they were never made.
    void (*destroyWindow)() = nullptr;
    // Shows window lines first .. end - 1, the dirty framebuffer rows of that band converted with
    // each row on scanline-size lines; false when nothing was shown, so the rows stay dirty for
    // the next pass.
    bool (*present)(ScreenState& screen, std::int32_t first, std::int32_t end) = nullptr;
    // Drains the window's events through handleWindowEvent without waiting; true when a key
    // went down or up or the focus changed (the key state is read again then).
    bool (*pumpEvents)() = nullptr;
    // Sets keyState[n] to 1 while the key with scan code n is held; the 128 bytes are cleared.
    void (*readKeyState)(std::uint8_t* keyState) = nullptr;
    // Carries out what the main thread asked for, clearing each request it served.
    void (*applyRequests)(WindowRequests& requests) = nullptr;
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

// The display driver operations of a window on its own thread.
// Starts the thread and waits until the window is up (0) or could not be made (-1, its reason
// noted).
std::int32_t startWindowThread(const WindowPresenter& presenter, const char* driverName);
void stopWindowThread();
void lockWindow();
void unlockWindow();
void setWindowPalette(std::int32_t index, std::int32_t red, std::int32_t green, std::int32_t blue);
void waitWindowVsync();
std::int32_t readWindowMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                             std::int32_t* buttons);
void placeWindowMouse(std::int32_t x, std::int32_t y, std::int32_t pointer);
void setWindowTitle(const char* title);
// Asks the window thread to sound a tone; returns at once. Nothing when no window thread runs.
void requestWindowBeep(std::int32_t frequency, std::int32_t milliseconds);

// The mouse parts of those operations for a driver without a window thread, on the thread that
// owns the window. The pointer as the window procedure last saw it: 0, or -1 when the window is
// not active or (windowed) the pointer is outside the picture, which also clears the buttons.
std::int32_t readMouseState(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                            std::int32_t* buttons);
// Notes in `requests` what setMouse asks of the window: the pointer moved to (x, y), limited to
// the picture (x < 0: not moved), and shown or hidden when that changes its visibility.
void requestMouse(WindowRequests& requests, std::int32_t x, std::int32_t y, std::int32_t pointer);

// Sets up the window state for a driver's init: the size, depth, rate, flags and title it was
// given, with the window's system version.
void prepareWindowState(const char* title, std::int32_t width, std::int32_t height,
                        std::int32_t depth, std::int32_t refreshRate, std::int32_t flags,
                        std::uint32_t systemVersion);

// A driver notes why its window did not open although a desktop was there; the mode set says
// the last such reason once, on standard error, when no driver started at all.
void noteWindowFailure(const char* driverName, const char* reason);
// The noted reason ("SDL: ..."), or empty; clears it.
std::string takeWindowFailure();

// Holds the window thread's screen lock for a scope (nothing when no window thread runs); for
// threads other than the main one, which takes the lock through the screen.
class WindowThreadLock {
public:
    WindowThreadLock();
    ~WindowThreadLock();
    WindowThreadLock(const WindowThreadLock&) = delete;
    WindowThreadLock& operator=(const WindowThreadLock&) = delete;

private:
    bool held_;
};

// What the window thread's presentation has done so far, for measurements.
struct WindowPresentationStats {
    std::uint64_t passes = 0;         // passes of the window thread
    std::uint64_t presentations = 0;  // passes that presented a picture
    std::int64_t lastNanoseconds = 0; // the last presentation: conversion, upload and show
    std::int32_t lastRows = 0;        // the window lines it presented
};
WindowPresentationStats windowPresentationStats();

} // namespace ulo
