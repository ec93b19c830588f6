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
// A driver supplies a WindowPresenter (making and destroying its window, presenting a band of
// rows, its window system's events, waiting for them, and its bell) and its init; the driver
// operations below do the rest.
#pragma once

#include "screen/display_driver.hpp"
#include "screen/screen.hpp"
#include "screen/window_presenter.hpp"

#include <cstdint>
#include <string>

namespace ulo {

// The display driver operations of a window on its own thread.
// Starts the thread for the window of windowState().presenter and waits until the window is up
// (0) or could not be made (-1, its reason noted).
std::int32_t startWindowThread(const char* driverName);
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

// A presenter's paintWindow: every framebuffer row is presented again on the next pass.
void repaintWindow();

// For a window system that ends the process as soon as the window has handled an event (the
// session ending), once the end of the program was requested: on the window thread, lets go of
// the screen and waits until the main thread stops the window thread in its exit routines, after
// it closed the files; then takes the screen again and returns. On any other thread (a window
// without a thread of its own) it returns at once, and the end comes at the next look for keys.
void holdWindowThreadUntilStopped();

// The table of a driver whose window lives on the window thread: every operation but init is the
// window thread's.
constexpr DisplayDriver windowThreadDriver(const char* name, decltype(DisplayDriver::init) init) {
    return {
        .name = name,
        .init = init,
        .shutdown = stopWindowThread,
        .lock = lockWindow,
        .unlock = unlockWindow,
        .setPalette = setWindowPalette,
        .getMouse = readWindowMouse,
        .setMouse = placeWindowMouse,
        .waitVsync = waitWindowVsync,
        .setWindowTitle = setWindowTitle,
    };
}

// The operations of a driver without a window thread, whose window lives on the thread that set
// the mode (the OpenGL drivers), from the operations of its presenter. The pointer as the window
// procedure last saw it: 0, or -1 when there is no window, it is not active or (windowed) the
// pointer is outside the picture, which also clears the buttons.
std::int32_t readOwnWindowMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                                std::int32_t* buttons);
void placeOwnWindowMouse(std::int32_t x, std::int32_t y, std::int32_t pointer);
void setOwnWindowTitle(const char* title);

// The table of such a driver: those operations, with its own init, shutdown, fetchModes and flip.
// The framebuffer is not its to show: no lock, no palette.
constexpr DisplayDriver ownWindowDriver(const char* name, decltype(DisplayDriver::init) init,
                                        decltype(DisplayDriver::shutdown) shutdown,
                                        decltype(DisplayDriver::fetchModes) fetchModes,
                                        decltype(DisplayDriver::flip) flip) {
    DisplayDriver driver{.name = name, .init = init, .shutdown = shutdown};
    driver.getMouse = readOwnWindowMouse;
    driver.setMouse = placeOwnWindowMouse;
    driver.waitVsync = waitWindowVsync;
    driver.setWindowTitle = setOwnWindowTitle;
    driver.fetchModes = fetchModes;
    driver.flip = flip;
    return driver;
}

// Sets up the window state for a driver's init: the driver's window operations, the size, depth,
// rate, flags and title it was given, with the window's system version.
void prepareWindowState(const WindowPresenter& presenter, const char* title, std::int32_t width,
                        std::int32_t height, std::int32_t depth, std::int32_t refreshRate,
                        std::int32_t flags, std::uint32_t systemVersion);

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
