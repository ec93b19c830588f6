#include "win32/directx_driver.hpp"

#include "screen/blitters.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "win32/directx_surface.hpp"
#include "win32/window_procedure.hpp"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#define DIRECTINPUT_VERSION 0x0300
#include <dinput.h>

namespace ulo {
namespace {

constexpr DWORD DIRECTINPUT_VERSION_USED = 0x0300;
constexpr std::size_t KEYBOARD_KEYS = 256;
// Key events DirectInput keeps between two passes; more are reported as an overflow, and the
// whole state is read instead.
constexpr DWORD KEY_EVENT_BUFFER = 64;

using GenericFunction = void (*)();
using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);
using DirectInputCreateFunction = HRESULT(WINAPI*)(HINSTANCE, DWORD, IDirectInputA**, IUnknown*);

// Releases a COM interface and forgets it.
template <typename Interface>
void release(Interface*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// The keyboard as 256 buttons, byte n for the key with scan code n, every one optional.
struct KeyboardFormat {
    std::array<DIOBJECTDATAFORMAT, KEYBOARD_KEYS> objects{};
    DIDATAFORMAT format{};

    KeyboardFormat() {
        for (std::size_t n = 0; n < KEYBOARD_KEYS; ++n) {
            objects[n] = {&GUID_Key, static_cast<DWORD>(n),
                          DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(static_cast<DWORD>(n)),
                          0};
        }
        format = {sizeof(DIDATAFORMAT),
                  sizeof(DIOBJECTDATAFORMAT),
                  DIDF_RELAXIS,
                  static_cast<DWORD>(KEYBOARD_KEYS),
                  static_cast<DWORD>(KEYBOARD_KEYS),
                  objects.data()};
    }
};

// The window and what presents it; made and destroyed on the window thread, under the screen
// lock.
struct DirectXWindow {
    HWND window = nullptr;
    HMODULE drawLibrary = nullptr;
    HMODULE inputLibrary = nullptr;
    IDirectDraw2* directDraw = nullptr;
    IDirectDrawSurface* primary = nullptr;
    IDirectDrawSurface* back = nullptr; // windowed only: drawn into, then copied to the window
    IDirectDrawClipper* clipper = nullptr;
    IDirectDrawPalette* palette = nullptr; // 8-bit displays only
    IDirectInputA* directInput = nullptr;
    IDirectInputDeviceA* keyboard = nullptr;
    bool fullScreen = false;
    std::int32_t verticalOffset = 0; // full screen: the picture's first line on the display
    Blitter blitter = nullptr;
    // The keys held as DirectInput last told, and those that went down since the key state was
    // last read: a tap shorter than a pass still shows once.
    std::array<std::uint8_t, KEYBOARD_KEYS> held{};
    std::array<std::uint8_t, KEYBOARD_KEYS> pressed{};
    bool tapsShown = false;
};

DirectXWindow directX;
const KeyboardFormat KEYBOARD_FORMAT;

GenericFunction entryPoint(HMODULE library, const char* name) {
    return library != nullptr ? reinterpret_cast<GenericFunction>(::GetProcAddress(library, name))
                              : nullptr;
}

// The DirectDraw object of the default display, through its second interface; null on failure.
IDirectDraw2* createDirectDraw(HMODULE library) {
    const auto create =
        reinterpret_cast<DirectDrawCreateFunction>(entryPoint(library, "DirectDrawCreate"));
    IDirectDraw* first = nullptr;
    if (create == nullptr || FAILED(create(nullptr, &first, nullptr))) {
        return nullptr;
    }
    IDirectDraw2* second = nullptr;
    if (FAILED(first->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&second)))) {
        second = nullptr;
    }
    first->Release();
    return second;
}

bool fail(const char* why) {
    noteWindowClassFailure(why);
    return false;
}

bool loadLibraries(DirectXWindow& w) {
    w.drawLibrary = ::LoadLibraryA("ddraw.dll");
    w.inputLibrary = ::LoadLibraryA("dinput.dll");
    if (w.drawLibrary == nullptr || w.inputLibrary == nullptr) {
        return fail("ddraw.dll or dinput.dll cannot be loaded");
    }
    w.directDraw = createDirectDraw(w.drawLibrary);
    if (w.directDraw == nullptr) {
        return fail("DirectDraw cannot be started");
    }
    const auto createInput = reinterpret_cast<DirectInputCreateFunction>(
        entryPoint(w.inputLibrary, "DirectInputCreateA"));
    if (createInput == nullptr ||
        FAILED(createInput(::GetModuleHandleW(nullptr), DIRECTINPUT_VERSION_USED, &w.directInput,
                           nullptr))) {
        return fail("DirectInput cannot be started");
    }
    return true;
}

// The whole display in a mode of the picture's width: the picture's height, or the next of the
// usual heights the display accepts, the picture centred vertically.
bool openFullScreen(DirectXWindow& w, const WindowState& state) {
    w.window = makeClassWindow(WS_POPUP | WS_VISIBLE, RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                                                           ::GetSystemMetrics(SM_CYSCREEN)});
    if (w.window == nullptr) {
        return fail("the window could not be made");
    }
    w.fullScreen = true;
    if (FAILED(w.directDraw->SetCooperativeLevel(w.window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT |
                                                               DDSCL_EXCLUSIVE))) {
        return fail("the display cannot be taken over");
    }
    for (const DisplayModeTry& mode : displayModeTries(state.height, state.depth)) {
        const DWORD flags =
            state.width == 320 && mode.height == 200 && mode.depth == 8 ? DDSDM_STANDARDVGAMODE : 0;
        if (SUCCEEDED(w.directDraw->SetDisplayMode(
                static_cast<DWORD>(state.width), static_cast<DWORD>(mode.height),
                static_cast<DWORD>(mode.depth), static_cast<DWORD>(state.refreshRate), flags))) {
            w.verticalOffset = (mode.height - state.height) / 2;
            return true;
        }
    }
    return fail("the display offers no mode for the picture");
}

// A framed window with a client area of exactly the picture's size, centred on the display; the
// clipper keeps the copies to the primary surface inside it.
bool openFramedWindow(DirectXWindow& w, const WindowState& state) {
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if ((state.flags & SCREEN_NO_SWITCH) == 0) {
        style |= WS_MAXIMIZEBOX;
    }
    w.window = makeClassWindow(WS_VISIBLE | style, centredFrame(style));
    if (w.window == nullptr) {
        return fail("the window could not be made");
    }
    if (FAILED(w.directDraw->SetCooperativeLevel(w.window, DDSCL_NORMAL)) ||
        FAILED(w.directDraw->CreateClipper(0, &w.clipper, nullptr)) ||
        FAILED(w.clipper->SetHWnd(0, w.window))) {
        return fail("DirectDraw cannot draw into the window");
    }
    return true;
}

bool createSurfaces(DirectXWindow& w, const WindowState& state) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(w.directDraw->CreateSurface(&description, &w.primary, nullptr))) {
        return fail("the display's surface cannot be had");
    }
    if (w.fullScreen) {
        return true;
    }
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.ddsCaps.dwCaps = DDSCAPS_VIDEOMEMORY;
    description.dwWidth = static_cast<DWORD>(state.width);
    description.dwHeight = static_cast<DWORD>(state.height);
    if (FAILED(w.primary->SetClipper(w.clipper)) ||
        FAILED(w.directDraw->CreateSurface(&description, &w.back, nullptr))) {
        return fail("no surface in video memory");
    }
    return true;
}

// The display's pixel format decides the converter; an 8-bit display gets the window's palette.
bool choosePixelConverter(DirectXWindow& w, WindowState& state, ScreenState& screen) {
    DDPIXELFORMAT pixels{};
    pixels.dwSize = sizeof pixels;
    if (FAILED(w.primary->GetPixelFormat(&pixels))) {
        return fail("the display's pixel format is unknown");
    }
    const std::optional<SurfaceFormat> format = surfaceFormatOf(pixels);
    if (!format) {
        return fail("the display is not RGB");
    }
    if (format->bits == 8) {
        static_assert(sizeof(PALETTEENTRY) == sizeof(WindowPaletteEntry));
        if (FAILED(w.directDraw->CreatePalette(
                DDPCAPS_8BIT | DDPCAPS_ALLOW256,
                reinterpret_cast<PALETTEENTRY*>(state.palette.data()), &w.palette, nullptr)) ||
            FAILED(w.primary->SetPalette(w.palette))) {
            return fail("the display's palette cannot be set");
        }
        state.paletteChanged = false;
    }
    w.blitter = chooseBlitter(screen, format->bits, format->blueFirst);
    return w.blitter != nullptr || fail("no pixel converter for the display's format");
}

bool openKeyboard(DirectXWindow& w) {
    DIPROPDWORD buffer{};
    buffer.diph.dwSize = sizeof buffer;
    buffer.diph.dwHeaderSize = sizeof buffer.diph;
    buffer.diph.dwHow = DIPH_DEVICE;
    buffer.dwData = KEY_EVENT_BUFFER;
    if (FAILED(w.directInput->CreateDevice(GUID_SysKeyboard, &w.keyboard, nullptr)) ||
        FAILED(w.keyboard->SetDataFormat(&KEYBOARD_FORMAT.format)) ||
        FAILED(w.keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)) ||
        FAILED(w.keyboard->Acquire())) {
        return fail("the DirectInput keyboard cannot be had");
    }
    w.held.fill(0);
    w.pressed.fill(0);
    return true;
}

void directXDestroyWindow() {
    DirectXWindow& w = directX;
    if (w.keyboard != nullptr) {
        w.keyboard->Unacquire();
    }
    release(w.keyboard);
    release(w.directInput);
    if (w.fullScreen && w.primary != nullptr) {
        // Black, so that the display shows nothing of the picture while its mode goes back.
        DDBLTFX fill{};
        fill.dwSize = sizeof fill;
        fill.dwFillColor = 0;
        w.primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);
    }
    release(w.back);
    release(w.primary);
    release(w.palette);
    release(w.clipper);
    if (w.fullScreen && w.directDraw != nullptr) {
        w.directDraw->RestoreDisplayMode();
        w.directDraw->SetCooperativeLevel(w.window, DDSCL_NORMAL);
    }
    release(w.directDraw);
    if (w.window != nullptr) {
        ::DestroyWindow(w.window);
        w.window = nullptr;
    }
    for (HMODULE* library : {&w.drawLibrary, &w.inputLibrary}) {
        if (*library != nullptr) {
            ::FreeLibrary(*library);
            *library = nullptr;
        }
    }
    w.fullScreen = false;
    w.verticalOffset = 0;
    w.blitter = nullptr;
}

// Makes the window in the presentation the window state asks for: 0, or -1 with the reason kept.
std::int32_t directXCreateWindow() {
    DirectXWindow& w = directX;
    WindowState& state = windowState();
    ScreenState* screen = activeScreen();
    if (screen == nullptr) {
        return -1;
    }
    const bool made =
        loadLibraries(w) &&
        (state.fullScreen() ? openFullScreen(w, state) : openFramedWindow(w, state)) &&
        createSurfaces(w, state) && choosePixelConverter(w, state, *screen);
    if (!made) {
        return -1;
    }
    DWORD frequency = 0;
    if (SUCCEEDED(w.directDraw->GetMonitorFrequency(&frequency))) {
        screen->refreshRate = static_cast<std::int32_t>(frequency);
    }
    ::SetForegroundWindow(w.window);
    if (!openKeyboard(w)) {
        return -1;
    }
    markAllDirty(*screen);
    return 0;
}

// Converts the dirty rows into the drawing surface and, windowed, copies window lines first ..
// end - 1 of the back surface to the window's place on the display. A full-screen display
// without the focus is not drawn.
bool directXPresent(ScreenState& screen, std::int32_t first, std::int32_t end) {
    DirectXWindow& w = directX;
    const WindowState& state = windowState();
    if (w.primary == nullptr || (w.fullScreen && !state.active)) {
        return false;
    }
    if (w.palette != nullptr) {
        // The window's entries have the layout of DirectDraw's.
        w.palette->SetEntries(0, 0, 256,
                              reinterpret_cast<PALETTEENTRY*>(windowState().palette.data()));
    }
    IDirectDrawSurface& target = w.fullScreen ? *w.primary : *w.back;
    if (!drawDirtyRows(*w.primary, w.back, target, screen, w.blitter, w.verticalOffset)) {
        return false;
    }
    if (w.fullScreen) {
        return true;
    }
    POINT origin{0, 0};
    ::ClientToScreen(w.window, &origin);
    RECT source{0, first, state.width, end};
    RECT destination{origin.x, origin.y + first, origin.x + state.width, origin.y + end};
    return SUCCEEDED(w.primary->Blt(&destination, w.back, &source, DDBLT_WAIT, nullptr));
}

// Takes the key events DirectInput has kept since the last pass; true when any key went down or
// up. A lost keyboard is acquired again and its keys stay as they were meanwhile.
bool readKeyEvents(DirectXWindow& w) {
    if (w.keyboard == nullptr) {
        return false;
    }
    bool changed = std::exchange(w.tapsShown, false);
    for (;;) {
        std::array<DIDEVICEOBJECTDATA, KEY_EVENT_BUFFER> events;
        DWORD count = KEY_EVENT_BUFFER;
        const HRESULT result =
            w.keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events.data(), &count, 0);
        if (result == DIERR_NOTACQUIRED || result == DIERR_INPUTLOST) {
            w.keyboard->Acquire();
            return changed;
        }
        if (result == DI_BUFFEROVERFLOW) {
            // Events were lost: the whole state says which keys are down now.
            w.keyboard->GetDeviceState(static_cast<DWORD>(w.held.size()), w.held.data());
            return true;
        }
        if (FAILED(result) || count == 0) {
            return changed;
        }
        for (DWORD i = 0; i < count; ++i) {
            const std::size_t key = events[i].dwOfs & 0xFF;
            const std::uint8_t down = events[i].dwData & 0x80 ? 0x80 : 0;
            w.held[key] = down;
            w.pressed[key] |= down;
        }
        changed = true;
    }
}

bool directXPumpEvents() {
    const bool keys = readKeyEvents(directX);
    return pumpWindowMessages(directX.window) || keys;
}

// A key is held when it is down, by either of its two scan codes (the grey keys have the second);
// one pressed since the last look counts once even when it is up again.
void directXReadKeyState(std::uint8_t* keyState) {
    DirectXWindow& w = directX;
    const std::size_t half = KEYBOARD_KEYS / 2;
    for (std::size_t n = 0; n < half; ++n) {
        const int bits = w.held[n] | w.held[n + half] | w.pressed[n] | w.pressed[n + half];
        keyState[n] = (bits & 0x80) != 0 ? 1 : 0;
    }
    for (std::size_t n = 0; n < KEYBOARD_KEYS; ++n) {
        // A tap shown now goes away on the next look.
        w.tapsShown = w.tapsShown || (w.pressed[n] != 0 && w.held[n] == 0);
    }
    w.pressed.fill(0);
}

void directXApplyRequests(WindowRequests& requests) {
    applyWindowRequests(directX.window, directX.fullScreen, requests);
}

// A tap shown in the key state goes away on the next pass, which comes after the short pause.
bool directXWaitEvents(std::int32_t milliseconds) {
    return !directX.tapsShown && waitForWindowMessages(directX.window, milliseconds);
}

constexpr WindowPresenter DIRECTX_PRESENTER = {
    .createWindow = directXCreateWindow,
    .destroyWindow = directXDestroyWindow,
    .paintWindow = repaintWindow,
    .pumpEvents = directXPumpEvents,
    .readKeyState = directXReadKeyState,
    .applyRequests = directXApplyRequests,
    .start = startWindowClassThread,
    .stop = closeWindowClass,
    .present = directXPresent,
    .errorText = windowClassFailureText,
    .waitEvents = directXWaitEvents,
    .wake = wakeWindowThread,
};

// ---- the driver's operations, on the main thread ----------------------------------------------

std::int32_t directXInit(const char* title, std::int32_t width, std::int32_t height,
                         std::int32_t depth, std::int32_t refreshRate, std::int32_t flags) {
    prepareWindowState(DIRECTX_PRESENTER, title, width, height, depth, refreshRate, flags,
                       windowsVersionWord());
    // OpenGL is another driver's: refused before a thread starts.
    if (flags >= 0 && (flags & SCREEN_OPENGL) != 0) {
        return -1;
    }
    directX = DirectXWindow{};
    return startWindowThread("DirectX");
}

// Waits for the display's next vertical blank; the DirectDraw object is held for the wait, as a
// full-screen switch on the window thread may replace it meanwhile.
void directXWaitVsync() {
    IDirectDraw2* directDraw = nullptr;
    {
        const WindowThreadLock lock;
        directDraw = directX.directDraw;
        if (directDraw != nullptr) {
            directDraw->AddRef();
        }
    }
    if (directDraw == nullptr) {
        waitWindowVsync();
        return;
    }
    directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    directDraw->Release();
}

struct ModeSearch {
    std::int32_t depth;
    std::vector<std::int32_t>* sizes;
};

HRESULT WINAPI collectMode(DDSURFACEDESC* mode, void* context) {
    const auto& search = *static_cast<ModeSearch*>(context);
    if (displayModeDepth(mode->ddpfPixelFormat) == search.depth) {
        search.sizes->push_back(static_cast<std::int32_t>(mode->dwWidth << 16 | mode->dwHeight));
    }
    return DDENUMRET_OK;
}

// The display's sizes at `depth`, through the running DirectDraw object or a passing one.
const std::int32_t* directXFetchModes(std::int32_t depth, std::int32_t* count) {
    static std::vector<std::int32_t> sizes;
    sizes.clear();
    ModeSearch search{depth, &sizes};
    const WindowThreadLock lock;
    if (directX.directDraw != nullptr) {
        directX.directDraw->EnumDisplayModes(0, nullptr, &search, collectMode);
    } else if (HMODULE library = ::LoadLibraryA("ddraw.dll")) {
        if (IDirectDraw2* directDraw = createDirectDraw(library)) {
            directDraw->EnumDisplayModes(0, nullptr, &search, collectMode);
            directDraw->Release();
        }
        ::FreeLibrary(library);
    }
    return answerModes(sizes, count);
}

// The window thread's operations, with DirectDraw's wait for the vertical blank and its list of
// display modes.
constexpr DisplayDriver directXDriver() {
    DisplayDriver driver = windowThreadDriver("DirectX", directXInit);
    driver.waitVsync = directXWaitVsync;
    driver.fetchModes = directXFetchModes;
    return driver;
}

} // namespace

const DisplayDriver DIRECTX_DISPLAY_DRIVER = directXDriver();

} // namespace ulo
