#include "files/channels.hpp"

#include "files/file_system.hpp"
#include "runtime/platform.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace ulo {

FileChannel detail::channelTable[CHANNEL_SLOTS];

namespace {

using detail::channelTable;
bool tableReady = false;

const FileSystem* activeFileSystem = nullptr;
OsFailure lastFailure = OsFailure::None;

// Notes why the file system's operation that just failed failed; returns false to pass on.
bool noteFailure() {
    lastFailure = fileSystem().lastFailure();
    return false;
}

// The largest block copyFileBytes moves at once: large enough that copying runs at the speed of
// the disk, small enough for the program's modest memory.
constexpr std::size_t COPY_BLOCK_SIZE = 1 << 20;

void clearSlot(FileChannel& slot) {
    slot = FileChannel{};
}

// ---- the buffered stream -----------------------------------------------------------------

std::int64_t streamPosition(const ChannelStream& stream) {
    if (stream.pending > 0) {
        return stream.bufferOrigin + static_cast<std::int64_t>(stream.pending);
    }
    return stream.bufferOrigin + (stream.readPosition - stream.buffer.get());
}

// Writes the pending bytes. On a short write the unwritten rest is dropped and the stream marked
// failed: the bytes cannot be kept forever, and the failure stays visible to syncChannel.
bool flushPending(ChannelStream& stream) {
    if (stream.pending == 0) {
        return true;
    }
    const std::int64_t written =
        fileSystem().write(stream.file, stream.buffer.get(), stream.pending);
    const bool complete = written == static_cast<std::int64_t>(stream.pending);
    if (written > 0) {
        stream.bufferOrigin += written;
    }
    stream.pending = 0;
    if (!complete) {
        stream.failed = true;
        noteFailure();
    }
    return complete;
}

// Before writing: unread buffered bytes are given up and the file position set to where the
// reader stood, so that the bytes go where the caller expects them.
bool prepareWrite(ChannelStream& stream) {
    if (stream.readPosition != stream.readEnd) {
        const std::int64_t position = streamPosition(stream);
        if (fileSystem().seek(stream.file, position, OsSeekFrom::Start) < 0) {
            stream.failed = true;
            return noteFailure();
        }
        stream.bufferOrigin = position;
    } else if (stream.pending == 0) {
        stream.bufferOrigin = streamPosition(stream);
    }
    stream.readPosition = stream.readEnd = stream.buffer.get();
    return true;
}

bool isDiskChannel(const FileChannel& channel);

// ---- the disk-file device ---------------------------------------------------------------

int diskAtEnd(FileChannel& channel) {
    const std::int64_t position = streamPosition(channel.stream);
    switch (channel.mode) {
    case OpenMode::ByteAccess:
    case OpenMode::RecordAccess:
        return position >= channel.size ? -1 : 0;
    default:
        break;
    }
    if (channel.stream.endOfFile) {
        return -1;
    }
    if (channel.mode == OpenMode::ReadExisting) {
        return position >= channel.size ? -1 : 0;
    }
    return 0;
}

// A failed close counts: the file system may only report then that written bytes were lost.
RuntimeErrorCode diskClose(FileChannel& channel) {
    const bool flushed = flushPending(channel.stream);
    const bool closed = fileSystem().close(channel.stream.file) || noteFailure();
    return flushed && closed ? ERR_NONE : ERR_FILE_IO;
}

RuntimeErrorCode diskReadBytes(FileChannel& channel, std::uint8_t* buffer, std::size_t count,
                               std::size_t* delivered) {
    std::size_t done = 0;
    while (done < count) {
        const int byte = takeByte(channel);
        if (byte < 0) {
            break;
        }
        buffer[done++] = static_cast<std::uint8_t>(byte);
        // Copy what the buffer holds in one go.
        ChannelStream& stream = channel.stream;
        if (channel.pushedCount == 0 && stream.readPosition != stream.readEnd) {
            const std::size_t run = std::min<std::size_t>(
                count - done, static_cast<std::size_t>(stream.readEnd - stream.readPosition));
            std::memcpy(buffer + done, stream.readPosition, run);
            stream.readPosition += run;
            done += run;
        }
    }
    *delivered = done;
    return channel.stream.failed && done < count ? ERR_FILE_IO : ERR_NONE;
}

RuntimeErrorCode diskWriteBytes(FileChannel& channel, const std::uint8_t* bytes,
                                std::size_t count) {
    ChannelStream& stream = channel.stream;
    channel.pushedCount = 0;
    if (count > 0 && !prepareWrite(stream)) {
        return ERR_FILE_IO;
    }
    bool complete = true;
    while (count > 0) {
        if (stream.pending == FILE_BUFFER_SIZE) {
            complete = flushPending(stream) && complete;
        }
        const std::size_t room = FILE_BUFFER_SIZE - stream.pending;
        const std::size_t run = std::min(room, count);
        std::memcpy(stream.buffer.get() + stream.pending, bytes, run);
        stream.pending += run;
        bytes += run;
        count -= run;
    }
    return complete ? ERR_NONE : ERR_FILE_IO;
}

RuntimeErrorCode diskSync(FileChannel& channel) {
    ChannelStream& stream = channel.stream;
    flushPending(stream);
    if (!fileSystem().sync(stream.file)) {
        stream.failed = true;
        noteFailure();
    }
    return stream.failed ? ERR_FILE_IO : ERR_NONE;
}

RuntimeErrorCode diskTruncate(FileChannel& channel, std::int64_t length) {
    ChannelStream& stream = channel.stream;
    stream.pending = 0;
    stream.readPosition = stream.readEnd = stream.buffer.get();
    channel.pushedCount = 0;
    if (!fileSystem().truncate(stream.file, length) ||
        fileSystem().seek(stream.file, length, OsSeekFrom::Start) < 0) {
        noteFailure();
        return ERR_FILE_IO;
    }
    stream.bufferOrigin = length;
    // The shorter length must reach the disk as surely as the bytes it removes did.
    return fileSystem().sync(stream.file) || noteFailure() ? ERR_NONE : ERR_FILE_IO;
}

constexpr FileDevice DISK_FILE_DEVICE = {
    .atEnd = diskAtEnd,
    .close = diskClose,
    .readBytes = diskReadBytes,
    .writeBytes = diskWriteBytes,
    .sync = diskSync,
    .truncate = diskTruncate,
};

bool isDiskChannel(const FileChannel& channel) {
    return channel.device == &DISK_FILE_DEVICE;
}

RuntimeErrorCode closeSlot(FileChannel& slot) {
    const RuntimeErrorCode result =
        slot.device->close != nullptr ? slot.device->close(slot) : ERR_NONE;
    clearSlot(slot);
    return result;
}

void closeEveryFileChannel() {
    for (int channel = 1; channel <= MAX_CHANNEL; ++channel) {
        FileChannel& slot = *channelSlot(channel);
        if (slot.isOpen()) {
            closeSlot(slot);
        }
    }
}

// The exit routine: buffered output of channels left open reaches the disk at normal termination.
void closeChannelsAtExit() {
    closeEveryFileChannel();
    for (FileChannel& slot : channelTable) {
        clearSlot(slot);
    }
}

struct StreamModeChoice {
    OsOpenKind kind;
    bool valid;
};

StreamModeChoice chooseStreamMode(OpenMode mode, AccessMode access) {
    switch (mode) {
    case OpenMode::ByteAccess:
    case OpenMode::RecordAccess:
        if (access == AccessMode::ReadOnly) {
            return {OsOpenKind::Read, true};
        }
        if (access == AccessMode::WriteOnly) {
            return {OsOpenKind::CreateWrite, true};
        }
        return {OsOpenKind::ReadWrite, true};
    case OpenMode::ReadExisting:
        return {OsOpenKind::Read, true};
    case OpenMode::WriteNew:
        return {OsOpenKind::CreateNew, true};
    case OpenMode::WriteAppend:
        return {OsOpenKind::Append, true};
    }
    return {OsOpenKind::Read, false};
}

// Opens the file, with the fall-backs of the byte and record modes: a missing file is created
// for read-write access, and an unspecified access falls back to read-only.
bool openStream(std::string_view name, OpenMode mode, AccessMode& access, OsOpenKind kind,
                OsFile* file) {
    const std::string path(name);
    if (kind == OsOpenKind::CreateNew) {
        fileSystem().remove(path.c_str()); // a file, or a link, of that name
    }
    if (fileSystem().open(path.c_str(), kind, file)) {
        return true;
    }
    const bool byteModes = mode == OpenMode::ByteAccess || mode == OpenMode::RecordAccess;
    if (!byteModes || (access != AccessMode::Unspecified && access != AccessMode::ReadWrite)) {
        return false;
    }
    if (fileSystem().open(path.c_str(), OsOpenKind::CreateReadWrite, file)) {
        return true;
    }
    if (access == AccessMode::Unspecified &&
        fileSystem().open(path.c_str(), OsOpenKind::Read, file)) {
        access = AccessMode::ReadOnly;
        return true;
    }
    return false;
}

// How many times a file renamed over while its lock was awaited is opened anew.
constexpr int LOCK_REOPENS = 1000;

// Opens the file and takes the lock asked for. The lock is taken on an open file, and another
// process may meanwhile have renamed a new file over that name (a teaching step of another
// instance does): then the lock guards nothing, and the file that now bears the name is opened.
bool openLockedStream(std::string_view name, OpenMode mode, AccessMode& access, OsOpenKind kind,
                      std::int32_t lockMode, OsFile* file) {
    for (int attempt = 0;; ++attempt) {
        if (!openStream(name, mode, access, kind, file)) {
            noteFailure();
            return false;
        }
        if (lockMode != CHANNEL_LOCK_SHARED && lockMode != CHANNEL_LOCK_EXCLUSIVE) {
            return true;
        }
        const OsLock lock = lockMode == CHANNEL_LOCK_SHARED ? OsLock::Shared : OsLock::Exclusive;
        if (!fileSystem().lock(*file, lock)) {
            noteFailure();
            fileSystem().close(*file);
            return false;
        }
        const std::string path(name);
        if (attempt == LOCK_REOPENS || fileSystem().isNamed(*file, path.c_str())) {
            return true;
        }
        fileSystem().close(*file);
    }
}

} // namespace

OsFailure failureOfCode(std::span<const OsFailureCodes> table, long code) {
    for (const OsFailureCodes& entry : table) {
        if (std::find(entry.codes.begin(), entry.codes.end(), code) != entry.codes.end()) {
            return entry.failure;
        }
    }
    return OsFailure::Other;
}

const FileSystem& fileSystem() {
    return activeFileSystem != nullptr ? *activeFileSystem : *nativePlatform().fileSystem;
}

const FileSystem* useFileSystem(const FileSystem* replacement) {
    const FileSystem* previous = &fileSystem();
    activeFileSystem = replacement;
    return previous;
}

void resetChannelTable() {
    for (FileChannel& slot : channelTable) {
        clearSlot(slot);
    }
    tableReady = true;
}

void attachChannelDevice(int channel, const FileDevice* device, void* context) {
    if (FileChannel* slot = channelSlot(channel)) {
        clearSlot(*slot);
        slot->device = device;
        slot->context = context;
    }
}

RuntimeErrorCode openChannel(std::string_view name, OpenMode mode, AccessMode access,
                             std::int32_t lockMode, int channel, std::int32_t recordLength) {
    FileChannel* slot = channelSlot(channel);
    if (slot == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    registerExitRoutine(closeChannelsAtExit);
    if (slot->isOpen()) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }

    clearSlot(*slot);
    const StreamModeChoice choice = chooseStreamMode(mode, access);
    if (!choice.valid) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    OsFile file;
    if (!openLockedStream(name, mode, access, choice.kind, lockMode, &file)) {
        clearSlot(*slot);
        return setErrorCode(lastFailure == OsFailure::Busy ? ERR_FILE_IO : ERR_FILE_NOT_FOUND);
    }

    // The length is measured before the slot is bound: a file that cannot be measured is closed
    // again, so that no later write goes to a file the caller was told did not open.
    std::int64_t size = 0;
    if (mode != OpenMode::WriteNew) {
        size = fileSystem().seek(file, 0, OsSeekFrom::End);
        if (size < 0 ||
            (mode != OpenMode::WriteAppend && fileSystem().seek(file, 0, OsSeekFrom::Start) != 0)) {
            noteFailure();
            fileSystem().close(file);
            return setErrorCode(ERR_FILE_IO);
        }
    }
    auto* buffer = new (std::nothrow) std::uint8_t[FILE_BUFFER_SIZE + STREAM_BUFFER_SLACK]();
    if (buffer == nullptr) {
        fileSystem().close(file);
        return setErrorCode(ERR_OUT_OF_MEMORY);
    }
    slot->mode = mode;
    slot->size = size;
    slot->access = access == AccessMode::Unspecified ? AccessMode::ReadWrite : access;
    slot->lockMode = lockMode;
    slot->encoding = TextEncoding::PlainBytes;
    const bool keepsRecordLength = mode == OpenMode::RecordAccess ||
                                   mode == OpenMode::ReadExisting || mode == OpenMode::WriteNew;
    if (!keepsRecordLength) {
        slot->recordLength = 0;
    } else {
        slot->recordLength = recordLength < 1 ? DEFAULT_RECORD_LENGTH : recordLength;
    }
    ChannelStream& stream = slot->stream;
    stream.file = file;
    stream.buffer.reset(buffer);
    stream.readPosition = stream.readEnd = buffer;
    stream.bufferOrigin = mode == OpenMode::WriteAppend ? size : 0;
    slot->device = &DISK_FILE_DEVICE;
    return setErrorCode(ERR_NONE);
}

RuntimeErrorCode closeChannel(int channel) {
    if (channel == 0) {
        closeEveryFileChannel();
        return setErrorCode(ERR_NONE);
    }
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    return setErrorCode(closeSlot(*slot));
}

int atEndOfFileByDevice(int channel) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr) {
        setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
        return 1;
    }
    setErrorCode(ERR_NONE);
    if (slot->pushedCount > 0) {
        return 0;
    }
    return slot->device->atEnd != nullptr ? slot->device->atEnd(*slot) : 0;
}

RuntimeErrorCode readBytes(int channel, std::span<std::uint8_t> buffer, std::size_t* delivered) {
    *delivered = 0;
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr || slot->device->readBytes == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    return setErrorCode(slot->device->readBytes(*slot, buffer.data(), buffer.size(), delivered));
}

RuntimeErrorCode writeBytes(int channel, std::span<const std::uint8_t> bytes) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr || slot->device->writeBytes == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    slot->pushedCount = 0;
    const RuntimeErrorCode result = slot->device->writeBytes(*slot, bytes.data(), bytes.size());
    // The output column: bytes after the last CR or LF, or grown by the whole run.
    const auto lineEnd = std::find_if(bytes.rbegin(), bytes.rend(),
                                      [](std::uint8_t b) { return b == '\r' || b == '\n'; });
    const auto tail = static_cast<std::int32_t>(lineEnd - bytes.rbegin());
    slot->outputColumn = lineEnd == bytes.rend() ? slot->outputColumn + tail : tail;
    return setErrorCode(result);
}

RuntimeErrorCode writeBytes(int channel, std::string_view bytes) {
    return writeBytes(channel,
                      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

RuntimeErrorCode pushBack(int channel, std::span<const std::uint8_t> bytes) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    if (slot->pushedCount + static_cast<int>(bytes.size()) > MAX_PUSHED_BACK) {
        return setErrorCode(ERR_FILE_IO);
    }
    // The first of the new bytes must come out first, so it goes on top of the stack.
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
        slot->pushedBack[slot->pushedCount++] = *it;
    }
    return setErrorCode(ERR_NONE);
}

RuntimeErrorCode pushBackByte(int channel, std::uint8_t byte) {
    return pushBack(channel, std::span(&byte, 1));
}

RuntimeErrorCode syncChannel(int channel) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr || slot->device->sync == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    return setErrorCode(slot->device->sync(*slot));
}

RuntimeErrorCode truncateChannel(int channel, std::int64_t length) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr || slot->device->truncate == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    return setErrorCode(slot->device->truncate(*slot, length));
}

bool channelHasFailed(int channel) {
    const FileChannel* slot = openChannelSlot(channel);
    return slot != nullptr && isDiskChannel(*slot) && slot->stream.failed;
}

RuntimeErrorCode deleteFile(std::string_view name) {
    if (!name.empty()) {
        const std::string path(name);
        fileSystem().remove(path.c_str());
    }
    return setErrorCode(ERR_NONE);
}

int runShellCommand(std::string_view command) {
    if (command.empty()) {
        return -1;
    }
    const std::string line(command);
    return fileSystem().runShell(line.c_str());
}

RuntimeErrorCode replaceFile(std::string_view from, std::string_view to) {
    const std::string source(from);
    const std::string target(to);
    if (!fileSystem().replace(source.c_str(), target.c_str())) {
        noteFailure();
        return setErrorCode(ERR_FILE_IO);
    }
    return syncFolderOf(to);
}

RuntimeErrorCode syncFolderOf(std::string_view name) {
    const std::string path(name);
    return setErrorCode(fileSystem().syncFolder(path.c_str()) || noteFailure() ? ERR_NONE
                                                                               : ERR_FILE_IO);
}

bool channelFileIdentity(int channel, OsFileIdentity* identity) {
    const FileChannel* slot = openChannelSlot(channel);
    return slot != nullptr && isDiskChannel(*slot) &&
           (fileSystem().identify(slot->stream.file, identity) || noteFailure());
}

int lastByteOfFile(int channel) {
    FileChannel* slot = openChannelSlot(channel);
    if (slot == nullptr || !isDiskChannel(*slot)) {
        return -1;
    }
    // Measured past the buffered bytes, and the file position is put back where it was.
    const OsFile file = slot->stream.file;
    const std::int64_t position = fileSystem().seek(file, 0, OsSeekFrom::Current);
    const std::int64_t end = fileSystem().seek(file, 0, OsSeekFrom::End);
    if (position < 0 || fileSystem().seek(file, position, OsSeekFrom::Start) < 0) {
        return -1;
    }
    std::uint8_t last = 0;
    if (end <= 0 || fileSystem().readAt(file, &last, 1, end - 1) != 1) {
        return -1;
    }
    return last;
}

RuntimeErrorCode copyFileBytes(int from, int to, std::int64_t offset, std::int64_t length) {
    FileChannel* source = openChannelSlot(from);
    FileChannel* target = openChannelSlot(to);
    if (source == nullptr || target == nullptr || !isDiskChannel(*source) ||
        !isDiskChannel(*target)) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    ChannelStream& output = target->stream;
    if (length <= 0) {
        return setErrorCode(ERR_NONE);
    }
    if (!prepareWrite(output) || !flushPending(output)) {
        return setErrorCode(ERR_FILE_IO);
    }
    // Inside the system where it can (the bytes need not pass through the program), else
    // through a block of the program's own, read and then written.
    bool inSystem = fileSystem().copyRange != nullptr;
    std::unique_ptr<std::uint8_t[]> block;
    while (length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length, COPY_BLOCK_SIZE));
        std::int64_t got = 0;
        std::int64_t written = 0;
        if (inSystem) {
            got = written = fileSystem().copyRange(source->stream.file, offset, output.file, want);
            inSystem = got != OS_COPY_UNSUPPORTED;
        }
        if (!inSystem) {
            if (block == nullptr) {
                block.reset(new (std::nothrow) std::uint8_t[want]);
                if (block == nullptr) {
                    return setErrorCode(ERR_OUT_OF_MEMORY);
                }
            }
            got = fileSystem().readAt(source->stream.file, block.get(), want, offset);
            written = got > 0 ? fileSystem().write(output.file, block.get(),
                                                   static_cast<std::size_t>(got))
                              : 0;
        }
        if (got <= 0) {
            if (got == 0) {
                lastFailure = OsFailure::Other; // the file is shorter than it was measured
            } else {
                noteFailure();
            }
            output.failed = true;
            return setErrorCode(ERR_FILE_IO);
        }
        if (written > 0) {
            output.bufferOrigin += written;
        }
        if (written != got) {
            noteFailure();
            output.failed = true;
            return setErrorCode(ERR_FILE_IO);
        }
        offset += got;
        length -= got;
    }
    return setErrorCode(ERR_NONE);
}

OsFailure lastFileFailure() {
    return lastFailure;
}

ReadMore readMoreKeepingUnread(FileChannel& channel) {
    if (!isDiskChannel(channel)) {
        return ReadMore::Ended;
    }
    ChannelStream& stream = channel.stream;
    if (stream.pending > 0 && !flushPending(stream)) {
        return ReadMore::Ended;
    }
    const bool writeOnly = channel.mode == OpenMode::WriteNew ||
                           channel.mode == OpenMode::WriteAppend ||
                           channel.access == AccessMode::WriteOnly;
    if (writeOnly || (stream.endOfFile && channel.mode == OpenMode::ReadExisting)) {
        // Nothing to read from a write-only stream, and nothing is appended to a file while it is
        // read as an existing file: no need to ask the file system again.
        return ReadMore::Ended;
    }
    std::uint8_t* buffer = stream.buffer.get();
    const auto kept = static_cast<std::size_t>(stream.readEnd - stream.readPosition);
    if (kept == FILE_BUFFER_SIZE) {
        return ReadMore::NoRoom;
    }
    std::memmove(buffer, stream.readPosition, kept);
    stream.bufferOrigin += stream.readPosition - buffer;
    stream.readPosition = buffer;
    stream.readEnd = buffer + kept;
    const std::int64_t got =
        fileSystem().read(stream.file, stream.readEnd, FILE_BUFFER_SIZE - kept);
    if (got <= 0) {
        stream.endOfFile = true;
        if (got < 0) {
            stream.failed = true;
            noteFailure();
        }
        return ReadMore::Ended;
    }
    stream.readEnd += got;
    return ReadMore::Read;
}

int refillAndTakeByte(FileChannel& channel) {
    ChannelStream& stream = channel.stream;
    if (stream.readPosition == stream.readEnd && readMoreKeepingUnread(channel) != ReadMore::Read) {
        return -1;
    }
    return *stream.readPosition++;
}

} // namespace ulo
