// A file system that behaves like the native one until told to fail: writes stop accepting
// bytes once a budget is spent (a full disk), reads, syncs, seeks, closes or renames fail on
// request. It keeps a log of the operations that make data durable, in their order.
#pragma once

#include "files/file_system.hpp"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace ulo::testing {

struct FailurePlan {
    std::int64_t writeBudget = std::numeric_limits<std::int64_t>::max(); // bytes still accepted
    std::int64_t readBudget = std::numeric_limits<std::int64_t>::max();  // read calls still served
    bool failSync = false;
    bool failReplace = false;
    bool failClose = false; // closes of files that were written to
    bool failSeek = false;  // every seek (an open cannot measure its file)
    // Why an injected failure failed, as the file system reports it.
    OsFailure writeFailure = OsFailure::DiskFull;
    OsFailure otherFailure = OsFailure::Other;
    int writes = 0;
    int replaces = 0;
    // "sync", "truncate", "close", "replace", "syncFolder" as they happened (successful or not).
    std::vector<std::string> log;
};

// Installs the failing file system for the lifetime of the object.
class FailingFileSystem {
public:
    FailingFileSystem();
    ~FailingFileSystem();
    FailurePlan& plan();
};

} // namespace ulo::testing
