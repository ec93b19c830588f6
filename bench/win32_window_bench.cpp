// Figures of the Windows window (not tests), for one display driver: key press to pixels
// presented and the cost of one presentation pass. Run under Wine on an X server, or on Windows;
// win32_idle_cpu.sh measures the processor time while Ulo waits for a key.
//
//   ulo_window_bench DRIVER [keys]     DRIVER: DirectX or GDI
#include "console/keys.hpp"
#include "console/print.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_thread.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

bool allClean() {
    const ulo::ScreenLock lock(ulo::activeScreen());
    const ulo::ScreenState& screen = *ulo::activeScreen();
    return std::all_of(screen.dirty.get(), screen.dirty.get() + screen.height,
                       [](std::uint8_t flag) { return flag == 0; });
}

void waitUntilClean() {
    while (!allClean()) {
        std::this_thread::sleep_for(100us);
    }
}

// Key press to pixels: a second thread posts each character to the window's queue at a moment of
// its own; the main thread reads keys the way the line editor does (a look every 25 ms), echoes
// each one and waits until the window thread has presented it.
void keyLatency(HWND window, int keys) {
    std::atomic<std::int64_t> postedAt{0};
    std::atomic<bool> echoed{true};
    std::thread typist([&] {
        for (int i = 0; i < keys; ++i) {
            while (!echoed.load()) {
                std::this_thread::sleep_for(200us);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(3000 + (i * 7919) % 29000));
            echoed.store(false);
            postedAt.store(Clock::now().time_since_epoch().count());
            ::PostMessageW(window, WM_CHAR, static_cast<WPARAM>('a' + i % 26), 1);
        }
    });
    std::vector<double> toPopped, toPresented;
    for (int i = 0; i < keys; ++i) {
        while (!ulo::keyAvailable()) {
            ulo::sleepMilliseconds(25);
        }
        const ulo::KeyCode key = ulo::readKey();
        const auto posted = Clock::time_point(Clock::duration(postedAt.load()));
        const auto popped = Clock::now();
        const char echo[2] = {static_cast<char>(key), i % 78 == 77 ? '\n' : '\0'};
        ulo::printBuffer(std::string_view(echo, echo[1] != 0 ? 2 : 1), 0);
        waitUntilClean();
        const auto presented = Clock::now();
        echoed.store(true);
        toPopped.push_back(milliseconds(popped - posted));
        toPresented.push_back(milliseconds(presented - posted));
    }
    typist.join();
    std::printf("key press to pixels over %d keys (ms):   median   95th\n", keys);
    std::printf("  key popped by the editor               %6.2f %6.2f\n", percentile(toPopped, 0.5),
                percentile(toPopped, 0.95));
    std::printf("  row presented in the window            %6.2f %6.2f\n",
                percentile(toPresented, 0.5), percentile(toPresented, 0.95));
}

// The cost of one presentation pass, read from the window thread's own measurement.
void passCost(int rows, const char* label) {
    std::vector<double> costs;
    for (int i = 0; i < 50; ++i) {
        const auto before = ulo::windowPresentationStats().presentations;
        {
            ulo::ScreenState& screen = *ulo::activeScreen();
            const ulo::ScreenLock lock(&screen);
            std::fill(screen.dirty.get(), screen.dirty.get() + rows, 1);
        }
        waitUntilClean();
        const auto stats = ulo::windowPresentationStats();
        if (stats.presentations > before) {
            costs.push_back(static_cast<double>(stats.lastNanoseconds) / 1e6);
        }
    }
    std::printf("presentation pass, %-24s %6.3f ms median, %6.3f ms 95th\n", label,
                percentile(costs, 0.5), percentile(costs, 0.95));
}

// How often the window thread passes while nothing is to be shown: once for each message the
// window gets and at least once a second.
void idlePasses() {
    const auto before = ulo::windowPresentationStats().passes;
    std::this_thread::sleep_for(2s);
    const auto passes = ulo::windowPresentationStats().passes - before;
    std::printf("window thread passes while idle: %.1f a second\n",
                static_cast<double>(passes) / 2.0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DirectX|GDI [keys]\n", argv[0]);
        return 2;
    }
    const std::string driver = argv[1];
    const int keys = argc > 2 ? std::atoi(argv[2]) : 200;
    ::_putenv(("VXGFX=" + driver).c_str());
    if (ulo::setScreenMode(18, 32, 0, 0, 0) != 0 || ulo::activeScreen()->driver == nullptr ||
        driver != ulo::activeScreen()->driver->name) {
        std::fprintf(stderr, "no %s window could be opened\n", driver.c_str());
        return 1;
    }
    HWND window = ::GetForegroundWindow();
    if (window == nullptr) {
        window = ::FindWindowA(nullptr, "ulo_window_bench");
    }
    std::printf("%s\n", driver.c_str());
    waitUntilClean();
    idlePasses();
    keyLatency(window, keys);
    passCost(16, "one text row dirty:");
    passCost(480, "all rows dirty:");
    ulo::setScreenMode(0, 0, 0, 0, 0);
    return 0;
}
