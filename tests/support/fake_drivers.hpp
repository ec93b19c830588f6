// Display drivers that record what the screen asks of them, installed as the driver list.
#pragma once

#include "screen/display_driver.hpp"

#include <set>
#include <string>
#include <vector>

namespace ulo::testing {

// Three drivers named Alpha, Beta and Gamma. Each call is recorded as text, for instance
// "Beta init 60 flags 1" or "Alpha shutdown". init succeeds only for the (name, refresh rate)
// pairs given to succeedOn.
class FakeDrivers {
public:
    FakeDrivers();
    ~FakeDrivers();
    FakeDrivers(const FakeDrivers&) = delete;
    FakeDrivers& operator=(const FakeDrivers&) = delete;

    void succeedOn(const std::string& name, int refreshRate);
    // Also writes every call to standard error as it happens (for calls made at exit).
    void echoCalls();
    const std::vector<std::string>& calls() const;
    void clearCalls();
    const DisplayDriver& driver(int index) const;

    // The arguments of the last init.
    std::string lastTitle() const;
    int lastWidth() const;
    int lastHeight() const;
    int lastDepth() const;
};

} // namespace ulo::testing
