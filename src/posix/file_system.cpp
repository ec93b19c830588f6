// The file system of POSIX systems: plain file descriptors, names used as they are.
#include "posix/posix_platform.hpp"

#include "files/file_system.hpp"
#include "runtime/errors.hpp"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ulo {
namespace {

// How long a lock is waited for. Ulo holds its locks only while it reads or copies the
// knowledge file, never while it waits for the user, so only a stopped process keeps one longer.
constexpr int LOCK_WAIT_SECONDS = 30;

OsFailure lastFailureSeen = OsFailure::None;

constexpr OsFailureCodes ERRNO_FAILURES[] = {
    {OsFailure::NotFound, {ENOENT}},
    {OsFailure::DiskFull, {ENOSPC, EDQUOT, EFBIG}},
    {OsFailure::NoPermission, {EACCES, EPERM}},
    {OsFailure::ReadOnly, {EROFS}},
    {OsFailure::NotAFile, {EISDIR, ELOOP, ENXIO, ENODEV}},
};

// Notes why the call that just failed failed; returns false for the caller to pass on.
bool noteFailure(int error = errno) {
    lastFailureSeen = failureOfCode(ERRNO_FAILURES, error);
    return false;
}

int descriptor(OsFile file) {
    return static_cast<int>(file.value);
}

int openFlags(OsOpenKind kind) {
    switch (kind) {
    case OsOpenKind::Read:
        return O_RDONLY;
    case OsOpenKind::Write:
        return O_WRONLY;
    case OsOpenKind::ReadWrite:
        return O_RDWR;
    case OsOpenKind::CreateReadWrite:
        return O_RDWR | O_CREAT | O_TRUNC;
    case OsOpenKind::CreateWrite:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case OsOpenKind::Append:
        return O_RDWR | O_CREAT | O_APPEND;
    case OsOpenKind::CreateNew:
        // O_EXCL never follows a link: a link of that name, even to data.dat, makes it fail.
        return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    }
    return O_RDONLY;
}

bool posixOpen(const char* name, OsOpenKind kind, OsFile* file) {
    // Non-blocking, so that a FIFO (or a device) never holds the program inside the open; only
    // regular files are kept, and they are then used in the ordinary blocking way.
    const int flags = openFlags(kind) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd;
    do {
        fd = ::open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return noteFailure();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return noteFailure(ENODEV);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file->value = fd;
    return true;
}

std::int64_t posixRead(OsFile file, void* buffer, std::size_t count) {
    ssize_t got;
    do {
        got = ::read(descriptor(file), buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        noteFailure();
    }
    return got;
}

std::int64_t posixReadAt(OsFile file, void* buffer, std::size_t count, std::int64_t offset) {
    ssize_t got;
    do {
        got = ::pread(descriptor(file), buffer, count, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        noteFailure();
    }
    return got;
}

// copy_file_range copies in the kernel, between the page caches of the two files (or by sharing
// blocks where the file system can). Systems and file systems without it say so with one of these.
std::int64_t posixCopyRange(OsFile from, std::int64_t offset, OsFile to, std::size_t count) {
    auto at = static_cast<off_t>(offset);
    ssize_t copied;
    do {
        copied = ::copy_file_range(descriptor(from), &at, descriptor(to), nullptr, count, 0);
    } while (copied < 0 && errno == EINTR);
    if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                       errno == EINVAL || errno == EBADF)) {
        return OS_COPY_UNSUPPORTED;
    }
    if (copied < 0) {
        noteFailure();
    }
    return copied;
}

std::int64_t posixWrite(OsFile file, const void* bytes, std::size_t count) {
    const auto* next = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(descriptor(file), next + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            noteFailure(put == 0 ? ENOSPC : errno);
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t posixSeek(OsFile file, std::int64_t offset, OsSeekFrom from) {
    const int whence = from == OsSeekFrom::Start ? SEEK_SET
                       : from == OsSeekFrom::End ? SEEK_END
                                                 : SEEK_CUR;
    const off_t position = ::lseek(descriptor(file), static_cast<off_t>(offset), whence);
    if (position < 0) {
        noteFailure();
    }
    return position;
}

bool posixSync(OsFile file) {
    if (::fsync(descriptor(file)) == 0) {
        return true;
    }
    // Special files (a terminal, a pipe) cannot be synced and need not be.
    return errno == EINVAL || errno == EROFS || noteFailure();
}

bool posixTruncate(OsFile file, std::int64_t length) {
    return ::ftruncate(descriptor(file), static_cast<off_t>(length)) == 0 || noteFailure();
}

bool posixClose(OsFile file) {
    // After EINTR the descriptor is gone on this system; it must not be closed twice.
    return ::close(descriptor(file)) == 0 || errno == EINTR || noteFailure();
}

// Whole-file locks of the open file (flock): they belong to this open file alone, so closing
// another descriptor of the same file does not drop them, and any descriptor can take either
// kind. A busy lock is tried again after a growing pause instead of waiting inside the system
// call, so that an ending signal still ends Ulo while it waits.
bool posixLockFile(OsFile file, OsLock kind) {
    const int operation = (kind == OsLock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    timespec pause{0, 1'000'000};
    timespec waited{0, 0};
    for (;;) {
        if (::flock(descriptor(file), operation) == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return true; // a file system without locks: nothing to wait for
        }
        if (waited.tv_sec >= LOCK_WAIT_SECONDS) {
            lastFailureSeen = OsFailure::Busy;
            return false;
        }
        ::nanosleep(&pause, nullptr);
        endIfRequested();
        waited.tv_nsec += pause.tv_nsec;
        waited.tv_sec += waited.tv_nsec / 1'000'000'000;
        waited.tv_nsec %= 1'000'000'000;
        pause.tv_nsec = pause.tv_nsec < 32'000'000 ? pause.tv_nsec * 2 : pause.tv_nsec;
    }
}

bool posixIsNamed(OsFile file, const char* name) {
    struct stat open {};
    struct stat named {};
    if (::fstat(descriptor(file), &open) != 0 || ::stat(name, &named) != 0) {
        return noteFailure();
    }
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool posixIdentify(OsFile file, OsFileIdentity* identity) {
    struct stat info {};
    if (::fstat(descriptor(file), &info) != 0) {
        return noteFailure();
    }
    constexpr std::int64_t NANOSECONDS = 1'000'000'000;
    identity->device = info.st_dev;
    identity->inode = info.st_ino;
    identity->size = info.st_size;
    identity->modified = info.st_mtim.tv_sec * NANOSECONDS + info.st_mtim.tv_nsec;
    identity->changed = info.st_ctim.tv_sec * NANOSECONDS + info.st_ctim.tv_nsec;
    return true;
}

int posixRemove(const char* name) {
    const int result = ::unlink(name);
    if (result != 0) {
        noteFailure();
    }
    return result;
}

bool posixReplace(const char* from, const char* to) {
    return ::rename(from, to) == 0 || noteFailure();
}

// A new or renamed directory entry is only durable once its folder is synced.
bool posixSyncFolder(const char* name) {
    const std::string path(name);
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return noteFailure();
    }
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || noteFailure();
    ::close(fd);
    return synced;
}

int posixRunShell(const char* command) {
    return std::system(command);
}

OsFailure posixLastFailure() {
    return lastFailureSeen;
}

} // namespace

const FileSystem POSIX_FILE_SYSTEM = {
    .open = posixOpen,
    .read = posixRead,
    .write = posixWrite,
    .seek = posixSeek,
    .sync = posixSync,
    .truncate = posixTruncate,
    .close = posixClose,
    .remove = posixRemove,
    .replace = posixReplace,
    .runShell = posixRunShell,
    .readAt = posixReadAt,
    .copyRange = posixCopyRange,
    .lock = posixLockFile,
    .isNamed = posixIsNamed,
    .identify = posixIdentify,
    .syncFolder = posixSyncFolder,
    .lastFailure = posixLastFailure,
};

} // namespace ulo
