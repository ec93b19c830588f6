// The operating system's file operations, as one table that the platform back-end fills.
// Channels reach files only through it, so tests can put in a file system that fails on cue.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ulo {

// An open file of the operating system; `value` is the back-end's handle, -1 when none.
struct OsFile {
    std::intptr_t value = -1;
};

enum class OsOpenKind {
    Read,            // existing file, read only
    Write,           // existing file, write only
    ReadWrite,       // existing file, read and write
    CreateReadWrite, // create or empty, read and write
    CreateWrite,     // create or empty, write only
    Append,          // create if missing, every write goes to the end
};

enum class OsSeekFrom { Start, Current, End };

struct FileSystem {
    // Opens `name` as asked. False when it cannot be opened: missing, a directory, no permission.
    bool (*open)(const char* name, OsOpenKind kind, OsFile* file);
    // Bytes read, 0 at the end of the file, -1 on an error.
    std::int64_t (*read)(OsFile file, void* buffer, std::size_t count);
    // Bytes accepted; fewer than `count` only when the file system failed (disk full, I/O error).
    std::int64_t (*write)(OsFile file, const void* bytes, std::size_t count);
    // The new position, or -1.
    std::int64_t (*seek)(OsFile file, std::int64_t offset, OsSeekFrom from);
    // Forces the file's written bytes to the disk.
    bool (*sync)(OsFile file);
    bool (*truncate)(OsFile file, std::int64_t length);
    bool (*close)(OsFile file);
    bool (*lockRegion)(OsFile file, std::int64_t offset, std::int64_t length);
    bool (*unlockRegion)(OsFile file, std::int64_t offset, std::int64_t length);
    // Removes a file by name; 0 on success.
    int (*remove)(const char* name);
    // Gives the file `from` the name `to` in one atomic step, replacing any file of that name,
    // and makes the change durable. There is no moment at which `to` is missing.
    bool (*replace)(const char* from, const char* to);
    // Runs a command line through the system's command interpreter and returns its status.
    int (*runShell)(const char* command);
};

// The file system that channels use now.
const FileSystem& fileSystem();

// Puts `replacement` in place of the file system in use (null: the native one); returns the old.
const FileSystem* useFileSystem(const FileSystem* replacement);

} // namespace ulo
