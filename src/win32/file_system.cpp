// The file system of Windows: file handles of the Windows API, UTF-8 names converted to UTF-16.
#include "win32/windows_platform.hpp"

#include "files/file_system.hpp"
#include "win32/end_requests.hpp"
#include "win32/text_encoding.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <windows.h>

namespace ulo {
namespace {

HANDLE handleOf(OsFile file) {
    return reinterpret_cast<HANDLE>(file.value);
}

// How long a whole-file lock is waited for. Ulo holds its locks only while it reads or copies the
// knowledge file, never while it waits for the user, so only a stopped process keeps one longer.
constexpr DWORD LOCK_WAIT_MILLISECONDS = 30'000;

OsFailure lastFailureSeen = OsFailure::None;

// Notes why the call that just failed failed; returns false for the caller to pass on.
bool noteFailure(DWORD error = ::GetLastError()) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        lastFailureSeen = OsFailure::NotFound;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        lastFailureSeen = OsFailure::DiskFull;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        lastFailureSeen = OsFailure::NoPermission;
        break;
    case ERROR_WRITE_PROTECT:
        lastFailureSeen = OsFailure::ReadOnly;
        break;
    case ERROR_DIRECTORY:
    case ERROR_BAD_FILE_TYPE:
        lastFailureSeen = OsFailure::NotAFile;
        break;
    default:
        lastFailureSeen = OsFailure::Other;
        break;
    }
    return false;
}

// Handles opened for appending: each write goes to the end of the file as it is at that moment,
// however other handles have grown it. Only the main thread uses channels.
std::vector<HANDLE> appendHandles;

bool isAppendHandle(HANDLE handle) {
    return std::find(appendHandles.begin(), appendHandles.end(), handle) != appendHandles.end();
}

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
    // No sharing restriction, as on other systems: another program (or another Ulo) may read,
    // write, rename or delete the file meanwhile. A directory does not open without backup
    // semantics; devices (CON, NUL, a pipe) open but are refused below: only disk files are kept.
    const HANDLE handle = ::CreateFileW(wideName->c_str(), access,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (kind == OsOpenKind::Append) {
        appendHandles.push_back(handle);
    }
    file->value = reinterpret_cast<std::intptr_t>(handle);
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
    const bool append = isAppendHandle(handle);
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
    const HANDLE handle = handleOf(file);
    appendHandles.erase(std::remove(appendHandles.begin(), appendHandles.end(), handle),
                        appendHandles.end());
    return ::CloseHandle(handle) != 0;
}

// A region as the lock functions take it: offset and length, each in two 32-bit halves.
struct LockRegion {
    DWORD offsetLow;
    DWORD offsetHigh;
    DWORD lengthLow;
    DWORD lengthHigh;
};

std::optional<LockRegion> lockRegionOf(std::int64_t offset, std::int64_t length) {
    if (offset < 0 || length <= 0) {
        return std::nullopt;
    }
    const auto start = static_cast<std::uint64_t>(offset);
    const auto size = static_cast<std::uint64_t>(length);
    return LockRegion{static_cast<DWORD>(start), static_cast<DWORD>(start >> 32),
                      static_cast<DWORD>(size), static_cast<DWORD>(size >> 32)};
}

// Takes the region at once or not at all: a region held through another handle, in this process
// or another, is refused without waiting.
bool windowsLockRegion(OsFile file, std::int64_t offset, std::int64_t length) {
    const std::optional<LockRegion> region = lockRegionOf(offset, length);
    return region && ::LockFile(handleOf(file), region->offsetLow, region->offsetHigh,
                                region->lengthLow, region->lengthHigh) != 0;
}

bool windowsUnlockRegion(OsFile file, std::int64_t offset, std::int64_t length) {
    const std::optional<LockRegion> region = lockRegionOf(offset, length);
    return region && ::UnlockFile(handleOf(file), region->offsetLow, region->offsetHigh,
                                  region->lengthLow, region->lengthHigh) != 0;
}

int windowsRemove(const char* name) {
    const std::optional<std::wstring> wideName = wideFromUtf8(name);
    if (!wideName) {
        return noteFailure(ERROR_INVALID_NAME), -1;
    }
    return ::DeleteFileW(wideName->c_str()) || noteFailure() ? 0 : -1;
}

// Renames the open file `from` over `to` with POSIX semantics: `to` may be open elsewhere (another
// Ulo reading it, or this one holding its lock), and those handles keep the old file. False when
// the system cannot rename so (before Windows 10, or a file system without it).
bool renameOverOpenFile(const std::wstring& from, const std::wstring& to) {
    const HANDLE file = ::CreateFileW(from.c_str(), DELETE | GENERIC_WRITE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD length = ::GetFullPathNameW(to.c_str(), 0, nullptr, nullptr);
    std::wstring target = L"\\??\\";
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(to.c_str(), length, full.data(), nullptr);
    bool renamed = false;
    if (written > 0 && written < length) {
        target.append(full.data(), written);
        const std::size_t nameBytes = target.size() * sizeof(wchar_t);
        std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* information = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        information->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        information->RootDirectory = nullptr;
        information->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(information->FileName, target.data(), nameBytes);
        renamed = ::SetFileInformationByHandle(file, FileRenameInfoEx, information,
                                               static_cast<DWORD>(buffer.size())) != 0;
        // The new name reaches the disk before Ulo goes on, as a write-through move would.
        renamed = renamed && ::FlushFileBuffers(file);
    }
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return renamed;
}

// One rename that replaces the target, written through to the disk before it returns: at no
// moment is `to` missing, and after a crash it names either the old or the new file.
bool windowsReplace(const char* from, const char* to) {
    const std::optional<std::wstring> wideFrom = wideFromUtf8(from);
    const std::optional<std::wstring> wideTo = wideFromUtf8(to);
    if (!wideFrom || !wideTo) {
        return noteFailure(ERROR_INVALID_NAME);
    }
    return renameOverOpenFile(*wideFrom, *wideTo) ||
           ::MoveFileExW(wideFrom->c_str(), wideTo->c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           noteFailure();
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

// Whole-file locks. Windows' locks keep other handles from reading and writing the bytes they
// cover, so these lock one byte far beyond any knowledge file instead: every Ulo locks that same
// byte, and the file's own bytes stay free for every reader. A busy lock is tried again after a
// growing pause, so that Ctrl+C still ends Ulo while it waits.
constexpr DWORD WHOLE_FILE_LOCK_OFFSET_HIGH = 0x40000000; // at 2^62

bool windowsLockFile(OsFile file, OsLock kind) {
    const DWORD flags =
        (kind == OsLock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    DWORD pause = 1;
    DWORD waited = 0;
    for (;;) {
        OVERLAPPED at{};
        at.OffsetHigh = WHOLE_FILE_LOCK_OFFSET_HIGH;
        if (::LockFileEx(handleOf(file), flags, 0, 1, 0, &at)) {
            return true;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) {
            return true; // a file system without locks: nothing to wait for
        }
        if (waited >= LOCK_WAIT_MILLISECONDS) {
            lastFailureSeen = OsFailure::Busy;
            return false;
        }
        ::Sleep(pause);
        endOnRequest();
        waited += pause;
        pause = std::min<DWORD>(pause * 2, 32);
    }
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
    .lockRegion = windowsLockRegion,
    .unlockRegion = windowsUnlockRegion,
    .remove = windowsRemove,
    .replace = windowsReplace,
    .runShell = windowsRunShell,
    .readAt = windowsReadAt,
    .lock = windowsLockFile,
    .isNamed = windowsIsNamed,
    .identify = windowsIdentify,
    .syncFolder = windowsSyncFolder,
    .lastFailure = windowsLastFailure,
};

} // namespace ulo
