#include "files/channels.hpp"
#include "support/failing_file_system.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <thread>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ulo {
namespace {

using testing::readFile;
using testing::writeFile;

class Channels : public ::testing::Test {
protected:
    void SetUp() override { resetChannelTable(); }
    void TearDown() override { closeChannel(0); }

    static RuntimeErrorCode open(std::string_view name, OpenMode mode, int channel,
                                 AccessMode access = AccessMode::Unspecified,
                                 std::int32_t recordLength = 0) {
        return openChannel(name, mode, access, 0, channel, recordLength);
    }
    static std::string readAll(int channel) {
        std::string text;
        std::array<std::uint8_t, 3> chunk{};
        std::size_t got = 0;
        do {
            readBytes(channel, chunk, &got);
            text.append(reinterpret_cast<const char*>(chunk.data()), got);
        } while (got == chunk.size());
        return text;
    }

    testing::TemporaryDirectory directory;
};

TEST_F(Channels, MissingFileLeavesTheChannelClosed) {
    EXPECT_EQ(open("data.dat", OpenMode::ReadExisting, 1), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(lastErrorCode(), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(openChannelSlot(1), nullptr);
    EXPECT_EQ(atEndOfFile(1), 1);
    EXPECT_EQ(lastErrorCode(), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(closeChannel(1), ERR_ILLEGAL_FUNCTION_CALL);
    std::size_t got = 7;
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(readBytes(1, buffer, &got), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(writeBytes(1, "x"), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(pushBackByte(1, 'x'), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_FALSE(std::filesystem::exists("data.dat"));
}

TEST_F(Channels, DirectoriesAndUnreadableNamesDoNotOpen) {
    std::filesystem::create_directory("data.dat");
    EXPECT_EQ(open("data.dat", OpenMode::ReadExisting, 1), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(open("data.dat", OpenMode::WriteAppend, 2), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(open("no/such/dir/x", OpenMode::WriteNew, 2), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(openChannelSlot(2), nullptr);
}

#if !defined(_WIN32) // FIFOs, links and whole-file locks as POSIX systems have them
// Nothing but a regular file opens, and a FIFO (which would hold a plain open until another
// process opened its other end) is refused at once.
TEST_F(Channels, OnlyRegularFilesOpenAndNothingWaitsForAFifo) {
    ASSERT_EQ(::mkfifo("fifo", 0666), 0);
    EXPECT_EQ(open("fifo", OpenMode::ReadExisting, 1), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(lastFileFailure(), OsFailure::NotAFile);
    EXPECT_EQ(open("fifo", OpenMode::WriteAppend, 2), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(open("missing", OpenMode::ReadExisting, 1), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(lastFileFailure(), OsFailure::NotFound);
    EXPECT_EQ(openChannelSlot(1), nullptr);
    EXPECT_EQ(openChannelSlot(2), nullptr);
}

// WriteNew makes a new file: a link of that name is replaced, never written through, and a file
// linked elsewhere under that name keeps its bytes.
TEST_F(Channels, WriteNewNeverWritesThroughALink) {
    writeFile("target", "keep");
    std::filesystem::create_symlink("target", "soft");
    std::filesystem::create_hard_link("target", "hard");
    for (const char* name : {"soft", "hard"}) {
        ASSERT_EQ(open(name, OpenMode::WriteNew, 2), ERR_NONE) << name;
        writeBytes(2, "new");
        EXPECT_EQ(closeChannel(2), ERR_NONE);
        EXPECT_EQ(readFile(name), "new") << name;
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(name)));
    }
    EXPECT_EQ(readFile("target"), "keep");
}

// A lock waits for another holder, and when a new file was renamed over the name meanwhile (a
// teaching step of another instance), it is that new file which is opened and locked.
TEST_F(Channels, LocksWaitAndFollowAFileRenamedOverTheName) {
    writeFile("data.dat", "old");
    const int holder = ::open("data.dat", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    std::thread other([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let the open start waiting
        writeFile("new.dat", "newer");
        std::filesystem::rename("new.dat", "data.dat");
        ::close(holder);
    });
    EXPECT_EQ(openChannel("data.dat", OpenMode::ReadExisting, AccessMode::Unspecified,
                          CHANNEL_LOCK_EXCLUSIVE, 1, 0),
              ERR_NONE);
    other.join();
    EXPECT_EQ(readAll(1), "newer");
    closeChannel(1);
    // Shared locks stand beside each other and keep an exclusive one out until they are closed.
    EXPECT_EQ(openChannel("data.dat", OpenMode::ReadExisting, AccessMode::Unspecified,
                          CHANNEL_LOCK_SHARED, 2, 0),
              ERR_NONE);
    const int reader = ::open("data.dat", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(::flock(reader, LOCK_SH | LOCK_NB), 0);
    EXPECT_NE(::flock(reader, LOCK_EX | LOCK_NB), 0);
    closeChannel(2);
    EXPECT_EQ(::flock(reader, LOCK_EX | LOCK_NB), 0);
    ::close(reader);
}

#endif

TEST_F(Channels, FailedCloseIsReported) {
    testing::FailingFileSystem failing;
    failing.plan().failClose = true;
    ASSERT_EQ(open("f", OpenMode::WriteNew, 2), ERR_NONE);
    writeBytes(2, "abc");
    EXPECT_EQ(closeChannel(2), ERR_FILE_IO);
    EXPECT_EQ(openChannelSlot(2), nullptr);
}

// An open that fails after the file was opened (its length cannot be measured) leaves the channel
// closed and the file closed with it: a writer that went on would write to a file it was told
// did not open, and the file's lock would outlive the failure.
TEST_F(Channels, AnOpenThatCannotMeasureTheFileLeavesNothingOpen) {
    writeFile("data.dat", "old");
    for (const OpenMode mode : {OpenMode::ReadExisting, OpenMode::WriteAppend}) {
        {
            testing::FailingFileSystem failing;
            failing.plan().failSeek = true;
            EXPECT_EQ(openChannel("data.dat", mode, AccessMode::Unspecified, CHANNEL_LOCK_EXCLUSIVE,
                                  2, 0),
                      ERR_FILE_IO);
            EXPECT_EQ(openChannelSlot(2), nullptr);
            EXPECT_EQ(writeBytes(2, "x"), ERR_ILLEGAL_FUNCTION_CALL);
            EXPECT_EQ(failing.plan().log, std::vector<std::string>{"close"});
        }
        // Nothing holds the lock any more.
        EXPECT_EQ(
            openChannel("data.dat", mode, AccessMode::Unspecified, CHANNEL_LOCK_EXCLUSIVE, 2, 0),
            ERR_NONE);
        EXPECT_EQ(closeChannel(2), ERR_NONE);
    }
    EXPECT_EQ(readFile("data.dat"), "old");
}

TEST_F(Channels, NumbersOutsideTheTableAndBadModesAreRefused) {
    for (const int channel : {-2, 255, 1000}) {
        EXPECT_EQ(open("x", OpenMode::WriteNew, channel), ERR_ILLEGAL_FUNCTION_CALL);
        EXPECT_EQ(closeChannel(channel), ERR_ILLEGAL_FUNCTION_CALL);
        EXPECT_EQ(atEndOfFile(channel), 1);
    }
    EXPECT_EQ(open("x", static_cast<OpenMode>(5), 3), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(openChannelSlot(3), nullptr);
    EXPECT_FALSE(std::filesystem::exists("x"));
}

TEST_F(Channels, AppendCreatesAndWritesAtTheEnd) {
    ASSERT_EQ(open("data.dat", OpenMode::WriteAppend, 2), ERR_NONE);
    EXPECT_EQ(openChannelSlot(2)->size, 0);
    EXPECT_EQ(openChannelSlot(2)->recordLength, 0);
    EXPECT_EQ(writeBytes(2, "abc"), ERR_NONE);
    EXPECT_EQ(atEndOfFile(2), 0);
    EXPECT_EQ(closeChannel(2), ERR_NONE);
    ASSERT_EQ(open("data.dat", OpenMode::WriteAppend, 2), ERR_NONE);
    EXPECT_EQ(openChannelSlot(2)->size, 3);
    writeBytes(2, "de");
    closeChannel(2);
    EXPECT_EQ(readFile("data.dat"), "abcde");
}

TEST_F(Channels, WriteNewEmptiesAnExistingFile) {
    writeFile("temp.dat", "old contents");
    ASSERT_EQ(open("temp.dat", OpenMode::WriteNew, 2), ERR_NONE);
    EXPECT_EQ(openChannelSlot(2)->size, 0);
    EXPECT_EQ(openChannelSlot(2)->recordLength, DEFAULT_RECORD_LENGTH);
    EXPECT_EQ(readFile("temp.dat"), "");
    writeBytes(2, "new");
    closeChannel(2);
    EXPECT_EQ(readFile("temp.dat"), "new");
}

TEST_F(Channels, SecondOpenIsRefusedAndTheFirstFileStays) {
    writeFile("a", "abcdef");
    writeFile("b", "zzz");
    ASSERT_EQ(open("a", OpenMode::ReadExisting, 1), ERR_NONE);
    std::array<std::uint8_t, 2> two{};
    std::size_t got = 0;
    readBytes(1, two, &got);
    EXPECT_EQ(open("b", OpenMode::ReadExisting, 1), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(readAll(1), "cdef");
}

TEST_F(Channels, EndOfFileFollowsTheReader) {
    writeFile("empty", "");
    ASSERT_EQ(open("empty", OpenMode::ReadExisting, 1), ERR_NONE);
    EXPECT_EQ(atEndOfFile(1), -1);
    writeFile("two", "xy");
    ASSERT_EQ(open("two", OpenMode::ReadExisting, 2), ERR_NONE);
    EXPECT_EQ(openChannelSlot(2)->size, 2);
    EXPECT_EQ(atEndOfFile(2), 0);
    EXPECT_EQ(takeByte(*openChannelSlot(2)), 'x');
    EXPECT_EQ(atEndOfFile(2), 0);
    EXPECT_EQ(takeByte(*openChannelSlot(2)), 'y');
    EXPECT_EQ(atEndOfFile(2), -1);
    // A pending pushed-back byte means the channel is not at its end.
    EXPECT_EQ(pushBackByte(2, 'y'), ERR_NONE);
    EXPECT_EQ(atEndOfFile(2), 0);
    EXPECT_EQ(takeByte(*openChannelSlot(2)), 'y');
    EXPECT_EQ(takeByte(*openChannelSlot(2)), -1);
    EXPECT_EQ(atEndOfFile(2), -1);
}

TEST_F(Channels, ByteAccessMeasuresAgainstTheLengthAtOpen) {
    writeFile("bytes", "0123");
    ASSERT_EQ(open("bytes", OpenMode::ByteAccess, 3), ERR_NONE);
    EXPECT_EQ(openChannelSlot(3)->access, AccessMode::ReadWrite);
    EXPECT_EQ(openChannelSlot(3)->recordLength, 0);
    EXPECT_EQ(readAll(3), "0123");
    EXPECT_EQ(atEndOfFile(3), -1);
    // A missing file is created for read-write access.
    ASSERT_EQ(open("fresh", OpenMode::RecordAccess, 4, AccessMode::Unspecified, 0), ERR_NONE);
    EXPECT_EQ(openChannelSlot(4)->recordLength, DEFAULT_RECORD_LENGTH);
    EXPECT_TRUE(std::filesystem::exists("fresh"));
    EXPECT_EQ(open("missing", OpenMode::ByteAccess, 5, AccessMode::ReadOnly), ERR_FILE_NOT_FOUND);
}

TEST_F(Channels, ByteAccessFallsBackToReadOnly) {
    testing::runWherePermissionsBind([] {
        writeFile("locked", "data");
        std::filesystem::permissions("locked",
                                     std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
        if (testing::writableAnyway("locked")) {
            GTEST_SKIP() << "running with permission to write anything";
        }
        ASSERT_EQ(open("locked", OpenMode::ByteAccess, 3), ERR_NONE);
        EXPECT_EQ(openChannelSlot(3)->access, AccessMode::ReadOnly);
        EXPECT_EQ(readAll(3), "data");
        EXPECT_EQ(open("locked", OpenMode::ByteAccess, 4, AccessMode::ReadWrite),
                  ERR_FILE_NOT_FOUND);
    });
}

TEST_F(Channels, MixedReadAndWriteKeepTheirPositions) {
    writeFile("mixed", "abcdef");
    ASSERT_EQ(open("mixed", OpenMode::ByteAccess, 3), ERR_NONE);
    std::array<std::uint8_t, 2> two{};
    std::size_t got = 0;
    readBytes(3, two, &got);
    writeBytes(3, "XY");
    EXPECT_EQ(readAll(3), "ef");
    closeChannel(3);
    EXPECT_EQ(readFile("mixed"), "abXYef");
}

TEST_F(Channels, PushedBackBytesComeFirstInOrder) {
    writeFile("f", "tail");
    ASSERT_EQ(open("f", OpenMode::ReadExisting, 1), ERR_NONE);
    const std::array<std::uint8_t, 2> ab{'a', 'b'};
    const std::array<std::uint8_t, 2> cd{'c', 'd'};
    EXPECT_EQ(pushBack(1, ab), ERR_NONE);
    EXPECT_EQ(pushBack(1, cd), ERR_NONE);
    EXPECT_EQ(pushBackByte(1, 'e'), ERR_FILE_IO); // a fifth pending byte
    EXPECT_EQ(readAll(1), "cdabtail");
    // A write discards what was pushed back.
    ASSERT_EQ(open("w", OpenMode::WriteNew, 2), ERR_NONE);
    pushBack(2, ab);
    writeBytes(2, "z");
    EXPECT_EQ(openChannelSlot(2)->pushedCount, 0);
}

TEST_F(Channels, CloseZeroClosesEveryFileChannel) {
    ASSERT_EQ(open("one", OpenMode::WriteNew, 1), ERR_NONE);
    ASSERT_EQ(open("two", OpenMode::WriteNew, 2), ERR_NONE);
    writeBytes(1, "1");
    writeBytes(2, "2");
    EXPECT_EQ(closeChannel(0), ERR_NONE);
    EXPECT_EQ(openChannelSlot(1), nullptr);
    EXPECT_EQ(openChannelSlot(2), nullptr);
    EXPECT_EQ(readFile("one") + readFile("two"), "12");
}

TEST_F(Channels, LargeWritesAndReadsCrossTheBufferIntact) {
    std::string big;
    for (std::size_t i = 0; i < 3 * FILE_BUFFER_SIZE + 17; ++i) {
        big.push_back(static_cast<char>('a' + i % 23));
    }
    ASSERT_EQ(open("big", OpenMode::WriteNew, 1), ERR_NONE);
    writeBytes(1, big.substr(0, 100));
    writeBytes(1, big.substr(100));
    closeChannel(1);
    EXPECT_EQ(readFile("big"), big);
    ASSERT_EQ(open("big", OpenMode::ReadExisting, 1), ERR_NONE);
    EXPECT_EQ(readAll(1), big);
    EXPECT_EQ(atEndOfFile(1), -1);
}

TEST_F(Channels, BufferedOutputReachesTheDiskAtExit) {
    const testing::DeathTestDirectory shared(directory);
    EXPECT_EXIT(
        {
            std::filesystem::current_path(shared.path());
            open("unclosed", OpenMode::WriteNew, 7);
            writeBytes(7, "kept");
            terminate(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile("unclosed"), "kept");
}

TEST_F(Channels, FileOperationsByName) {
    EXPECT_EQ(deleteFile("never-there"), ERR_NONE);
    writeFile("doomed", "x");
    setErrorCode(3);
    EXPECT_EQ(deleteFile("doomed"), ERR_NONE);
    EXPECT_EQ(lastErrorCode(), ERR_NONE);
    EXPECT_FALSE(std::filesystem::exists("doomed"));
    EXPECT_EQ(runShellCommand(""), -1);
    setErrorCode(2);
#if defined(_WIN32)
    EXPECT_EQ(runShellCommand("exit 3"), 3); // the command interpreter's exit code
#else
    EXPECT_EQ(runShellCommand("exit 3") >> 8, 3); // a wait status
#endif
    EXPECT_EQ(lastErrorCode(), 2);
    writeFile("from", "new");
    writeFile("to", "old");
    EXPECT_EQ(replaceFile("from", "to"), ERR_NONE);
    EXPECT_EQ(readFile("to"), "new");
    EXPECT_FALSE(std::filesystem::exists("from"));
    EXPECT_EQ(replaceFile("from", "to"), ERR_FILE_IO);
}

TEST_F(Channels, ADiskFullWriteIsReportedAndCanBeUndone) {
    writeFile("log", "before");
    testing::FailingFileSystem failing;
    ASSERT_EQ(open("log", OpenMode::WriteAppend, 2), ERR_NONE);
    failing.plan().writeBudget = 5;
    // The bytes fit the buffer: the failure shows when they are flushed.
    EXPECT_EQ(writeBytes(2, "0123456789"), ERR_NONE);
    EXPECT_FALSE(channelHasFailed(2));
    EXPECT_EQ(syncChannel(2), ERR_FILE_IO);
    EXPECT_TRUE(channelHasFailed(2));
    EXPECT_EQ(readFile("log"), "before01234");
    EXPECT_EQ(truncateChannel(2, openChannelSlot(2)->size), ERR_NONE);
    closeChannel(2);
    EXPECT_EQ(readFile("log"), "before");
}

TEST_F(Channels, FailedSyncAndReadErrorsAreReported) {
    testing::FailingFileSystem failing;
    ASSERT_EQ(open("s", OpenMode::WriteNew, 2), ERR_NONE);
    writeBytes(2, "abc");
    failing.plan().failSync = true;
    EXPECT_EQ(syncChannel(2), ERR_FILE_IO);
    EXPECT_EQ(syncChannel(9), ERR_ILLEGAL_FUNCTION_CALL);
    closeChannel(2);

    ASSERT_EQ(open("s", OpenMode::ReadExisting, 1), ERR_NONE);
    failing.plan().readBudget = 0;
    std::array<std::uint8_t, 2> two{};
    std::size_t got = 0;
    EXPECT_EQ(readBytes(1, two, &got), ERR_FILE_IO);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(channelHasFailed(1));
    EXPECT_EQ(atEndOfFile(1), -1); // a reader stops instead of looping on the error
}

} // namespace
} // namespace ulo
