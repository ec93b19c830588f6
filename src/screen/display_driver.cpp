#include "screen/display_driver.hpp"

#include "runtime/platform.hpp"

namespace ulo {
namespace {

bool listReplaced = false;
DisplayDriverList replacement{nullptr, 0};

} // namespace

// The Null driver has no operation at all: nothing to start, lock or show.
const DisplayDriver NULL_DISPLAY_DRIVER = {.name = "Null"};

const std::int32_t* answerModes(const std::vector<std::int32_t>& modes, std::int32_t* count) {
    if (count != nullptr) {
        *count = static_cast<std::int32_t>(modes.size());
    }
    return modes.data();
}

DisplayDriverList displayDrivers() {
    if (listReplaced) {
        return replacement;
    }
    const auto drivers = nativePlatform().displayDrivers;
    return {drivers.data(), drivers.size()};
}

DisplayDriverList useDisplayDrivers(const DisplayDriverList* list) {
    const DisplayDriverList previous = displayDrivers();
    listReplaced = list != nullptr;
    replacement = list != nullptr ? *list : DisplayDriverList{nullptr, 0};
    return previous;
}

} // namespace ulo
