// Figures of the window (not tests): key press to pixels presented, the processor time Ulo takes
// while it waits for a key, and the cost of one presentation pass. Runs on $DISPLAY, or on a
// private virtual X server when none is set.
//
//   ulo_window_bench [keys]
#include "console/print.hpp"
#include "posix/sdl_driver.hpp"
#include "posix/sdl_library.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_thread.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// A virtual X server of our own when there is no display.
pid_t startVirtualDisplay() {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ready[1]);
    std::string number;
    pollfd entry{ready[0], POLLIN, 0};
    char c = 0;
    while (::poll(&entry, 1, 10000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') {
        number.push_back(c);
    }
    ::close(ready[0]);
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return pid;
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

// Key press to pixels: a second thread hands each key to the window system's queue at a moment
// of its own; the main thread reads keys the way the line editor does (a look every 25 ms),
// echoes each one and waits until the window thread has presented it.
void keyLatency(const ulo::SdlLibrary& sdl, int keys) {
    std::atomic<std::int64_t> pushedAt{0};
    std::atomic<bool> echoed{true};
    std::thread typist([&] {
        for (int i = 0; i < keys; ++i) {
            while (!echoed.load()) {
                std::this_thread::sleep_for(200us);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(3000 + (i * 7919) % 29000));
            SDL_Event event{};
            event.type = SDL_TEXTINPUT;
            event.text.windowID = ulo::sdlWindowId();
            event.text.text[0] = static_cast<char>('a' + i % 26);
            echoed.store(false);
            pushedAt.store(Clock::now().time_since_epoch().count());
            sdl.SDL_PushEvent(&event);
        }
    });
    std::vector<double> toPopped, toDrawn, toPresented;
    for (int i = 0; i < keys; ++i) {
        while (!ulo::keyAvailable()) {
            ulo::sleepMilliseconds(25);
        }
        const ulo::KeyCode key = ulo::readKey();
        const auto pushed = Clock::time_point(Clock::duration(pushedAt.load()));
        const auto popped = Clock::now();
        const char echo[2] = {static_cast<char>(key), i % 78 == 77 ? '\n' : '\0'};
        ulo::printBuffer(std::string_view(echo, echo[1] != 0 ? 2 : 1), 0);
        const auto drawn = Clock::now();
        waitUntilClean();
        const auto presented = Clock::now();
        echoed.store(true);
        toPopped.push_back(milliseconds(popped - pushed));
        toDrawn.push_back(milliseconds(drawn - pushed));
        toPresented.push_back(milliseconds(presented - pushed));
    }
    typist.join();
    std::printf("key press to pixels over %d keys (ms):   median   95th\n", keys);
    std::printf("  key popped by the editor               %6.2f %6.2f\n", percentile(toPopped, 0.5),
                percentile(toPopped, 0.95));
    std::printf("  row drawn into the framebuffer         %6.2f %6.2f\n", percentile(toDrawn, 0.5),
                percentile(toDrawn, 0.95));
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
            std::fill(screen.dirty.get() + 16, screen.dirty.get() + 16 + rows, 1);
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

// Processor time of the real program while it waits for a key in its window.
void idleProcessorTime() {
    char directory[] = "/tmp/ulo-window-bench-XXXXXX";
    if (::mkdtemp(directory) == nullptr) {
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory) != 0) {
            ::_exit(126);
        }
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::execl(ULO_BINARY, ULO_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Nanoseconds on the processor, all threads together.
    const auto runTime = [pid] {
        long long nanoseconds = 0;
        const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks)) {
            std::ifstream stat(task.path() / "schedstat");
            long long taskNanoseconds = 0;
            stat >> taskNanoseconds;
            nanoseconds += taskNanoseconds;
        }
        return nanoseconds;
    };
    std::this_thread::sleep_for(2s); // start-up done, window up
    const long long before = runTime();
    std::this_thread::sleep_for(10s);
    const long long used = runTime() - before;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = static_cast<double>(used) / 1e9;
    std::printf("processor time while waiting 10 s for a key: %.4f s (%.2f %% of one core)\n",
                seconds, seconds * 10.0);
    std::string remove = std::string("rm -rf ") + directory;
    if (std::system(remove.c_str()) != 0) {
        std::perror("rm");
    }
}

} // namespace

int main(int argc, char** argv) {
    const int keys = argc > 1 ? std::atoi(argv[1]) : 200;
    pid_t server = -1;
    if (std::getenv("DISPLAY") == nullptr) {
        server = startVirtualDisplay();
    }
    ::unsetenv("VXGFX");
    const ulo::SdlLibrary* sdl = ulo::loadSdlLibrary();
    if (sdl == nullptr || ulo::setScreenMode(18, 32, 0, 0, 0) != ulo::ERR_NONE ||
        ulo::activeScreen()->driver != &ulo::SDL_DISPLAY_DRIVER) {
        std::fprintf(stderr, "no window could be opened on %s\n", std::getenv("DISPLAY"));
        return 1;
    }
    waitUntilClean();
    keyLatency(*sdl, keys);
    passCost(16, "one text row dirty:");
    passCost(464, "all rows dirty:");
    ulo::setScreenMode(0, 0, 0, 0, 0);
    idleProcessorTime();
    if (server > 0) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    return 0;
}
