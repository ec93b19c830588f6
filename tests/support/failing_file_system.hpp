// A file system that behaves like the native one until told to fail: writes stop accepting
// bytes once a budget is spent (a full disk), syncs or renames fail on request.
#pragma once

#include "files/file_system.hpp"

#include <cstdint>
#include <limits>

namespace ulo::testing {

struct FailurePlan {
    std::int64_t writeBudget = std::numeric_limits<std::int64_t>::max(); // bytes still accepted
    bool failSync = false;
    bool failReplace = false;
    std::int64_t readBudget = std::numeric_limits<std::int64_t>::max(); // read calls still served
    int writes = 0;
    int replaces = 0;
};

// Installs the failing file system for the lifetime of the object.
class FailingFileSystem {
public:
    FailingFileSystem();
    ~FailingFileSystem();
    FailurePlan& plan();
};

} // namespace ulo::testing
