// The display driver of the plain Windows window: a framed window on the shared window thread,
// shown with device-independent bitmaps (GDI).
#include "screen/blitters.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
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
};

GdiWindow gdiWindow;

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
        noteWindowClassFailure("no pixel converter for this screen");
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
    if (state.fullScreen() || screen == nullptr) {
        noteWindowClassFailure("no full-screen window");
        return -1;
    }
    w.window = makeClassWindow(WS_VISIBLE | FRAME_STYLE, centredFrame(FRAME_STYLE));
    if (w.window == nullptr) {
        noteWindowClassFailure("the window could not be made");
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

bool gdiWaitEvents(std::int32_t milliseconds) {
    return waitForWindowMessages(gdiWindow.window, milliseconds);
}

constexpr WindowPresenter GDI_PRESENTER = {
    .createWindow = gdiCreateWindow,
    .destroyWindow = gdiDestroyWindow,
    .paintWindow = repaintWindow,
    .pumpEvents = gdiPumpEvents,
    .readKeyState = readHeldKeys,
    .applyRequests = gdiApplyRequests,
    .start = startWindowClassThread,
    .stop = closeWindowClass,
    .present = gdiPresent,
    .errorText = windowClassFailureText,
    .waitEvents = gdiWaitEvents,
    .wake = wakeWindowThread,
};

// ---- the driver's operations, on the main thread ----------------------------------------------

std::int32_t gdiInit(const char* title, std::int32_t width, std::int32_t height, std::int32_t depth,
                     std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(GDI_PRESENTER, title, width, height, depth, refreshRate, flags,
                       windowsVersionWord());
    // OpenGL is another driver's, and there is no full-screen GDI window: both are refused before
    // a thread starts, so that a real reason for a failed window is the one kept.
    if (flags >= 0 && (flags & (SCREEN_OPENGL | SCREEN_FULLSCREEN)) != 0) {
        return -1;
    }
    gdiWindow = GdiWindow{};
    return startWindowThread("GDI");
}

} // namespace

const DisplayDriver GDI_DISPLAY_DRIVER = windowThreadDriver("GDI", gdiInit);

} // namespace ulo
