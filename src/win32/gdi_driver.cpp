// The display driver of the plain Windows window: a framed window on the shared window thread,
// shown with device-independent bitmaps (GDI).
#include "screen/blitters.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "win32/text_encoding.hpp"
#include "win32/window_keys.hpp"
#include "win32/window_procedure.hpp"
#include "win32/windows_platform.hpp"

#include <memory>
#include <vector>

namespace ulo {
namespace {

// The framed window: a title bar with the system menu and a minimize box, never a maximize box
// (the picture has one size).
constexpr DWORD FRAME_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// What SetDIBitsToDevice is given: the header and a colour table for indexed pixels.
struct Bitmap {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// The window and what presents it; made and destroyed on the window thread, under the screen
// lock.
struct GdiWindow {
    HWND window = nullptr;
    std::unique_ptr<Bitmap> bitmap;
    // Screens whose rows cannot be handed over as they are (16-bit pixels, which the bitmap takes
    // as 5-5-5; doubled lines) are converted into this buffer first.
    Blitter blitter = nullptr;
    std::vector<std::uint8_t> converted;
    std::int32_t convertedPitch = 0;
    const char* failure = "";
};

GdiWindow gdiWindow;

std::wstring wideText(const char* text) {
    return wideFromUtf8(text).value_or(std::wstring());
}

// The bitmap of window lines: top-down rows at the window's depth, and the conversion the
// screen's rows need first, if any.
bool prepareBitmap(GdiWindow& w, ScreenState& screen) {
    const WindowState& state = windowState();
    w.bitmap = std::make_unique<Bitmap>();
    BITMAPINFOHEADER& header = w.bitmap->header;
    header.biSize = sizeof header;
    header.biWidth = state.width;
    header.biHeight = -state.height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(state.depth);
    header.biCompression = BI_RGB;
    header.biClrUsed = 256;
    if (screen.depth != 16 && screen.scanlineSize == 1) {
        return true;
    }
    w.blitter = chooseBlitter(screen, screen.depth == 16 ? 15 : 8, false);
    if (w.blitter == nullptr) {
        w.failure = "no pixel converter for this screen";
        return false;
    }
    // Bitmap rows start on 4-byte boundaries.
    w.convertedPitch = (screen.pitch + 3) & ~3;
    w.converted.assign(
        static_cast<std::size_t>(w.convertedPitch) * static_cast<std::size_t>(state.height), 0);
    return true;
}

void gdiDestroyWindow() {
    GdiWindow& w = gdiWindow;
    if (w.window != nullptr) {
        ::DestroyWindow(w.window);
        w.window = nullptr;
    }
    w.bitmap.reset();
    w.blitter = nullptr;
    w.converted = {};
}

// Makes the framed window with a client area of exactly the screen's size, centred on the
// primary display. There is no full-screen GDI window: asked for one, it fails, and the driver
// choice moves on (or a full-screen switch comes back to a framed window).
std::int32_t gdiCreateWindow() {
    GdiWindow& w = gdiWindow;
    const WindowState& state = windowState();
    ScreenState* screen = activeScreen();
    if ((state.flags & SCREEN_FULLSCREEN) != 0 || screen == nullptr) {
        w.failure = "no full-screen window";
        return -1;
    }
    RECT outer{0, 0, state.width, state.height};
    ::AdjustWindowRect(&outer, FRAME_STYLE, FALSE);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) >> 1;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) >> 1;
    w.window = ::CreateWindowExW(0, windowClassName(), wideText(state.title).c_str(),
                                 WS_VISIBLE | FRAME_STYLE, left, top, width, height, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (w.window == nullptr) {
        w.failure = "the window could not be made";
        return -1;
    }
    if (!prepareBitmap(w, *screen)) {
        return -1;
    }
    ::SetForegroundWindow(w.window);
    if (HDC dc = ::GetDC(w.window)) {
        screen->refreshRate = ::GetDeviceCaps(dc, VREFRESH);
        ::ReleaseDC(w.window, dc);
    }
    markAllDirty(*screen);
    return 0;
}

// Draws window lines first .. end - 1 with one SetDIBitsToDevice call, straight from the
// framebuffer when its rows are the bitmap's.
bool gdiPresent(ScreenState& screen, std::int32_t first, std::int32_t end) {
    GdiWindow& w = gdiWindow;
    const WindowState& state = windowState();
    if (w.window == nullptr || !w.bitmap) {
        return false;
    }
    const std::uint8_t* rows = screen.framebuffer;
    std::int32_t pitch = screen.pitch;
    if (w.blitter != nullptr) {
        w.blitter(screen, w.converted.data(), w.convertedPitch);
        rows = w.converted.data();
        pitch = w.convertedPitch;
    }
    if (state.depth <= 8) {
        // The palette may have changed since the last pass; 256 entries are soon copied.
        for (std::size_t i = 0; i < state.palette.size(); ++i) {
            const WindowPaletteEntry& entry = state.palette[i];
            w.bitmap->colours[i] = RGBQUAD{entry.blue, entry.green, entry.red, 0};
        }
    }
    HDC dc = ::GetDC(w.window);
    if (dc == nullptr) {
        return false;
    }
    const auto lines = static_cast<UINT>(end - first);
    const int drawn =
        ::SetDIBitsToDevice(dc, 0, first, static_cast<DWORD>(state.width), lines, 0, 0, 0, lines,
                            rows + static_cast<std::ptrdiff_t>(first) * pitch,
                            reinterpret_cast<const BITMAPINFO*>(w.bitmap.get()), DIB_RGB_COLORS);
    ::ReleaseDC(w.window, dc);
    return drawn != 0;
}

bool gdiPumpEvents() {
    return pumpWindowMessages(gdiWindow.window);
}

void gdiApplyRequests(WindowRequests& requests) {
    applyWindowRequests(gdiWindow.window, false, requests);
}

// The window thread presents above normal priority, so that echoes keep up while the main thread
// reads and writes files.
bool gdiStart() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    if (!openWindowClass()) {
        gdiWindow.failure = "the window class could not be registered";
        return false;
    }
    return true;
}

const char* gdiErrorText() {
    return gdiWindow.failure;
}

bool gdiWaitEvents(std::int32_t milliseconds) {
    return waitForWindowMessages(gdiWindow.window, milliseconds);
}

constexpr WindowPresenter GDI_PRESENTER = {
    .start = gdiStart,
    .stop = closeWindowClass,
    .createWindow = gdiCreateWindow,
    .destroyWindow = gdiDestroyWindow,
    .present = gdiPresent,
    .pumpEvents = gdiPumpEvents,
    .readKeyState = readHeldKeys,
    .applyRequests = gdiApplyRequests,
    .errorText = gdiErrorText,
    .waitEvents = gdiWaitEvents,
    .wake = wakeWindowThread,
};

// ---- the driver's operations, on the main thread ----------------------------------------------

std::int32_t gdiInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(title, width, height, depth, refreshRate, flags, windowsVersionWord());
    // OpenGL is another driver's, and there is no full-screen GDI window: both are refused before
    // a thread starts, so that a real reason for a failed window is the one kept.
    if (flags >= 0 && (flags & (SCREEN_OPENGL | SCREEN_FULLSCREEN)) != 0) {
        return -1;
    }
    gdiWindow = GdiWindow{};
    return startWindowThread(GDI_PRESENTER, "GDI");
}

} // namespace

const DisplayDriver GDI_DISPLAY_DRIVER = {
    .name = "GDI",
    .init = gdiInit,
    .shutdown = stopWindowThread,
    .lock = lockWindow,
    .unlock = unlockWindow,
    .setPalette = setWindowPalette,
    .getMouse = readWindowMouse,
    .setMouse = placeWindowMouse,
    .waitVsync = waitWindowVsync,
    .setWindowTitle = setWindowTitle,
};

} // namespace ulo
