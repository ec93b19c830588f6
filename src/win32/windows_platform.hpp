// The pieces of the Windows platform record, each defined in the file named after it.
#pragma once

#include "runtime/platform.hpp"

namespace ulo {

extern const SystemClock WINDOWS_CLOCK;      // system.cpp
void windowsStartRuntime();                  // system.cpp
extern const FileSystem WINDOWS_FILE_SYSTEM; // file_system.cpp
const ConsoleHooks& windowsProcessConsole(); // process_console.cpp
std::string windowsProgramFilePath();        // platform.cpp
// The plain window: a framed window on the shared window thread, drawn with GDI.
extern const DisplayDriver GDI_DISPLAY_DRIVER; // gdi_driver.cpp
// The window of programs that draw with OpenGL (SCREEN_OPENGL), on the calling thread.
extern const DisplayDriver WGL_DISPLAY_DRIVER; // wgl_driver.cpp

} // namespace ulo
