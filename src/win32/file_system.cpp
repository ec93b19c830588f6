// The file system of Windows: file handles of the Windows API, UTF-8 names converted to UTF-16.
#include "win32/windows_platform.hpp"

#include "files/file_system.hpp"
#include "runtime/errors.hpp"
#include "win32/text_encoding.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>
#include <windows.h>

namespace ulo {
namespace {

// An open file. Its handle may be closed and opened again while its lock is awaited, and is
// closed when another file is renamed over it (see the whole-file locks below), so a channel
// holds this record, not the handle.
struct WindowsFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool append = false; // every write goes to the end of the file as it is at that moment
    std::wstring path;   // full path, for opening again
    DWORD access = 0;
    HANDLE lock = INVALID_HANDLE_VALUE; // the lock file's handle while a whole-file lock is held
};

WindowsFile& recordOf(OsFile file) {
    return *reinterpret_cast<WindowsFile*>(file.value);
}

HANDLE handleOf(OsFile file) {
    return recordOf(file).handle;
}

// Every file this process holds open, so that a rename over one of them can first close it.
std::mutex openFilesMutex;
std::vector<WindowsFile*> openFiles;

// How long a whole-file lock is waited for. Ulo holds its locks only while it reads or copies the
// knowledge file, never while it waits for the user, so only a stopped process keeps one longer.
constexpr DWORD LOCK_WAIT_MILLISECONDS = 30'000;

OsFailure lastFailureSeen = OsFailure::None;

constexpr OsFailureCodes WINDOWS_FAILURES[] = {
    {OsFailure::NotFound, {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME}},
    {OsFailure::DiskFull, {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL}},
    {OsFailure::NoPermission, {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {OsFailure::ReadOnly, {ERROR_WRITE_PROTECT}},
    {OsFailure::NotAFile, {ERROR_DIRECTORY, ERROR_BAD_FILE_TYPE}},
};

// Notes why the call that just failed failed; returns false for the caller to pass on.
bool noteFailure(DWORD error = ::GetLastError()) {
    lastFailureSeen = failureOfCode(WINDOWS_FAILURES, static_cast<long>(error));
    return false;
}

// The full form of `name`, so that two names of one file compare equal; empty on failure.
std::wstring fullPathOf(const std::wstring& name) {
    const DWORD length = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) {
        return {};
    }
    full.resize(written);
    return full;
}

bool samePath(const std::wstring& one, const std::wstring& other) {
    return ::CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                  static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// No sharing restriction, as on other systems: another program (or another Ulo) may read,
// write, rename or delete the file meanwhile.
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool windowsOpen(const char* name, OsOpenKind kind, OsFile* file) {
    const std::optional<std::wstring> wideName = wideFromUtf8(name);
    if (!wideName || wideName->empty()) {
        return noteFailure(ERROR_INVALID_NAME);
    }
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (kind) {
    case OsOpenKind::Read:
        break;
    case OsOpenKind::Write:
        access = GENERIC_WRITE;
        break;
    case OsOpenKind::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    case OsOpenKind::CreateReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case OsOpenKind::CreateWrite:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case OsOpenKind::Append:
        // Write access, not append-only access: a failed append is cut back off again.
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    case OsOpenKind::CreateNew:
        // Fails when the name exists, whatever it names (a link to data.dat too).
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    // A directory does not open without backup semantics; devices (CON, NUL, a pipe) open but
    // are refused below: only disk files are kept.
    const HANDLE handle = ::CreateFileW(wideName->c_str(), access, SHARE_ALL, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(wideName->c_str());
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return noteFailure(folder ? ERROR_DIRECTORY : error);
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return noteFailure(ERROR_BAD_FILE_TYPE);
    }
    auto* record = new WindowsFile{.handle = handle,
                                   .append = kind == OsOpenKind::Append,
                                   .path = fullPathOf(*wideName),
                                   .access = access};
    const std::lock_guard guard(openFilesMutex);
    openFiles.push_back(record);
    file->value = reinterpret_cast<std::intptr_t>(record);
    return true;
}

// The most one call moves, so that a count always fits the API's 32-bit sizes.
constexpr std::size_t MAX_TRANSFER = 1u << 30;

std::int64_t windowsRead(OsFile file, void* buffer, std::size_t count) {
    DWORD got = 0;
    if (!::ReadFile(handleOf(file), buffer, static_cast<DWORD>(std::min(count, MAX_TRANSFER)), &got,
                    nullptr)) {
        // The writing end of a pipe went away: that is its end of file.
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            return 0;
        }
        noteFailure(error);
        return -1;
    }
    return got;
}

std::int64_t windowsWrite(OsFile file, const void* bytes, std::size_t count) {
    const HANDLE handle = handleOf(file);
    const bool append = recordOf(file).append;
    const auto* next = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        // Both offsets all ones: at the end of the file, which moves the file pointer there too.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        DWORD put = 0;
        if (!::WriteFile(handle, next + done,
                         static_cast<DWORD>(std::min(count - done, MAX_TRANSFER)), &put,
                         append ? &atEnd : nullptr)) {
            noteFailure();
            break;
        }
        if (put == 0) {
            break;
        }
        done += put;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t windowsSeek(OsFile file, std::int64_t offset, OsSeekFrom from) {
    const DWORD method = from == OsSeekFrom::Start ? FILE_BEGIN
                         : from == OsSeekFrom::End ? FILE_END
                                                   : FILE_CURRENT;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(handleOf(file), distance, &position, method)) {
        return -1;
    }
    return position.QuadPart;
}

bool windowsSync(OsFile file) {
    if (::FlushFileBuffers(handleOf(file))) {
        return true;
    }
    // Devices (the console, a pipe) have nothing to write to a disk.
    return ::GetFileType(handleOf(file)) != FILE_TYPE_DISK || noteFailure();
}

bool windowsTruncate(OsFile file, std::int64_t length) {
    // Sets the end of the file without moving the file pointer.
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return ::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) ||
           noteFailure();
}

bool windowsClose(OsFile file) {
    WindowsFile* record = &recordOf(file);
    {
        const std::lock_guard guard(openFilesMutex);
        std::erase(openFiles, record);
    }
    // A handle closed by a rename over its file was closed without a fault.
    const bool closed =
        record->handle == INVALID_HANDLE_VALUE || ::CloseHandle(record->handle) != 0;
    if (record->lock != INVALID_HANDLE_VALUE) {
        ::CloseHandle(record->lock); // which gives the whole-file lock up
    }
    delete record;
    return closed;
}

int windowsRemove(const char* name) {
    const std::optional<std::wstring> wideName = wideFromUtf8(name);
    if (!wideName) {
        return noteFailure(ERROR_INVALID_NAME), -1;
    }
    return ::DeleteFileW(wideName->c_str()) || noteFailure() ? 0 : -1;
}

// How long a rename over a file that another process holds open is tried again: another Ulo
// holds the knowledge file open without its lock only for a moment, between opening it and
// finding the lock taken.
constexpr DWORD REPLACE_WAIT_MILLISECONDS = 2'000;

// One rename that replaces the target, written through to the disk before it returns: at no
// moment is `to` missing, and after a crash it names either the old or the new file. Windows
// refuses to rename over a file that is open, so this process's own handles of `to` are closed
// first; a channel that holds the file's lock keeps it, as the lock lives in the lock file.
bool windowsReplace(const char* from, const char* to) {
    const std::optional<std::wstring> wideFrom = wideFromUtf8(from);
    const std::optional<std::wstring> wideTo = wideFromUtf8(to);
    if (!wideFrom || !wideTo) {
        return noteFailure(ERROR_INVALID_NAME);
    }
    const std::wstring target = fullPathOf(*wideTo);
    {
        const std::lock_guard guard(openFilesMutex);
        for (WindowsFile* record : openFiles) {
            if (record->handle != INVALID_HANDLE_VALUE && samePath(record->path, target)) {
                ::CloseHandle(record->handle);
                record->handle = INVALID_HANDLE_VALUE;
            }
        }
    }
    DWORD pause = 1;
    DWORD waited = 0;
    for (;;) {
        if (::MoveFileExW(wideFrom->c_str(), wideTo->c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            waited >= REPLACE_WAIT_MILLISECONDS) {
            return noteFailure(error);
        }
        ::Sleep(pause);
        waited += pause;
        pause = std::min<DWORD>(pause * 2, 32);
    }
}

// The command interpreter (cmd.exe) runs the line; the wide call keeps non-ASCII names intact.
int windowsRunShell(const char* command) {
    const std::optional<std::wstring> wideCommand = wideFromUtf8(command);
    return wideCommand ? ::_wsystem(wideCommand->c_str()) : -1;
}

// Reads at `offset` and puts the file position back where it was (a read at an offset moves it
// on handles opened for ordinary, waiting reads).
std::int64_t windowsReadAt(OsFile file, void* buffer, std::size_t count, std::int64_t offset) {
    const HANDLE handle = handleOf(file);
    LARGE_INTEGER here{};
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(handle, here, &position, FILE_CURRENT)) {
        noteFailure();
        return -1;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    const bool read = ::ReadFile(handle, buffer, static_cast<DWORD>(std::min(count, MAX_TRANSFER)),
                                 &got, &at) != 0;
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    if (!read) {
        if (error == ERROR_HANDLE_EOF) {
            return 0;
        }
        noteFailure(error);
        return -1;
    }
    return got;
}

// Whole-file locks. They live in a hidden lock file beside the file, `NAME.lock`, one byte of
// which is locked, not in the file itself: Windows refuses to rename a file over one that is
// open, so the knowledge file's lock must outlast the handles of the file (see windowsReplace),
// and Windows' locks would keep other handles from reading the bytes they cover. While the lock
// is busy the file itself is closed, so that the holder can replace it, and once the lock is
// taken the file that then bears the name is opened again. A busy lock is tried again after a
// growing pause, so that Ctrl+C still ends Ulo while it waits. Windows gives the lock up when
// the lock file's handle is closed or the process ends.
HANDLE openLockFile(const std::wstring& path) {
    const std::wstring name = path + L".lock";
    HANDLE lock = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, SHARE_ALL, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (lock == INVALID_HANDLE_VALUE) { // a folder Ulo may not write to: one made before will do
        lock = ::CreateFileW(name.c_str(), GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return lock;
}

bool windowsLockFile(OsFile file, OsLock kind) {
    WindowsFile& record = recordOf(file);
    if (record.lock != INVALID_HANDLE_VALUE || record.path.empty()) {
        return true;
    }
    const HANDLE lock = openLockFile(record.path);
    if (lock == INVALID_HANDLE_VALUE) {
        return true; // no lock file can be made or opened: nothing can be replaced here either
    }
    const DWORD flags =
        (kind == OsLock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    DWORD pause = 1;
    DWORD waited = 0;
    for (;;) {
        OVERLAPPED at{};
        if (::LockFileEx(lock, flags, 0, 1, 0, &at)) {
            break;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) {
            ::CloseHandle(lock);
            return true; // a file system without locks: nothing to wait for
        }
        if (record.handle != INVALID_HANDLE_VALUE) {
            const std::lock_guard guard(openFilesMutex);
            ::CloseHandle(record.handle);
            record.handle = INVALID_HANDLE_VALUE;
        }
        if (waited >= LOCK_WAIT_MILLISECONDS) {
            ::CloseHandle(lock);
            lastFailureSeen = OsFailure::Busy;
            return false;
        }
        ::Sleep(pause);
        endIfRequested();
        waited += pause;
        pause = std::min<DWORD>(pause * 2, 32);
    }
    record.lock = lock;
    if (record.handle == INVALID_HANDLE_VALUE) {
        const HANDLE reopened = ::CreateFileW(record.path.c_str(), record.access, SHARE_ALL,
                                              nullptr, record.append ? OPEN_ALWAYS : OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (reopened == INVALID_HANDLE_VALUE) {
            return noteFailure();
        }
        const std::lock_guard guard(openFilesMutex);
        record.handle = reopened;
    }
    return true;
}

bool fileInformation(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    return ::GetFileInformationByHandle(handle, information) != 0 || noteFailure();
}

bool windowsIsNamed(OsFile file, const char* name) {
    const std::optional<std::wstring> wideName = wideFromUtf8(name);
    if (!wideName) {
        return noteFailure(ERROR_INVALID_NAME);
    }
    // Opened for no access at all: only to ask which file the name gives.
    const HANDLE named =
        ::CreateFileW(wideName->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return noteFailure();
    }
    BY_HANDLE_FILE_INFORMATION open{};
    BY_HANDLE_FILE_INFORMATION other{};
    const bool known = fileInformation(handleOf(file), &open) && fileInformation(named, &other);
    ::CloseHandle(named);
    return known && open.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           open.nFileIndexHigh == other.nFileIndexHigh && open.nFileIndexLow == other.nFileIndexLow;
}

std::int64_t nanosecondsOf(LARGE_INTEGER time) {
    return time.QuadPart * 100; // counted in 100 ns steps
}

bool windowsIdentify(OsFile file, OsFileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION information{};
    FILE_BASIC_INFO times{};
    if (!fileInformation(handleOf(file), &information) ||
        !::GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &times, sizeof times)) {
        return noteFailure();
    }
    identity->device = information.dwVolumeSerialNumber;
    identity->inode =
        static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    identity->size = static_cast<std::int64_t>(
        static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow);
    identity->modified = nanosecondsOf(times.LastWriteTime);
    identity->changed = nanosecondsOf(times.ChangeTime);
    return true;
}

// Nothing to do: renames are written through to the disk (MOVEFILE_WRITE_THROUGH), and the file
// system keeps its folders in its journal.
bool windowsSyncFolder(const char*) {
    return true;
}

OsFailure windowsLastFailure() {
    return lastFailureSeen;
}

} // namespace

const FileSystem WINDOWS_FILE_SYSTEM = {
    .open = windowsOpen,
    .read = windowsRead,
    .write = windowsWrite,
    .seek = windowsSeek,
    .sync = windowsSync,
    .truncate = windowsTruncate,
    .close = windowsClose,
    .remove = windowsRemove,
    .replace = windowsReplace,
    .runShell = windowsRunShell,
    .readAt = windowsReadAt,
    .copyRange = nullptr, // the channels copy through a block of their own
    .lock = windowsLockFile,
    .isNamed = windowsIsNamed,
    .identify = windowsIdentify,
    .syncFolder = windowsSyncFolder,
    .lastFailure = windowsLastFailure,
};

} // namespace ulo
