// Numbered file channels: the process-wide channel table, its slots and the operations on them.
//
// Channel 0 is the screen (its device comes from the console layer); channels 1..MAX_CHANNEL name
// files; -1 is a reserved slot. Every operation records its RuntimeErrorCode in lastError and
// returns it where it has a result. Disk channels read and write through one buffer of
// FILE_BUFFER_SIZE bytes each; the knowledge-file reader takes its bytes straight from that buffer.
#pragma once

#include "files/file_system.hpp"
#include "runtime/errors.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr int MAX_CHANNEL = 254;
inline constexpr int FIRST_SLOT_CHANNEL = -1;
inline constexpr int CHANNEL_SLOTS = 257;
// 64 KiB: a scan of a large knowledge file makes few read calls, which cost more here than
// reading the bytes does.
inline constexpr std::size_t FILE_BUFFER_SIZE = 65536;
inline constexpr std::int32_t DEFAULT_RECORD_LENGTH = 128;
inline constexpr int MAX_PUSHED_BACK = 4;
// Slack after the stream buffer, so that vector scans may read a whole block past the last byte.
inline constexpr std::size_t STREAM_BUFFER_SLACK = 32;

// Lock modes of openChannel. The lock covers the whole file, is taken before the file is
// measured, and lasts until the channel is closed. Another process's conflicting lock is waited
// for; when the file was renamed over meanwhile, the file that now bears the name is opened.
inline constexpr std::int32_t CHANNEL_LOCK_NONE = 0;
inline constexpr std::int32_t CHANNEL_LOCK_SHARED = 1;    // readers: no writer meanwhile
inline constexpr std::int32_t CHANNEL_LOCK_EXCLUSIVE = 2; // writers: nobody else meanwhile

enum class OpenMode : std::int32_t {
    ByteAccess = 0,
    RecordAccess = 1,
    ReadExisting = 2,
    WriteNew = 3,
    WriteAppend = 4,
};

enum class AccessMode : std::int32_t {
    Unspecified = 0,
    ReadOnly = 1,
    WriteOnly = 2,
    ReadWrite = 3,
};

enum class TextEncoding : std::int32_t { PlainBytes = 0 };

// The buffered stream of an open disk channel. The buffer holds either unread bytes (read side:
// readPosition..readEnd) or bytes not yet written (write side: `pending` bytes from the start).
struct ChannelStream {
    OsFile file;
    std::unique_ptr<std::uint8_t[]> buffer;
    std::uint8_t* readPosition = nullptr;
    std::uint8_t* readEnd = nullptr;
    std::size_t pending = 0;
    std::int64_t bufferOrigin = 0; // file position of buffer[0]
    bool endOfFile = false;        // a read has met the end of the data
    bool failed = false;           // a read, write or flush has failed since the open
};

struct FileChannel;

// The operations of an open channel: the disk files' and the screen's. A device that cannot do
// something leaves its slot empty; the channel operation then gives 1.
struct FileDevice {
    int (*atEnd)(FileChannel& channel) = nullptr;
    RuntimeErrorCode (*close)(FileChannel& channel) = nullptr;
    RuntimeErrorCode (*readBytes)(FileChannel& channel, std::uint8_t* buffer, std::size_t count,
                                  std::size_t* delivered) = nullptr;
    RuntimeErrorCode (*writeBytes)(FileChannel& channel, const std::uint8_t* bytes,
                                   std::size_t count) = nullptr;
    // Force written bytes to disk, and cut the file back to a length.
    RuntimeErrorCode (*sync)(FileChannel& channel) = nullptr;
    RuntimeErrorCode (*truncate)(FileChannel& channel, std::int64_t length) = nullptr;
};

struct FileChannel {
    OpenMode mode = OpenMode::ByteAccess;
    // ByteAccess, RecordAccess, ReadExisting: the file's length at the open; WriteAppend: the write
    // position at the open; WriteNew: 0. 64 bits, so files over 2 GiB are measured correctly.
    std::int64_t size = 0;
    AccessMode access = AccessMode::Unspecified;
    std::uint8_t pushedBack[MAX_PUSHED_BACK] = {}; // a stack: the next byte to hand out is on top
    int pushedCount = 0;
    const FileDevice* device = nullptr; // set exactly while the channel is open
    ChannelStream stream;
    std::int32_t recordLength = 0;
    std::int32_t lockMode = 0;
    TextEncoding encoding = TextEncoding::PlainBytes;
    std::int32_t outputColumn = 0;
    std::int32_t lineWidth = 0;
    void* context = nullptr; // device-specific (the screen channel keeps its state here)

    bool isOpen() const { return device != nullptr; }
};

// Clears every slot (closing nothing) and marks the table ready. Done when the conversation
// starts.
void resetChannelTable();

namespace detail {
// The process-wide channel table; slot i is channel i + FIRST_SLOT_CHANNEL.
extern FileChannel channelTable[CHANNEL_SLOTS];
} // namespace detail

// The slot of `channel`, or null for a number outside -1..MAX_CHANNEL.
inline FileChannel* channelSlot(int channel) {
    if (channel < FIRST_SLOT_CHANNEL || channel > MAX_CHANNEL) {
        return nullptr;
    }
    return &detail::channelTable[channel - FIRST_SLOT_CHANNEL];
}
// The slot of `channel` when it is open, else null.
inline FileChannel* openChannelSlot(int channel) {
    FileChannel* slot = channelSlot(channel);
    return slot != nullptr && slot->isOpen() ? slot : nullptr;
}

// Binds a device other than a disk file to a slot (the screen's channel 0). No error code.
void attachChannelDevice(int channel, const FileDevice* device, void* context);

// WriteNew always makes a new file: whatever bears the name is removed first, so a link of that
// name is never followed and a file linked elsewhere is never emptied. An open that fails leaves
// the channel closed, also when it fails after the file was opened (its length cannot be
// measured, or its buffer cannot be had).
RuntimeErrorCode openChannel(std::string_view name, OpenMode mode, AccessMode access,
                             std::int32_t lockMode, int channel, std::int32_t recordLength);
// 3 when writing out the buffered bytes or closing the file failed; the channel is closed anyway.
RuntimeErrorCode closeChannel(int channel);
// The file position of the next byte a reader takes (pushed-back bytes count as unread).
inline std::int64_t readerPosition(const FileChannel& channel) {
    const ChannelStream& stream = channel.stream;
    return stream.bufferOrigin + (stream.readPosition - stream.buffer.get()) - channel.pushedCount;
}
// The end-of-file test, step by step.
int atEndOfFileByDevice(int channel);

// -1 at the end of the file, 0 before it, 1 when the number names no open channel. Answered at
// once while unread bytes of a file being read are in its buffer, as a reader asks per record.
inline int atEndOfFile(int channel) {
    const FileChannel* slot = openChannelSlot(channel);
    if (slot != nullptr && slot->mode == OpenMode::ReadExisting && slot->pushedCount == 0) {
        const ChannelStream& stream = slot->stream;
        const std::int64_t position =
            stream.bufferOrigin + (stream.readPosition - stream.buffer.get());
        if (stream.readPosition != stream.readEnd && position < slot->size) {
            setErrorCode(ERR_NONE);
            return 0;
        }
    }
    return atEndOfFileByDevice(channel);
}
// Delivers up to `buffer.size()` bytes: pushed-back bytes first, the most recently pushed first.
// At the end of the file fewer bytes come and the result is still 0.
RuntimeErrorCode readBytes(int channel, std::span<std::uint8_t> buffer, std::size_t* delivered);
RuntimeErrorCode writeBytes(int channel, std::span<const std::uint8_t> bytes);
RuntimeErrorCode writeBytes(int channel, std::string_view bytes);
// Puts `bytes` in front of the pending pushed-back bytes; more than MAX_PUSHED_BACK gives 3.
RuntimeErrorCode pushBack(int channel, std::span<const std::uint8_t> bytes);
RuntimeErrorCode pushBackByte(int channel, std::uint8_t byte);

// Writes out the channel's buffered bytes and forces them to disk. 3 when this, or any read or
// write since the open, failed; 1 when the channel is not open. This is how a writer learns that
// everything it wrote has really reached the file.
RuntimeErrorCode syncChannel(int channel);
// Drops buffered output and cuts the file back to `length` bytes.
RuntimeErrorCode truncateChannel(int channel, std::int64_t length);
// True when a read, write or flush on the open channel has failed since its open.
bool channelHasFailed(int channel);
// The identity of the channel's file as it is now. False when it cannot be told.
bool channelFileIdentity(int channel, OsFileIdentity* identity);
// The last byte of the channel's file as it is on disk, or -1 for an empty file or a read error.
int lastByteOfFile(int channel);
// Copies `length` bytes of the file of channel `from`, starting at `offset`, to the end of what
// was written on channel `to`, in large blocks. 3 when the source ends early or a read or write
// fails (the target channel is then marked failed).
RuntimeErrorCode copyFileBytes(int from, int to, std::int64_t offset, std::int64_t length);
// Why the most recent failed file operation of the channels (open, read, write, sync, close,
// rename) failed.
OsFailure lastFileFailure();

// Removes a file by name; always 0, whatever happened.
RuntimeErrorCode deleteFile(std::string_view name);
// Runs a command line; -1 for an empty one. lastError is left alone.
int runShellCommand(std::string_view command);
// Gives `from` the name `to` in one atomic step (replacing `to`) and syncs the folder, so the
// change lasts. 0, or 3 when either failed.
RuntimeErrorCode replaceFile(std::string_view from, std::string_view to);
// Syncs the folder that holds `name` (after a file was created there). 0, or 3.
RuntimeErrorCode syncFolderOf(std::string_view name);

// Reads more of the file into the buffer of an open disk channel, after its unread bytes (from
// the read position on), which are moved to the buffer's start first. Ended at the end of the
// data (or after a read error, which also marks the stream failed); NoRoom when the unread bytes
// fill the buffer.
enum class ReadMore { Read, NoRoom, Ended };
ReadMore readMoreKeepingUnread(FileChannel& channel);
// Refills the read buffer of an open disk channel whose buffer is used up, and returns its next
// byte, or -1 at the end of the data (or after a read error).
int refillAndTakeByte(FileChannel& channel);

// The next byte of an open channel: a pushed-back byte first, then the buffer, then the file.
// -1 at the end. Inline so that byte-by-byte readers make no call per byte.
inline int takeByte(FileChannel& channel) {
    if (channel.pushedCount > 0) {
        return channel.pushedBack[--channel.pushedCount];
    }
    ChannelStream& stream = channel.stream;
    if (stream.readPosition != stream.readEnd) {
        return *stream.readPosition++;
    }
    return refillAndTakeByte(channel);
}

} // namespace ulo
