// The file system of Windows: file handles of the Windows API, UTF-8 names converted to UTF-16.
#include "win32/windows_platform.hpp"

#include "files/file_system.hpp"
#include "win32/text_encoding.hpp"

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <windows.h>

namespace ulo {
namespace {

HANDLE handleOf(OsFile file) {
    return reinterpret_cast<HANDLE>(file.value);
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
        return false;
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
        access = GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    }
    // No sharing restriction, as on other systems: another program (or another Ulo) may read,
    // write, rename or delete the file meanwhile. A directory does not open without backup
    // semantics, so it is refused here like a missing file.
    const HANDLE handle = ::CreateFileW(wideName->c_str(), access,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
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
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
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
                         append ? &atEnd : nullptr) ||
            put == 0) {
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
    return ::GetFileType(handleOf(file)) != FILE_TYPE_DISK;
}

bool windowsTruncate(OsFile file, std::int64_t length) {
    // Sets the end of the file without moving the file pointer.
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return ::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) != 0;
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
    return wideName && ::DeleteFileW(wideName->c_str()) ? 0 : -1;
}

// One rename that replaces the target, written through to the disk before it returns: at no
// moment is `to` missing, and after a crash it names either the old or the new file.
bool windowsReplace(const char* from, const char* to) {
    const std::optional<std::wstring> wideFrom = wideFromUtf8(from);
    const std::optional<std::wstring> wideTo = wideFromUtf8(to);
    return wideFrom && wideTo &&
           ::MoveFileExW(wideFrom->c_str(), wideTo->c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The command interpreter (cmd.exe) runs the line; the wide call keeps non-ASCII names intact.
int windowsRunShell(const char* command) {
    const std::optional<std::wstring> wideCommand = wideFromUtf8(command);
    return wideCommand ? ::_wsystem(wideCommand->c_str()) : -1;
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
};

} // namespace ulo
