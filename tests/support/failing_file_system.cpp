#include "support/failing_file_system.hpp"

#include "runtime/platform.hpp"

#include <algorithm>
#include <set>

namespace ulo::testing {
namespace {

const FileSystem& native() {
    return *nativePlatform().fileSystem;
}

FailurePlan activePlan;
FileSystem failing;
const FileSystem* previous = nullptr;
std::set<std::intptr_t> writtenFiles;
OsFailure injected = OsFailure::None; // the reason of the last failure, when it was injected

bool inject(OsFailure reason) {
    injected = reason;
    return false;
}

bool failingOpen(const char* name, OsOpenKind kind, OsFile* file) {
    if (native().open(name, kind, file)) {
        return true;
    }
    injected = OsFailure::None; // a real failure: the native reason stands
    return false;
}

std::int64_t failingWrite(OsFile file, const void* bytes, std::size_t count) {
    ++activePlan.writes;
    writtenFiles.insert(file.value);
    const std::int64_t allowed =
        std::min<std::int64_t>(static_cast<std::int64_t>(count), activePlan.writeBudget);
    const std::int64_t written =
        allowed > 0 ? native().write(file, bytes, static_cast<std::size_t>(allowed)) : 0;
    activePlan.writeBudget -= written;
    if (written < static_cast<std::int64_t>(count)) {
        inject(activePlan.writeFailure);
    }
    return written;
}

std::int64_t failingRead(OsFile file, void* buffer, std::size_t count) {
    if (activePlan.readBudget <= 0) {
        inject(activePlan.otherFailure);
        return -1;
    }
    --activePlan.readBudget;
    return native().read(file, buffer, count);
}

std::int64_t failingReadAt(OsFile file, void* buffer, std::size_t count, std::int64_t offset) {
    if (activePlan.readBudget <= 0) {
        inject(activePlan.otherFailure);
        return -1;
    }
    --activePlan.readBudget;
    return native().readAt(file, buffer, count, offset);
}

std::int64_t failingSeek(OsFile file, std::int64_t offset, OsSeekFrom from) {
    if (activePlan.failSeek) {
        inject(activePlan.otherFailure);
        return -1;
    }
    return native().seek(file, offset, from);
}

bool failingSync(OsFile file) {
    activePlan.log.push_back("sync");
    return activePlan.failSync ? inject(activePlan.otherFailure) : native().sync(file);
}

bool failingTruncate(OsFile file, std::int64_t length) {
    activePlan.log.push_back("truncate");
    return native().truncate(file, length);
}

bool failingClose(OsFile file) {
    activePlan.log.push_back("close");
    const bool written = writtenFiles.erase(file.value) > 0;
    const bool closed = native().close(file); // the descriptor is gone either way
    return activePlan.failClose && written ? inject(activePlan.otherFailure) : closed;
}

bool failingReplace(const char* from, const char* to) {
    ++activePlan.replaces;
    activePlan.log.push_back("replace");
    return activePlan.failReplace ? inject(activePlan.otherFailure) : native().replace(from, to);
}

bool failingSyncFolder(const char* name) {
    activePlan.log.push_back("syncFolder");
    return native().syncFolder(name);
}

OsFailure failingLastFailure() {
    return injected != OsFailure::None ? injected : native().lastFailure();
}

} // namespace

FailingFileSystem::FailingFileSystem() {
    activePlan = FailurePlan{};
    writtenFiles.clear();
    injected = OsFailure::None;
    failing = native();
    failing.open = failingOpen;
    failing.write = failingWrite;
    failing.read = failingRead;
    failing.readAt = failingReadAt;
    failing.copyRange = nullptr; // copies go through the reads and writes that can fail
    failing.seek = failingSeek;
    failing.sync = failingSync;
    failing.truncate = failingTruncate;
    failing.close = failingClose;
    failing.replace = failingReplace;
    failing.syncFolder = failingSyncFolder;
    failing.lastFailure = failingLastFailure;
    previous = useFileSystem(&failing);
}

FailingFileSystem::~FailingFileSystem() {
    useFileSystem(previous);
}

FailurePlan& FailingFileSystem::plan() {
    return activePlan;
}

} // namespace ulo::testing
