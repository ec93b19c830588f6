#include "support/fake_drivers.hpp"

#include <array>
#include <cstdio>

namespace ulo::testing {
namespace {

struct Record {
    std::vector<std::string> calls;
    bool echo = false;
    std::set<std::pair<std::string, int>> successes;
    std::string title;
    int width = 0;
    int height = 0;
    int depth = 0;
};
Record record;

constexpr std::array<const char*, 3> NAMES = {"Alpha", "Beta", "Gamma"};

void note(std::string call) {
    if (record.echo) {
        std::fprintf(stderr, "%s\n", call.c_str());
    }
    record.calls.push_back(std::move(call));
}

template <int N>
std::int32_t fakeInit(const char* title, std::int32_t width, std::int32_t height,
                      std::int32_t depth, std::int32_t rate, std::int32_t flags) {
    note(std::string(NAMES[N]) + " init " + std::to_string(rate) + " flags " +
         std::to_string(flags));
    record.title = title;
    record.width = width;
    record.height = height;
    record.depth = depth;
    return record.successes.count({NAMES[N], rate}) != 0 ? 0 : -1;
}
template <int N>
void fakeShutdown() {
    note(std::string(NAMES[N]) + " shutdown");
}
template <int N>
void fakeLock() {
    note(std::string(NAMES[N]) + " lock");
}
template <int N>
void fakeUnlock() {
    note(std::string(NAMES[N]) + " unlock");
}
template <int N>
void fakeSetPalette(std::int32_t index, std::int32_t red, std::int32_t green, std::int32_t blue) {
    note(std::string(NAMES[N]) + " palette " + std::to_string(index) + " " + std::to_string(red) +
         " " + std::to_string(green) + " " + std::to_string(blue));
}

template <int N>
constexpr DisplayDriver fake() {
    return {.name = NAMES[N],
            .init = fakeInit<N>,
            .shutdown = fakeShutdown<N>,
            .lock = fakeLock<N>,
            .unlock = fakeUnlock<N>,
            .setPalette = fakeSetPalette<N>};
}
constexpr std::array<DisplayDriver, 3> DRIVERS = {fake<0>(), fake<1>(), fake<2>()};
constexpr std::array<const DisplayDriver*, 3> LIST = {&DRIVERS[0], &DRIVERS[1], &DRIVERS[2]};

} // namespace

FakeDrivers::FakeDrivers() {
    record = Record{};
    const DisplayDriverList list{LIST.data(), LIST.size()};
    useDisplayDrivers(&list);
}
FakeDrivers::~FakeDrivers() {
    useDisplayDrivers(nullptr);
}
void FakeDrivers::succeedOn(const std::string& name, int refreshRate) {
    record.successes.insert({name, refreshRate});
}
const std::vector<std::string>& FakeDrivers::calls() const {
    return record.calls;
}
void FakeDrivers::echoCalls() {
    record.echo = true;
}
void FakeDrivers::clearCalls() {
    record.calls.clear();
}
const DisplayDriver& FakeDrivers::driver(int index) const {
    return DRIVERS[static_cast<std::size_t>(index)];
}
std::string FakeDrivers::lastTitle() const {
    return record.title;
}
int FakeDrivers::lastWidth() const {
    return record.width;
}
int FakeDrivers::lastHeight() const {
    return record.height;
}
int FakeDrivers::lastDepth() const {
    return record.depth;
}

} // namespace ulo::testing
