#include "support/failing_file_system.hpp"

#include "runtime/platform.hpp"

#include <algorithm>

namespace ulo::testing {
namespace {

FailurePlan activePlan;
FileSystem failing;
const FileSystem* previous = nullptr;

std::int64_t failingWrite(OsFile file, const void* bytes, std::size_t count) {
    ++activePlan.writes;
    const std::int64_t allowed =
        std::min<std::int64_t>(static_cast<std::int64_t>(count), activePlan.writeBudget);
    const std::int64_t written =
        allowed > 0
            ? nativePlatform().fileSystem->write(file, bytes, static_cast<std::size_t>(allowed))
            : 0;
    activePlan.writeBudget -= written;
    return written;
}

std::int64_t failingRead(OsFile file, void* buffer, std::size_t count) {
    if (activePlan.readBudget <= 0) {
        return -1;
    }
    --activePlan.readBudget;
    return nativePlatform().fileSystem->read(file, buffer, count);
}

bool failingSync(OsFile file) {
    return !activePlan.failSync && nativePlatform().fileSystem->sync(file);
}

bool failingReplace(const char* from, const char* to) {
    ++activePlan.replaces;
    return !activePlan.failReplace && nativePlatform().fileSystem->replace(from, to);
}

} // namespace

FailingFileSystem::FailingFileSystem() {
    activePlan = FailurePlan{};
    failing = *nativePlatform().fileSystem;
    failing.write = failingWrite;
    failing.read = failingRead;
    failing.sync = failingSync;
    failing.replace = failingReplace;
    previous = useFileSystem(&failing);
}

FailingFileSystem::~FailingFileSystem() {
    useFileSystem(previous);
}

FailurePlan& FailingFileSystem::plan() {
    return activePlan;
}

} // namespace ulo::testing
