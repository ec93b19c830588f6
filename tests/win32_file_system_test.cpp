// The Windows file system table, called the way the channels call it.
#include "files/file_system.hpp"
#include "runtime/platform.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

namespace ulo {
namespace {

using testing::readFile;
using testing::writeFile;

class WindowsFileSystem : public ::testing::Test {
protected:
    const FileSystem& files = *nativePlatform().fileSystem;

    OsFile open(const char* name, OsOpenKind kind) {
        OsFile file;
        EXPECT_TRUE(files.open(name, kind, &file)) << name;
        return file;
    }
    void write(OsFile file, const std::string& bytes) {
        EXPECT_EQ(files.write(file, bytes.data(), bytes.size()),
                  static_cast<std::int64_t>(bytes.size()));
    }

    testing::TemporaryDirectory directory;
};

TEST_F(WindowsFileSystem, OpenKindsCreateEmptyAndRefuseAsAsked) {
    OsFile file;
    EXPECT_FALSE(files.open("missing", OsOpenKind::Read, &file));
    EXPECT_FALSE(files.open("missing", OsOpenKind::ReadWrite, &file));
    EXPECT_FALSE(std::filesystem::exists("missing"));
    std::filesystem::create_directory("folder");
    EXPECT_FALSE(files.open("folder", OsOpenKind::Read, &file));
    EXPECT_FALSE(files.open("folder", OsOpenKind::Append, &file));

    writeFile("data.dat", "old contents");
    file = open("data.dat", OsOpenKind::CreateWrite);
    write(file, "new");
    EXPECT_TRUE(files.close(file));
    EXPECT_EQ(readFile("data.dat"), "new");

    // Read and seek, with 64-bit positions.
    file = open("data.dat", OsOpenKind::Read);
    EXPECT_EQ(files.seek(file, 0, OsSeekFrom::End), 3);
    EXPECT_EQ(files.seek(file, 1, OsSeekFrom::Start), 1);
    char buffer[8] = {};
    EXPECT_EQ(files.read(file, buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "ew");
    EXPECT_EQ(files.read(file, buffer, sizeof buffer), 0);
    EXPECT_EQ(files.seek(file, std::int64_t{5} << 32, OsSeekFrom::Start), std::int64_t{5} << 32);
    EXPECT_EQ(files.seek(file, -1, OsSeekFrom::Start), -1);
    EXPECT_TRUE(files.close(file));
}

TEST_F(WindowsFileSystem, NamesAreUtf8) {
    const std::string name = "Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x98\xBA.dat"; // "Grüße ☺.dat"
    OsFile file = open(name.c_str(), OsOpenKind::CreateReadWrite);
    write(file, "x");
    EXPECT_TRUE(files.close(file));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(L"Gr\u00FC\u00DFe \u263A.dat")));
    EXPECT_EQ(files.remove(name.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty("."));
    // Bytes that are no UTF-8 name no file.
    EXPECT_FALSE(files.open("\xFF.dat", OsOpenKind::CreateWrite, &file));
    EXPECT_EQ(files.remove("\xFF.dat"), -1);
}

TEST_F(WindowsFileSystem, AppendsGoToTheEndAsItIsThen) {
    OsFile append = open("data.dat", OsOpenKind::Append);
    write(append, "ab");
    // Another handle grows the file meanwhile; the next append still lands after it.
    OsFile other = open("data.dat", OsOpenKind::ReadWrite);
    EXPECT_EQ(files.seek(other, 0, OsSeekFrom::End), 2);
    write(other, "cd");
    EXPECT_TRUE(files.close(other));
    write(append, "ef");
    EXPECT_EQ(files.seek(append, 0, OsSeekFrom::Current), 6);
    // A failed append is cut back off.
    EXPECT_TRUE(files.truncate(append, 4));
    EXPECT_TRUE(files.sync(append));
    EXPECT_TRUE(files.close(append));
    EXPECT_EQ(readFile("data.dat"), "abcd");
}

TEST_F(WindowsFileSystem, TruncateKeepsThePosition) {
    OsFile file = open("f", OsOpenKind::CreateReadWrite);
    write(file, "0123456789");
    EXPECT_TRUE(files.truncate(file, 4));
    EXPECT_EQ(files.seek(file, 0, OsSeekFrom::Current), 10);
    EXPECT_EQ(files.seek(file, 0, OsSeekFrom::End), 4);
    EXPECT_TRUE(files.close(file));
    EXPECT_EQ(readFile("f"), "0123");
}

TEST_F(WindowsFileSystem, WritesThatCannotBeDoneReportNothingWritten) {
    writeFile("data.dat", "keep");
    OsFile file = open("data.dat", OsOpenKind::Read);
    EXPECT_EQ(files.write(file, "xy", 2), 0);
    EXPECT_FALSE(files.truncate(file, 0));
    EXPECT_TRUE(files.close(file));
    EXPECT_EQ(readFile("data.dat"), "keep");
}

// Run where permissions bind (as an unprivileged user when the tests run as root).
TEST_F(WindowsFileSystem, ReadOnlyFileOpensForReadingOnly) {
    writeFile("data.dat", "keep");
    OsFile file{};
    std::filesystem::permissions("data.dat",
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    if (testing::writableAnyway("data.dat")) {
        GTEST_SKIP() << "running with permission to write anything";
    }
    EXPECT_FALSE(files.open("data.dat", OsOpenKind::Append, &file));
    EXPECT_FALSE(files.open("data.dat", OsOpenKind::CreateWrite, &file));
    EXPECT_EQ(readFile("data.dat"), "keep");
}

TEST_F(WindowsFileSystem, ReplaceIsOneRenameOverTheOldFile) {
    writeFile("data.dat", "old");
    writeFile("temp.dat", "new");
    EXPECT_TRUE(files.replace("temp.dat", "data.dat"));
    EXPECT_EQ(readFile("data.dat"), "new");
    EXPECT_FALSE(std::filesystem::exists("temp.dat"));
    // Without a source nothing changes.
    EXPECT_FALSE(files.replace("temp.dat", "data.dat"));
    EXPECT_EQ(readFile("data.dat"), "new");
    // Into a missing folder: refused, the source stays.
    writeFile("temp.dat", "newer");
    EXPECT_FALSE(files.replace("temp.dat", "no\\such\\data.dat"));
    EXPECT_EQ(readFile("temp.dat"), "newer");
}

// A teaching step replaces the knowledge file while holding its lock, and another Ulo may be
// waiting for that lock with the file open: neither handle may keep the rename from happening,
// and the waiter then reads the new file.
TEST_F(WindowsFileSystem, ALockedFileIsReplacedWhileAnotherWaitsForTheLock) {
    writeFile("data.dat", "old");
    OsFile holder = open("data.dat", OsOpenKind::Read);
    ASSERT_TRUE(files.lock(holder, OsLock::Exclusive));
    std::atomic<bool> waiting = false;
    bool locked = false;
    std::string seen(8, '\0');
    std::thread waiter([&] {
        OsFile other;
        ASSERT_TRUE(files.open("data.dat", OsOpenKind::Read, &other));
        waiting = true;
        locked = files.lock(other, OsLock::Shared);
        seen.resize(static_cast<std::size_t>(
            std::max<std::int64_t>(0, files.read(other, seen.data(), seen.size()))));
        files.close(other);
    });
    while (!waiting) {
        std::this_thread::yield();
    }
    writeFile("temp.dat", "new");
    EXPECT_TRUE(files.replace("temp.dat", "data.dat"));
    EXPECT_EQ(readFile("data.dat"), "new");
    EXPECT_TRUE(files.close(holder)); // its handle went with the rename; its lock goes now
    waiter.join();
    EXPECT_TRUE(locked);
    EXPECT_EQ(seen, "new");
}

TEST_F(WindowsFileSystem, TheCommandInterpreterRenames) {
    writeFile("temp.dat", "taught");
    EXPECT_EQ(files.runShell("ren temp.dat data.dat"), 0);
    EXPECT_EQ(readFile("data.dat"), "taught");
    EXPECT_FALSE(std::filesystem::exists("temp.dat"));
}

} // namespace
} // namespace ulo
