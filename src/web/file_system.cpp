// The browser's files: Emscripten's file system in a folder kept in IndexedDB. Writes land in
// memory; sync and syncFolder push the folder to IndexedDB and fail when it refuses them (the
// quota is full), so a teaching step is kept only when its new data.dat is there. Whole-file
// locks are Web Locks on the file's name, shared between tabs as flock's are between processes;
// each lock reads what other tabs kept before it is granted.
#include "web/web_platform.hpp"

#include <cerrno>
#include <emscripten.h>

namespace ulo {
namespace {

// Emscripten's open flags (its C library's values).
constexpr int READ_ONLY = 0;
constexpr int WRITE_ONLY = 1;
constexpr int READ_WRITE = 2;
constexpr int CREATE = 0100;
constexpr int EXCLUSIVE = 0200;
constexpr int TRUNCATE = 01000;
constexpr int APPEND = 02000;

int openFlags(OsOpenKind kind) {
    switch (kind) {
    case OsOpenKind::Read:
        return READ_ONLY;
    case OsOpenKind::Write:
        return WRITE_ONLY;
    case OsOpenKind::ReadWrite:
        return READ_WRITE;
    case OsOpenKind::CreateReadWrite:
        return READ_WRITE | CREATE | TRUNCATE;
    case OsOpenKind::CreateWrite:
        return WRITE_ONLY | CREATE | TRUNCATE;
    case OsOpenKind::Append:
        return READ_WRITE | CREATE | APPEND;
    case OsOpenKind::CreateNew:
        return WRITE_ONLY | CREATE | EXCLUSIVE;
    }
    return READ_ONLY;
}

// The page's file operations (UloPage.files): each answers -1 (or false) after a failure, which
// the page notes for lastFailure.
EM_JS(int, pageOpen, (const char* name, int flags, int notAFile),
      { return UloPage.files.open(UTF8ToString(name), flags, notAFile); });
EM_JS(double, pageRead, (int fd, void* buffer, double count, double offset),
      { return UloPage.files.read(fd, buffer, count, offset); });
EM_JS(double, pageWrite, (int fd, const void* bytes, double count),
      { return UloPage.files.write(fd, bytes, count); });
EM_JS(double, pageSeek, (int fd, double offset, int whence),
      { return UloPage.files.seek(fd, offset, whence); });
EM_JS(bool, pageTruncate, (int fd, double length), { return UloPage.files.truncate(fd, length); });
EM_JS(bool, pageClose, (int fd), { return UloPage.files.close(fd); });
EM_JS(int, pageRemove, (const char* name), { return UloPage.files.remove(UTF8ToString(name)); });
EM_JS(bool, pageRename, (const char* from, const char* to),
      { return UloPage.files.rename(UTF8ToString(from), UTF8ToString(to)); });
EM_JS(bool, pageIsNamed, (int fd, const char* name),
      { return UloPage.files.isNamed(fd, UTF8ToString(name)); });
// The file's inode, size and time of change (milliseconds) into `fields`.
EM_JS(bool, pageIdentify, (int fd, double* fields), { return UloPage.files.identify(fd, fields); });

EM_ASYNC_JS(bool, pageLock, (int fd, bool exclusive),
            { return await UloPage.lock(fd, exclusive); });

EM_ASYNC_JS(bool, pageKeep, (), { return await UloPage.keep(); });

EM_ASYNC_JS(bool, pageStartStorage, (), { return await UloPage.startStorage(); });

EM_JS(int, pageFailure, (), { return UloPage.failure(); });

int descriptor(OsFile file) {
    return static_cast<int>(file.value);
}

bool webOpen(const char* name, OsOpenKind kind, OsFile* file) {
    const int fd = pageOpen(name, openFlags(kind), ENODEV);
    if (fd < 0) {
        return false;
    }
    file->value = fd;
    return true;
}

std::int64_t webRead(OsFile file, void* buffer, std::size_t count) {
    return static_cast<std::int64_t>(pageRead(descriptor(file), buffer, count, -1));
}

std::int64_t webReadAt(OsFile file, void* buffer, std::size_t count, std::int64_t offset) {
    return static_cast<std::int64_t>(
        pageRead(descriptor(file), buffer, count, static_cast<double>(offset)));
}

std::int64_t webWrite(OsFile file, const void* bytes, std::size_t count) {
    return static_cast<std::int64_t>(pageWrite(descriptor(file), bytes, count));
}

std::int64_t webSeek(OsFile file, std::int64_t offset, OsSeekFrom from) {
    const int whence = from == OsSeekFrom::Start ? 0 : from == OsSeekFrom::Current ? 1 : 2;
    return static_cast<std::int64_t>(
        pageSeek(descriptor(file), static_cast<double>(offset), whence));
}

// Both syncs push the whole folder: IndexedDB keeps it in one transaction.
bool webSync(OsFile) {
    return pageKeep();
}

bool webSyncFolder(const char*) {
    return pageKeep();
}

bool webTruncate(OsFile file, std::int64_t length) {
    return pageTruncate(descriptor(file), static_cast<double>(length));
}

bool webClose(OsFile file) {
    return pageClose(descriptor(file));
}

bool webLock(OsFile file, OsLock kind) {
    return pageLock(descriptor(file), kind == OsLock::Exclusive);
}

bool webIsNamed(OsFile file, const char* name) {
    return pageIsNamed(descriptor(file), name);
}

bool webIdentify(OsFile file, OsFileIdentity* identity) {
    double fields[3] = {};
    if (!pageIdentify(descriptor(file), fields)) {
        return false;
    }
    constexpr std::int64_t NANOSECONDS_PER_MILLISECOND = 1'000'000;
    identity->device = 1;
    identity->inode = static_cast<std::uint64_t>(fields[0]);
    identity->size = static_cast<std::int64_t>(fields[1]);
    identity->modified = static_cast<std::int64_t>(fields[2]) * NANOSECONDS_PER_MILLISECOND;
    identity->changed = identity->modified;
    return true;
}

// A page has no command interpreter.
int noShell(const char*) {
    return -1;
}

// What the page reports besides the file system's error numbers.
constexpr int QUOTA_EXCEEDED = -1;
constexpr int STORAGE_REFUSED = -2;
constexpr int LOCK_TIMED_OUT = -3;

OsFailure webLastFailure() {
    switch (pageFailure()) {
    case 0:
        return OsFailure::None;
    case ENOENT:
        return OsFailure::NotFound;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case QUOTA_EXCEEDED:
        return OsFailure::DiskFull;
    case EACCES:
    case EPERM:
    case STORAGE_REFUSED:
        return OsFailure::NoPermission;
    case EROFS:
        return OsFailure::ReadOnly;
    case EISDIR:
    case ENODEV:
        return OsFailure::NotAFile;
    case LOCK_TIMED_OUT:
        return OsFailure::Busy;
    default:
        return OsFailure::Other;
    }
}

} // namespace

bool startWebStorage() {
    return pageStartStorage();
}

const FileSystem WEB_FILE_SYSTEM = {
    .open = webOpen,
    .read = webRead,
    .write = webWrite,
    .seek = webSeek,
    .sync = webSync,
    .truncate = webTruncate,
    .close = webClose,
    .remove = pageRemove,
    .replace = pageRename,
    .runShell = noShell,
    .readAt = webReadAt,
    .lock = webLock,
    .isNamed = webIsNamed,
    .identify = webIdentify,
    .syncFolder = webSyncFolder,
    .lastFailure = webLastFailure,
};

} // namespace ulo
