// Requests from outside to end Ulo: Ctrl+C and Ctrl+Break typed into the process's console, the
// console closing, and the user logging off or the system shutting down (told to the console,
// and to a window as the end of the session). Each is only noted, and wakes whatever the main
// thread waits on (keys, a sleep); the main thread ends Ulo at its next look for keys, through its
// normal exit, so exit routines run and files are closed.
#pragma once

#include <cstdint>
#include <windows.h>

namespace ulo {

// Installs the control handler (once; from the start of the run-time); its removal runs at exit.
void watchEndRequests();
// Notes that the end was requested, with the exit code of a program ended by Ctrl+C, and wakes the
// main thread's waits. Any thread.
void requestEnd();
// The exit code of the end that was requested (that of a program ended by Ctrl+C), 0 while none
// was (the platform's pendingEnd). Any thread may ask.
std::int32_t pendingEndCode();
// Signalled when an end is requested, for waits.
HANDLE endRequestEvent();

} // namespace ulo
