// The file system of POSIX systems: plain file descriptors, names used as they are.
#include "posix/posix_platform.hpp"

#include "files/file_system.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ulo {
namespace {

int descriptor(OsFile file) {
    return static_cast<int>(file.value);
}

bool posixOpen(const char* name, OsOpenKind kind, OsFile* file) {
    int flags = O_CLOEXEC;
    switch (kind) {
    case OsOpenKind::Read:
        flags |= O_RDONLY;
        break;
    case OsOpenKind::Write:
        flags |= O_WRONLY;
        break;
    case OsOpenKind::ReadWrite:
        flags |= O_RDWR;
        break;
    case OsOpenKind::CreateReadWrite:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case OsOpenKind::CreateWrite:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case OsOpenKind::Append:
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
    }
    int fd;
    do {
        fd = ::open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    // A directory opens for reading on this system, but it is no file to read or write.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    file->value = fd;
    return true;
}

std::int64_t posixRead(OsFile file, void* buffer, std::size_t count) {
    ssize_t got;
    do {
        got = ::read(descriptor(file), buffer, count);
    } while (got < 0 && errno == EINTR);
    return got;
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
    return ::lseek(descriptor(file), static_cast<off_t>(offset), whence);
}

bool posixSync(OsFile file) {
    if (::fsync(descriptor(file)) == 0) {
        return true;
    }
    // Special files (a terminal, a pipe) cannot be synced and need not be.
    return errno == EINVAL || errno == EROFS;
}

bool posixTruncate(OsFile file, std::int64_t length) {
    return ::ftruncate(descriptor(file), static_cast<off_t>(length)) == 0;
}

bool posixClose(OsFile file) {
    // After EINTR the descriptor is gone on this system; it must not be closed twice.
    return ::close(descriptor(file)) == 0 || errno == EINTR;
}

bool posixLock(OsFile file, std::int64_t offset, std::int64_t length, short type) {
    struct flock region {};
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = static_cast<off_t>(offset);
    region.l_len = static_cast<off_t>(length);
    return ::fcntl(descriptor(file), F_SETLK, &region) == 0;
}

bool posixLockRegion(OsFile file, std::int64_t offset, std::int64_t length) {
    return posixLock(file, offset, length, F_WRLCK);
}

bool posixUnlockRegion(OsFile file, std::int64_t offset, std::int64_t length) {
    return posixLock(file, offset, length, F_UNLCK);
}

int posixRemove(const char* name) {
    return ::unlink(name);
}

// The directory entry of a rename is only durable once its directory is synced.
bool syncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

bool posixReplace(const char* from, const char* to) {
    if (::rename(from, to) != 0) {
        return false;
    }
    return syncDirectoryOf(to);
}

int posixRunShell(const char* command) {
    return std::system(command);
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
    .lockRegion = posixLockRegion,
    .unlockRegion = posixUnlockRegion,
    .remove = posixRemove,
    .replace = posixReplace,
    .runShell = posixRunShell,
};

} // namespace ulo
