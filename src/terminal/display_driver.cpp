#include "terminal/display_driver.hpp"

namespace ulo {
namespace {

void doNothing() {}
void ignorePalette(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}

bool listReplaced = false;
DisplayDriverList replacement{nullptr, 0};

} // namespace

const DisplayDriver NULL_DISPLAY_DRIVER = {
    "Null",  nullptr, nullptr, doNothing, doNothing, ignorePalette,
    nullptr, nullptr, nullptr, nullptr,   nullptr,   nullptr,
};

DisplayDriverList displayDrivers() {
    return listReplaced ? replacement : platformDisplayDrivers();
}

DisplayDriverList useDisplayDrivers(const DisplayDriverList* list) {
    const DisplayDriverList previous = displayDrivers();
    listReplaced = list != nullptr;
    replacement = list != nullptr ? *list : DisplayDriverList{nullptr, 0};
    return previous;
}

} // namespace ulo
