// Requests from outside to end Ulo: Ctrl+C and Ctrl+Break typed into the process's console, and
// the console closing (or the user logging off). The console's control handler only takes note
// and wakes the waiting console; the main thread ends Ulo at its next look for keys, through its
// normal exit, so exit routines run and files are closed.
#pragma once

#include <cstdint>
#include <windows.h>

namespace ulo {

// Installs the control handler (once); its removal runs at exit.
void watchEndRequests();
// The exit code of the end that was requested (that of a program ended by Ctrl+C), 0 while none
// was (the platform's pendingEnd). Any thread may ask.
std::int32_t pendingEndCode();
// Signalled when an end is requested, for waits.
HANDLE endRequestEvent();

} // namespace ulo
