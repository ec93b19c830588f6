// The signals that end Ulo from outside (Ctrl+C, SIGTERM, SIGHUP, SIGQUIT) and the terminal's
// size change. Their handlers only take note and wake the console's waiting; the console (or the
// window's) acts on them from the main thread the next time it polls for keys, so that Ulo ends
// through its ordinary exit: exit routines run, channels are flushed and the terminal is given
// back.
#pragma once

#include <cstdint>

namespace ulo {

// Installs the handlers of the ending signals (once). Those found ignored stay ignored.
void watchTerminationSignals();
// Installs a handler for the terminal's size change (once).
void watchResizeSignal();

// A descriptor that becomes readable when a watched signal arrives, for poll; -1 before any
// handler is installed.
int signalWakeDescriptor();

// The exit code of the end that an ending signal asks for: 128 + the number of the first that
// arrived, 0 while none did (the platform's pendingEnd). Any thread may ask.
std::int32_t pendingEndCode();
// True, once, after the terminal's size changed.
bool takeResizeSignal();

} // namespace ulo
