#include "screen/display_driver.hpp"

#include "runtime/platform.hpp"

namespace ulo {
namespace {

void doNothing() {}
void ignorePalette(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}

bool listReplaced = false;
DisplayDriverList replacement{nullptr, 0};

} // namespace

const DisplayDriver NULL_DISPLAY_DRIVER = {
    .name = "Null",
    .init = nullptr,
    .shutdown = nullptr,
    .lock = doNothing,
    .unlock = doNothing,
    .setPalette = ignorePalette,
    .getMouse = nullptr,
    .setMouse = nullptr,
};

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
