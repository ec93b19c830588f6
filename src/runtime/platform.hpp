// The platform record: everything the portable core needs of the operating system, as one table
// that each back-end library fills (POSIX, Windows). The core reaches the system only through
// the record in use; it never includes a platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ulo {

// Tables of the layers above, filled by the back-end; only pointers to them live here.
struct FileSystem;
struct ConsoleHooks;
struct DisplayDriver;

struct SystemClock {
    // Counts per second of the high-resolution counter; false when there is none.
    bool (*performanceFrequency)(std::int64_t* countsPerSecond);
    // The high-resolution counter, counted from system start.
    bool (*performanceCounter)(std::int64_t* count);
    // Milliseconds since system start, wrapping at 2^32.
    std::uint32_t (*tickCount)();
};

struct Platform {
    const char* name;
    SystemClock clock;
    // The platform's part of the run-time start: floating-point mode, standard handles.
    void (*startRuntime)();
    // The operating system's files (channels go through this table).
    const FileSystem* fileSystem;
    // Chooses the process's own console; called once, at the first text operation that reaches
    // it (a terminal, a console, or pipes and files).
    const ConsoleHooks& (*processConsole)();
    // The display drivers tried in order by the mode set, first to last.
    std::span<const DisplayDriver* const> displayDrivers;
    // The full path of the running program file; empty when the platform cannot tell.
    std::string (*programFilePath)();
    // Sounds a tone of `frequency` Hz lasting `milliseconds` and returns at once, playing it on
    // another thread (the bell of the consoles that sound a tone); nothing where the platform has
    // no sound for it.
    void (*beep)(std::int32_t frequency, std::int32_t milliseconds);
    // The exit code that a request from outside to end asks for (on POSIX an ending signal:
    // 128 + its number), 0 while none came. Any thread may ask.
    std::int32_t (*pendingEnd)();
    // The paragraphs of `ulo --help` that differ by platform: where Ulo shows its screen (with
    // VXGFX and Alt+Enter), and the exit status after an end requested from outside.
    const char* screenHelp;
    const char* endHelp;
};

// The record of the platform this program was built for: the one symbol a back-end library
// defines. Tests replace single tables where the layer offers it (useFileSystem, useClock,
// useDisplayDrivers), never the record.
const Platform& nativePlatform();

} // namespace ulo
