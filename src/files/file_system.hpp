// The operating system's file operations, as one table that the platform back-end fills.
// Channels reach files only through it, so tests can put in a file system that fails on cue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace ulo {

// An open file of the operating system; `value` is the back-end's handle, -1 when none.
struct OsFile {
    std::intptr_t value = -1;
};

// Only regular files open: a directory, a FIFO, a device or a socket is refused, and opening
// never waits (a FIFO without a writer would otherwise hold the program in the open).
enum class OsOpenKind {
    Read,            // existing file, read only
    Write,           // existing file, write only
    ReadWrite,       // existing file, read and write
    CreateReadWrite, // create or empty, read and write
    CreateWrite,     // create or empty, write only
    Append,          // create if missing, read anywhere, every write goes to the end
    CreateNew,       // a new file, write only; fails when the name exists (never follows a link)
};

enum class OsSeekFrom { Start, Current, End };

enum class OsLock { Shared, Exclusive };

// Why the last failed operation failed, as far as a user is told.
enum class OsFailure {
    None,
    NotFound,     // no file of that name
    NotAFile,     // a directory, a FIFO, a device, a link where none may be
    DiskFull,     // no space left, or the quota is used up
    NoPermission, // the file or its folder may not be read or written
    ReadOnly,     // the file system is mounted read-only
    Busy,         // another process kept the file locked too long
    Other,        // an input/output error, or anything else
};

// The operating system's error codes that mean one failure; a back-end lists its codes in a table
// of these, and every code not listed there means Other.
struct OsFailureCodes {
    OsFailure failure;
    std::initializer_list<long> codes;
};

// The failure that the operating system's error `code` means, by `table`.
OsFailure failureOfCode(std::span<const OsFailureCodes> table, long code);

// What tells one state of a file from another: which file it is, its length and the times of its
// last changes (in nanoseconds). Equal identities mean the file was not written or replaced.
struct OsFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const OsFileIdentity&) const = default;
};

inline constexpr std::int64_t OS_COPY_UNSUPPORTED = -2;

struct FileSystem {
    // Opens `name` as asked. False when it cannot be opened: missing, not a regular file, no
    // permission.
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
    // Removes a file by name; 0 on success.
    int (*remove)(const char* name);
    // Gives the file `from` the name `to` in one atomic step, replacing any file of that name.
    // There is no moment at which `to` is missing. syncFolder makes the change durable.
    bool (*replace)(const char* from, const char* to);
    // Runs a command line through the system's command interpreter and returns its status.
    int (*runShell)(const char* command);
    // Bytes read at `offset` without moving the file position; 0 at the end, -1 on an error.
    std::int64_t (*readAt)(OsFile file, void* buffer, std::size_t count, std::int64_t offset);
    // Copies up to `count` bytes of `from`, at `offset`, to `to` at its file position, inside the
    // system, so that they need not pass through the program. The bytes copied; 0 at the end of
    // `from`, -1 on an error, OS_COPY_UNSUPPORTED when the system cannot copy between these
    // files. Null where the system has no such copy.
    std::int64_t (*copyRange)(OsFile from, std::int64_t offset, OsFile to, std::size_t count);
    // Locks the whole file against other processes (shared: against exclusive locks), waiting
    // while another process holds a conflicting lock, up to a limit. Closing the file releases
    // it. False when the wait ran out; a file system without locks grants every lock.
    bool (*lock)(OsFile file, OsLock kind);
    // True while `name` still names this open file (no other file was renamed over it).
    bool (*isNamed)(OsFile file, const char* name);
    bool (*identify)(OsFile file, OsFileIdentity* identity);
    // Forces the folder that holds `name` to the disk, so that a rename or a new file in it lasts.
    bool (*syncFolder)(const char* name);
    // The reason of the most recent failed operation.
    OsFailure (*lastFailure)();
};

// The file system that channels use now.
const FileSystem& fileSystem();

// Puts `replacement` in place of the file system in use (null: the native one); returns the old.
const FileSystem* useFileSystem(const FileSystem* replacement);

} // namespace ulo
