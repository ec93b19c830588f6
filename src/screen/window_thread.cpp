#include "screen/window_thread.hpp"

#include "console/keys.hpp"
#include "runtime/platform.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace ulo {
namespace {

// The pause after a pass while the thread cannot sleep until it is needed: the presenter cannot
// wait on its window system, or rows are still dirty after the pass (a presentation failed, or
// the window's events asked for the whole picture) and wait for the next.
constexpr int PASS_PAUSE_MS = 10;
// The longest an idle thread sleeps on its window system. Everything the thread serves wakes it,
// so this is only a safety net, for whatever might need a pass without waking it (the window
// system's own upkeep when its events are pumped). Each idle pass costs about as much as ten of
// the line editor's looks for keys (it pumps the window system's events), so it comes once a
// second.
constexpr int IDLE_WAIT_MS = 1000;
constexpr int DEFAULT_VSYNC_MS = 16;
// Tones asked for faster than they sound are dropped beyond this many.
constexpr int MAX_WAITING_TONES = 4;

struct Tone {
    std::int32_t frequency = 0;
    std::int32_t milliseconds = 0;
};

enum class StartState { Waiting, Running, Failed };

// The thread and what it shares with the main thread. The screen lock guards the framebuffer, the
// dirty rows, the key buffer, the window state and the requests; `running` is the loop's flag,
// cleared by the main thread without the lock; the wake-up has a lock of its own so that the
// main thread can ring it after it let go of the screen.
//
// `wakePending` is set by the first wake-up after a pass and cleared at the end of each pass,
// under the screen lock after the events were drained: what was asked for before that is served
// by the pass, and the first wake-up after it reaches the sleeping thread. Later ones until the
// next pass would only repeat it.
struct WindowThread {
    std::thread thread;
    std::recursive_mutex screenLock;
    std::atomic<bool> running{false};

    std::mutex startMutex;
    std::condition_variable startChanged;
    StartState startState = StartState::Waiting;
    std::string failure; // the window system's words when the window did not open

    std::mutex wakeMutex;
    std::condition_variable wakeUp;
    std::atomic<bool> wakePending{false};
    bool presenterAwake = false; // the presenter may be woken (under wakeMutex)

    WindowRequests requests;
    // Tones asked for since the last pass, all alike.
    Tone tone;
    int waitingTones = 0;
    WindowPresentationStats stats;
};

std::unique_ptr<WindowThread> windowThread;
std::string windowFailure;

// The driver's window; set by its init before the thread starts and kept until it ends.
const WindowPresenter& presenter() {
    return *windowState().presenter;
}

// True while framebuffer rows wait to be presented. There is one dirty flag per framebuffer row;
// in the modes whose rows are doubled each of them stands for two window lines.
bool rowsDirty() {
    const ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return false;
    }
    const auto rows = static_cast<std::size_t>(screen->height);
    return std::memchr(screen->dirty.get(), 1, rows) != nullptr;
}

// Presents the band from the first dirty framebuffer row to the last as one piece of window
// lines; the flags are cleared only when the picture was shown.
void presentDirtyRows(WindowThread& t) {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return;
    }
    windowState().paletteChanged = false; // the indexed converters read the screen's palette
    std::uint8_t* dirty = screen->dirty.get();
    const int rows = screen->height;
    const auto* firstDirty =
        static_cast<const std::uint8_t*>(std::memchr(dirty, 1, static_cast<std::size_t>(rows)));
    if (firstDirty == nullptr) {
        return;
    }
    const int first = static_cast<int>(firstDirty - dirty);
    int last = rows - 1;
    while (dirty[last] == 0) {
        --last;
    }
    const auto start = std::chrono::steady_clock::now();
    // The converters take dirty rows only; the whole band is converted.
    std::memset(dirty + first, 1, static_cast<std::size_t>(last - first + 1));
    const int lines = screen->scanlineSize;
    if (!presenter().present(*screen, first * lines, (last + 1) * lines)) {
        return;
    }
    std::memset(dirty, 0, static_cast<std::size_t>(rows) * static_cast<std::size_t>(lines));
    ++t.stats.presentations;
    t.stats.lastNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    t.stats.lastRows = (last - first + 1) * lines;
}

void refreshKeyState() {
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return;
    }
    std::memset(screen->keyState.get(), 0, KEY_STATE_SIZE);
    presenter().readKeyState(screen->keyState.get());
}

void announceStart(WindowThread& t, StartState state) {
    {
        const std::lock_guard<std::mutex> guard(t.startMutex);
        t.startState = state;
    }
    t.startChanged.notify_all();
}

void wake(WindowThread& t) {
    const bool first = !t.wakePending.exchange(true, std::memory_order_acq_rel);
    {
        const std::lock_guard<std::mutex> guard(t.wakeMutex);
        if (first && t.presenterAwake && presenter().wake != nullptr) {
            presenter().wake();
        }
    }
    t.wakeUp.notify_one();
}

void allowPresenterWake(WindowThread& t, bool allowed) {
    const std::lock_guard<std::mutex> guard(t.wakeMutex);
    t.presenterAwake = allowed;
}

// The pause after a pass: until the thread is woken or the window system has an event, at most
// IDLE_WAIT_MS; at most PASS_PAUSE_MS while rows are left to show or the presenter cannot wait.
void pause(WindowThread& t, bool rowsLeft) {
    if (!t.running.load(std::memory_order_acquire)) {
        return;
    }
    const WindowPresenter& p = presenter();
    if (p.waitEvents != nullptr && p.waitEvents(rowsLeft ? PASS_PAUSE_MS : IDLE_WAIT_MS)) {
        return;
    }
    std::unique_lock<std::mutex> guard(t.wakeMutex);
    t.wakeUp.wait_for(guard, std::chrono::milliseconds(PASS_PAUSE_MS), [&] {
        return t.wakePending.load(std::memory_order_acquire) ||
               !t.running.load(std::memory_order_acquire);
    });
}

// A request from outside to end the program comes to the main thread the next time it looks
// for keys; one waiting for them is woken for it.
void wakeReaderToEnd() {
    const auto pendingEnd = nativePlatform().pendingEnd;
    if (pendingEnd != nullptr && pendingEnd() != 0) {
        wakeKeyReaders();
    }
}

// Makes the window under the lock; on failure keeps the window system's words and undoes
// everything.
bool openWindow(WindowThread& t) {
    const WindowPresenter& p = presenter();
    const std::lock_guard<std::recursive_mutex> guard(t.screenLock);
    if (p.start() && p.createWindow() == 0) {
        windowState().active = true;
        return true;
    }
    t.failure = p.errorText != nullptr ? p.errorText() : "";
    p.destroyWindow();
    p.stop();
    return false;
}

// The window thread: makes the window, says so, then passes until the driver shuts down, and
// at the end destroys everything it made.
void windowThreadMain() {
    WindowThread& t = *windowThread;
    const WindowPresenter& p = presenter();
    if (!openWindow(t)) {
        announceStart(t, StartState::Failed);
        return;
    }
    allowPresenterWake(t, true);
    announceStart(t, StartState::Running);
    bool keysChanged = true;
    while (t.running.load(std::memory_order_acquire)) {
        Tone tone;
        int tones = 0;
        bool rowsLeft = false;
        {
            const std::lock_guard<std::recursive_mutex> guard(t.screenLock);
            ++t.stats.passes;
            p.applyRequests(t.requests);
            presentDirtyRows(t);
            keysChanged = p.pumpEvents() || keysChanged;
            if (keysChanged && windowState().active) {
                refreshKeyState();
                keysChanged = false;
            }
            tone = t.tone;
            tones = std::exchange(t.waitingTones, 0);
            t.wakePending.store(false, std::memory_order_release);
            rowsLeft = rowsDirty();
        }
        for (; tones > 0 && p.beep != nullptr; --tones) {
            p.beep(tone.frequency, tone.milliseconds);
        }
        wakeReaderToEnd();
        pause(t, rowsLeft);
    }
    allowPresenterWake(t, false);
    {
        const std::lock_guard<std::recursive_mutex> guard(t.screenLock);
        p.destroyWindow();
    }
    p.stop();
}

// The pointer as the window procedure last saw it: 0, or -1 when the window is not active or
// (windowed) the pointer is outside the picture, which also clears the buttons.
std::int32_t readMouseState(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                            std::int32_t* buttons) {
    WindowState& state = windowState();
    if (!state.active) {
        return -1;
    }
    if (state.fullScreen()) {
        *x = std::clamp(state.pointerX, 0, state.width - 1);
        *y = std::clamp(state.pointerY, 0, state.height - 1);
    } else if (!state.pointerInside) {
        state.mouseButtons = 0;
        return -1;
    } else {
        *x = state.pointerX;
        *y = state.pointerY;
    }
    *wheel = state.wheel;
    *buttons = state.mouseButtons;
    return 0;
}

// Notes in `requests` what setMouse asks of the window: the pointer moved to (x, y), limited to
// the picture (x < 0: not moved), and shown or hidden when that changes its visibility.
void requestMouse(WindowRequests& requests, std::int32_t x, std::int32_t y, std::int32_t pointer) {
    WindowState& state = windowState();
    if (x >= 0) {
        requests.warp = true;
        requests.warpX = std::min(x, state.width - 1);
        requests.warpY = std::clamp(y, 0, state.height - 1);
    }
    if (pointer == 0 && state.pointerVisible) {
        requests.pointer = 0;
        state.pointerVisible = false;
    } else if (pointer > 0 && !state.pointerVisible) {
        requests.pointer = 1;
        state.pointerVisible = true;
    }
}

} // namespace

void prepareWindowState(const WindowPresenter& presenter, const char* title, std::int32_t width,
                        std::int32_t height, std::int32_t depth, std::int32_t refreshRate,
                        std::int32_t flags, std::uint32_t systemVersion) {
    resetWindowState();
    WindowState& state = windowState();
    state.presenter = &presenter;
    state.width = width;
    state.height = height;
    state.depth = std::max(depth, 8);
    state.refreshRate = refreshRate;
    state.flags = flags;
    std::strncpy(state.title, title != nullptr ? title : "", sizeof state.title - 1);
    state.systemVersion = systemVersion;
    state.pointerVisible = true;
}

std::int32_t startWindowThread(const char* driverName) {
    windowThread = std::make_unique<WindowThread>();
    WindowThread& t = *windowThread;
    windowState().initialised = true;
    t.running.store(true, std::memory_order_release);
    t.thread = std::thread(windowThreadMain);
    std::unique_lock<std::mutex> start(t.startMutex);
    t.startChanged.wait(start, [&] { return t.startState != StartState::Waiting; });
    if (t.startState == StartState::Running) {
        return 0;
    }
    noteWindowFailure(driverName, t.failure.c_str());
    return -1;
}

void noteWindowFailure(const char* driverName, const char* reason) {
    windowFailure = std::string(driverName) + ": " +
                    (reason != nullptr && *reason != '\0' ? reason : "no reason given");
}

std::string takeWindowFailure() {
    return std::exchange(windowFailure, std::string());
}

void stopWindowThread() {
    if (!windowThread) {
        return;
    }
    windowThread->running.store(false, std::memory_order_release);
    wake(*windowThread);
    if (windowThread->thread.joinable()) {
        windowThread->thread.join();
    }
    windowThread.reset();
    windowState().initialised = false;
}

void holdWindowThreadUntilStopped() {
    if (!windowThread || std::this_thread::get_id() != windowThread->thread.get_id()) {
        return;
    }
    WindowThread& t = *windowThread;
    // The window system's events reach the window only inside a pass, which holds the lock once.
    t.screenLock.unlock();
    {
        std::unique_lock<std::mutex> guard(t.wakeMutex);
        t.wakeUp.wait(guard, [&] { return !t.running.load(std::memory_order_acquire); });
    }
    t.screenLock.lock();
}

void lockWindow() {
    if (windowThread) {
        windowThread->screenLock.lock();
    }
}

void unlockWindow() {
    if (!windowThread) {
        return;
    }
    const bool show = rowsDirty();
    windowThread->screenLock.unlock();
    if (show) {
        wake(*windowThread);
    }
}

void setWindowPalette(std::int32_t index, std::int32_t red, std::int32_t green, std::int32_t blue) {
    if (index < 0 || index > 255) {
        return;
    }
    WindowState& state = windowState();
    state.palette[static_cast<std::size_t>(index)] = {
        static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
        static_cast<std::uint8_t>(blue), PALETTE_NO_COLLAPSE};
    state.paletteChanged = true;
    if (windowThread) {
        wake(*windowThread); // the next pass takes the palette
    }
}

void waitWindowVsync() {
    const ScreenState* screen = activeScreen();
    const int rate = screen != nullptr ? screen->refreshRate : 0;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(rate > 0 ? 1000 / rate : DEFAULT_VSYNC_MS));
}

std::int32_t readWindowMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                             std::int32_t* buttons) {
    if (!windowThread) {
        return -1;
    }
    const std::lock_guard<std::recursive_mutex> guard(windowThread->screenLock);
    return readMouseState(x, y, wheel, buttons);
}

void placeWindowMouse(std::int32_t x, std::int32_t y, std::int32_t pointer) {
    if (!windowThread) {
        return;
    }
    WindowThread& t = *windowThread;
    {
        const std::lock_guard<std::recursive_mutex> guard(t.screenLock);
        requestMouse(t.requests, x, y, pointer);
    }
    wake(t);
}

void setWindowTitle(const char* title) {
    if (!windowThread || title == nullptr) {
        return;
    }
    {
        const std::lock_guard<std::recursive_mutex> guard(windowThread->screenLock);
        windowThread->requests.newTitle = true;
        windowThread->requests.title = title;
    }
    wake(*windowThread);
}

void requestWindowBeep(std::int32_t frequency, std::int32_t milliseconds) {
    if (!windowThread) {
        return;
    }
    WindowThread& t = *windowThread;
    {
        const std::lock_guard<std::recursive_mutex> guard(t.screenLock);
        t.tone = {frequency, milliseconds};
        t.waitingTones = std::min(t.waitingTones + 1, MAX_WAITING_TONES);
    }
    wake(t);
}

void repaintWindow() {
    if (ScreenState* screen = activeScreen()) {
        markAllDirty(*screen);
    }
}

// A driver without a window thread has its window from a successful init to its shutdown, while
// the window state is initialised; its requests are carried out at once, on the calling thread.
std::int32_t readOwnWindowMouse(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                                std::int32_t* buttons) {
    return windowState().initialised ? readMouseState(x, y, wheel, buttons) : -1;
}

void placeOwnWindowMouse(std::int32_t x, std::int32_t y, std::int32_t pointer) {
    if (windowState().initialised) {
        WindowRequests requests;
        requestMouse(requests, x, y, pointer);
        presenter().applyRequests(requests);
    }
}

void setOwnWindowTitle(const char* title) {
    if (windowState().initialised && title != nullptr) {
        WindowRequests requests;
        requests.newTitle = true;
        requests.title = title;
        presenter().applyRequests(requests);
    }
}

WindowThreadLock::WindowThreadLock() : held_(windowThread != nullptr) {
    if (held_) {
        windowThread->screenLock.lock();
    }
}

WindowThreadLock::~WindowThreadLock() {
    if (held_) {
        windowThread->screenLock.unlock();
    }
}

WindowPresentationStats windowPresentationStats() {
    const WindowThreadLock lock;
    return windowThread ? windowThread->stats : WindowPresentationStats{};
}

} // namespace ulo
