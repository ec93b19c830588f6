// The Windows front of the portable window events: the window procedure of Ulo's window, which
// turns the window's messages into WindowEvents, its message pump, and the set-up that comes
// before the window (the window class, the pointer message, the screen saver), and the window
// thread's sleep between passes. Everything here runs on the window thread, with the screen lock
// held, except where said otherwise.
#pragma once

#include "screen/window_thread.hpp"

#include <cstdint>
#include <windows.h>

namespace ulo {

// The operating system's version as major * 256 + minor.
std::uint32_t windowsVersionWord();

// Registers the window message that shows and hides the pointer, switches the screen saver off
// for as long as the window class exists and registers the window class "vxgfxclass_" + the
// window's title, with the program's icon. False when the class cannot be registered.
bool openWindowClass();
// Unregisters the class and gives the screen saver its old setting; also after a failed open.
void closeWindowClass();

// The start of a window thread whose window is of Ulo's class (closeWindowClass is its stop): the
// thread presents above normal priority, so that echoes keep up while the main thread reads and
// writes files, and opens the class.
bool startWindowClassThread();
// Notes why the window could not be made (a text that lives for the process), for the line said
// when no window opens; windowClassFailureText gives the last one since the class was opened.
void noteWindowClassFailure(const char* why);
const char* windowClassFailureText();
const wchar_t* windowClassName();

// The place of a framed window of `style` whose client area is exactly the window state's size,
// centred on the primary display.
RECT centredFrame(DWORD style);
// Makes a window of Ulo's class, titled with the window state's title; null when it cannot.
HWND makeClassWindow(DWORD style, const RECT& place);

// The message that shows (wParam 1) or hides (0) the pointer on the window's own thread.
UINT pointerMessage();

// Takes every message waiting for the window's thread through the window procedure without
// waiting for one, while there is a window (it may be replaced on the way, by a full-screen
// switch). True when a key went down or up or the focus changed.
bool pumpWindowMessages(const HWND& window);

// Sleeps until a message for the thread arrives after the last pump, wakeWindowThread is called
// (by any thread; one call made before the wait ends it at once) or the time is up; the messages
// stay for the pump. False without a window. A presenter's waitEvents and wake: the wait runs
// without the screen lock.
bool waitForWindowMessages(HWND window, std::int32_t milliseconds);
void wakeWindowThread();

// Carries out the main thread's requests on `window` (title, pointer place and visibility),
// clearing each one served. A pointer place is in client coordinates, or in the display's when
// the window covers the whole display.
void applyWindowRequests(HWND window, bool wholeDisplay, WindowRequests& requests);

} // namespace ulo
