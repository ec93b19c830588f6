// The pieces of the POSIX platform record, each defined in the file named after it.
#pragma once

#include "runtime/platform.hpp"

namespace ulo {

extern const SystemClock POSIX_CLOCK;      // system.cpp
void posixStartRuntime();                  // system.cpp
extern const FileSystem POSIX_FILE_SYSTEM; // file_system.cpp
const ConsoleHooks& posixProcessConsole(); // process_console.cpp
std::string posixProgramFilePath();        // platform.cpp

} // namespace ulo
