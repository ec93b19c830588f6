#include "win32/window_procedure.hpp"

#include "console/codepage437.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "win32/end_requests.hpp"
#include "win32/text_encoding.hpp"
#include "win32/window_keys.hpp"

#include <string>
#include <utility>
#include <windowsx.h>

namespace ulo {
namespace {

// The class's name has room for this much of the title.
constexpr std::size_t CLASS_TITLE_LENGTH = 139;

struct WindowClass {
    std::wstring name;
    HINSTANCE instance = nullptr;
    bool registered = false;
    UINT pointerMessage = 0;
    BOOL savedScreenSaver = FALSE;
    bool screenSaverSaved = false;
    bool keysChanged = false; // since the last pump
    // The last key press gave a key code: the character that TranslateMessage made of the same
    // press (Tab of Shift+Tab) is not a key of its own.
    bool pressGaveKeyCode = false;
    bool trackingPointer = false; // asked to hear when the pointer leaves
    const char* failure = "";     // why the window could not be made
};
WindowClass windowClass;

// Ends a wait for messages early. Made once for the process: a wake-up may come from any thread
// while windows come and go.
HANDLE windowWakeEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

LRESULT passOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam, EventResult result) {
    return result == EventResult::Handled ? 0 : ::DefWindowProcW(window, message, wParam, lParam);
}

// A key press: the virtual key, repeat count, scan code and extended-key bit of the message, the
// control keys held, and the character the key makes, if any, through the ANSI keyboard
// functions. That character only tells apart a key's own letter from one typed with AltGr:
// characters reach the key buffer through WM_CHAR.
WindowEvent keyPress(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto virtualKey = static_cast<std::uint16_t>(wParam & 0xFFFF);
    const auto scanCode = static_cast<UINT>((lParam >> 16) & 0xFF);
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    WindowEvent event{};
    event.kind =
        message == WM_SYSKEYDOWN ? WindowEventKind::SystemKeyDown : WindowEventKind::KeyDown;
    event.scanCode = static_cast<std::uint8_t>(scanCode);
    event.virtualKey = virtualKey;
    event.repeatCount = static_cast<std::int32_t>(lParam & 0xFFFF);
    event.controlKeyState = controlKeyStateOf(keys, ((lParam >> 24) & 1) != 0);
    event.altHeld = ((lParam >> 29) & 1) != 0;
    const UINT base = ::MapVirtualKeyA(virtualKey, MAPVK_VK_TO_CHAR);
    event.baseCharacter = static_cast<std::uint8_t>(base & 0xFF);
    // A dead key (top bit) is not fed to ToAscii, which would use it up.
    if ((base & 0x80000000u) == 0) {
        WORD typed = 0;
        if (::ToAscii(virtualKey, scanCode, keys, &typed, 0) == 1) {
            event.character = static_cast<std::uint8_t>(typed & 0xFF);
        }
    }
    return event;
}

// Typed text, one UTF-16 unit: its code page 437 byte, or none (above 255) for characters code
// page 437 lacks and for those that only look like a control byte's picture (♪ is not Enter).
// DEL, which Ctrl+Backspace types, is Backspace, as in every other screen.
WindowEvent typedCharacter(WPARAM wParam, LPARAM lParam) {
    constexpr char32_t DEL = 0x7F;
    constexpr std::int32_t BACKSPACE = 8;
    WindowEvent event{};
    event.kind = WindowEventKind::Character;
    event.repeatCount = static_cast<std::int32_t>(lParam & 0xFFFF);
    const auto unit = static_cast<char32_t>(wParam & 0xFFFF);
    const int code = unit >= 0xD800 && unit <= 0xDFFF ? -1 : unicodeToCp437(unit);
    event.code = unit == DEL ? BACKSPACE : code > 0 && (unit < 128 || code >= 32) ? code : 256;
    return event;
}

void pointerMoved(HWND window, LPARAM lParam) {
    WindowState& state = windowState();
    state.pointerX = GET_X_LPARAM(lParam);
    state.pointerY = GET_Y_LPARAM(lParam);
    state.pointerInside = state.pointerX >= 0 && state.pointerY >= 0 &&
                          state.pointerX < state.width && state.pointerY < state.height;
    if (!windowClass.trackingPointer) {
        TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, window, 0};
        windowClass.trackingPointer = ::TrackMouseEvent(&leave) != FALSE;
    }
}

// The mouse buttons' messages as button events.
struct ButtonMessage {
    UINT message;
    WindowEventKind kind;
    std::int32_t button;
};
constexpr ButtonMessage BUTTON_MESSAGES[] = {
    {WM_LBUTTONDOWN, WindowEventKind::ButtonDown, MOUSE_LEFT},
    {WM_LBUTTONUP, WindowEventKind::ButtonUp, MOUSE_LEFT},
    {WM_RBUTTONDOWN, WindowEventKind::ButtonDown, MOUSE_RIGHT},
    {WM_RBUTTONUP, WindowEventKind::ButtonUp, MOUSE_RIGHT},
    {WM_MBUTTONDOWN, WindowEventKind::ButtonDown, MOUSE_MIDDLE},
    {WM_MBUTTONUP, WindowEventKind::ButtonUp, MOUSE_MIDDLE},
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == windowClass.pointerMessage && message != 0) {
        ::ShowCursor(wParam != 0 ? TRUE : FALSE);
        return 0;
    }
    WindowEvent event{};
    for (const ButtonMessage& button : BUTTON_MESSAGES) {
        if (button.message == message) {
            event.kind = button.kind;
            event.button = button.button;
            return passOn(window, message, wParam, lParam, handleWindowEvent(event));
        }
    }
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        windowClass.keysChanged = true;
        const WindowEvent press = keyPress(message, wParam, lParam);
        windowClass.pressGaveKeyCode = pressGivesKeyCode(
            press.character, press.scanCode, press.baseCharacter, press.controlKeyState);
        return passOn(window, message, wParam, lParam, handleWindowEvent(press));
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        windowClass.keysChanged = true;
        windowClass.pressGaveKeyCode = false;
        break;
    case WM_CHAR:
        if (std::exchange(windowClass.pressGaveKeyCode, false)) {
            break;
        }
        return passOn(window, message, wParam, lParam,
                      handleWindowEvent(typedCharacter(wParam, lParam)));
    case WM_SIZE:
        if (wParam == SIZE_MAXIMIZED) {
            event.kind = WindowEventKind::Maximize;
            return passOn(window, message, wParam, lParam, handleWindowEvent(event));
        }
        break;
    case WM_QUERYENDSESSION:
        return TRUE; // the session may end: Ulo ends with it, through its normal exit
    case WM_ENDSESSION:
        // The process ends soon after this message is handled: the end goes the way of Ctrl+C,
        // and the window thread lets the main thread close the files before it answers.
        if (wParam != FALSE) {
            requestEnd();
            holdWindowThreadUntilStopped();
        }
        return 0;
    case WM_CLOSE:
        // Alt+F4 and the close button only queue the close key; the window stays.
        event.kind = WindowEventKind::Close;
        return passOn(window, message, wParam, lParam, handleWindowEvent(event));
    case WM_PAINT:
        event.kind = WindowEventKind::Paint;
        return passOn(window, message, wParam, lParam, handleWindowEvent(event));
    case WM_ACTIVATEAPP:
        windowClass.keysChanged = true;
        event.kind = WindowEventKind::Focus;
        event.active = wParam != FALSE;
        return passOn(window, message, wParam, lParam, handleWindowEvent(event));
    case WM_MOUSEWHEEL:
        event.kind = WindowEventKind::Wheel;
        event.wheelDelta = static_cast<std::int32_t>(wParam) > 0 ? 1 : -1;
        return passOn(window, message, wParam, lParam, handleWindowEvent(event));
    case WM_MOUSEMOVE:
        pointerMoved(window, lParam);
        break;
    case WM_MOUSELEAVE:
        windowClass.trackingPointer = false;
        windowState().pointerInside = false;
        break;
    case WM_DESTROY:
        windowClass.trackingPointer = false;
        windowState().pointerInside = false;
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

std::uint32_t windowsVersionWord() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info)) {
        return 0;
    }
    return info.dwMajorVersion << 8 | info.dwMinorVersion;
}

bool openWindowClass() {
    WindowClass& c = windowClass;
    c = WindowClass{};
    c.instance = ::GetModuleHandleW(nullptr);
    c.pointerMessage = ::RegisterWindowMessageA("VX mouse cursor");
    BOOL screenSaver = FALSE;
    if (::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &screenSaver, 0)) {
        c.savedScreenSaver = screenSaver;
        c.screenSaverSaved = true;
        ::SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    }
    const std::wstring title = wideFromUtf8(windowState().title).value_or(std::wstring());
    c.name = L"vxgfxclass_" + title.substr(0, CLASS_TITLE_LENGTH);
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.style = CS_HREDRAW | CS_VREDRAW;
    if ((windowState().flags & SCREEN_OPENGL) != 0) {
        // The OpenGL window keeps one device context, with its pixel format, for its whole life.
        description.style |= CS_OWNDC;
    }
    description.lpfnWndProc = windowProcedure;
    description.hInstance = c.instance;
    description.hIcon = ::LoadIconA(c.instance, "VX_PROGRAM_ICON");
    if (description.hIcon == nullptr) {
        description.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
    }
    description.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    description.lpszClassName = c.name.c_str();
    c.registered = ::RegisterClassExW(&description) != 0;
    return c.registered;
}

void closeWindowClass() {
    WindowClass& c = windowClass;
    if (c.registered) {
        ::UnregisterClassW(c.name.c_str(), c.instance);
        c.registered = false;
    }
    if (c.screenSaverSaved) {
        ::SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, static_cast<UINT>(c.savedScreenSaver),
                                nullptr, 0);
        c.screenSaverSaved = false;
    }
}

bool startWindowClassThread() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    if (!openWindowClass()) {
        windowClass.failure = "the window class could not be registered";
        return false;
    }
    return true;
}

void noteWindowClassFailure(const char* why) {
    windowClass.failure = why;
}

const char* windowClassFailureText() {
    return windowClass.failure;
}

const wchar_t* windowClassName() {
    return windowClass.name.c_str();
}

RECT centredFrame(DWORD style) {
    const WindowState& state = windowState();
    RECT outer{0, 0, state.width, state.height};
    ::AdjustWindowRect(&outer, style, FALSE);
    const LONG width = outer.right - outer.left;
    const LONG height = outer.bottom - outer.top;
    const LONG left = (::GetSystemMetrics(SM_CXSCREEN) - width) >> 1;
    const LONG top = (::GetSystemMetrics(SM_CYSCREEN) - height) >> 1;
    return {left, top, left + width, top + height};
}

HWND makeClassWindow(DWORD style, const RECT& place) {
    const std::wstring title = wideFromUtf8(windowState().title).value_or(std::wstring());
    return ::CreateWindowExW(0, windowClass.name.c_str(), title.c_str(), style, place.left,
                             place.top, place.right - place.left, place.bottom - place.top, nullptr,
                             nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

UINT pointerMessage() {
    return windowClass.pointerMessage;
}

bool pumpWindowMessages(const HWND& window) {
    MSG message;
    // Every message of the thread is taken, not only the window's: a wait for new messages
    // would otherwise sleep while older ones for another window of the thread stay queued.
    while (window != nullptr && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return std::exchange(windowClass.keysChanged, false);
}

bool waitForWindowMessages(HWND window, std::int32_t milliseconds) {
    const HANDLE event = windowWakeEvent();
    if (window == nullptr || event == nullptr) {
        return false;
    }
    // Without MWMO_INPUTAVAILABLE the wait ends on messages that came after the last pump only.
    ::MsgWaitForMultipleObjectsEx(1, &event, static_cast<DWORD>(milliseconds), QS_ALLINPUT, 0);
    return true;
}

void wakeWindowThread() {
    if (const HANDLE event = windowWakeEvent()) {
        ::SetEvent(event);
    }
}

void applyWindowRequests(HWND window, bool wholeDisplay, WindowRequests& requests) {
    if (window == nullptr) {
        return;
    }
    if (requests.newTitle) {
        ::SetWindowTextW(window, wideFromUtf8(requests.title).value_or(std::wstring()).c_str());
        requests.newTitle = false;
    }
    if (requests.warp) {
        POINT place{requests.warpX, requests.warpY};
        if (!wholeDisplay) {
            ::ClientToScreen(window, &place);
        }
        ::SetCursorPos(place.x, place.y);
        requests.warp = false;
    }
    if (requests.pointer >= 0) {
        // The pointer's show count belongs to the window's thread: the window procedure changes
        // it, in this pass's pump.
        ::PostMessageW(window, pointerMessage(), static_cast<WPARAM>(requests.pointer), 0);
        requests.pointer = -1;
    }
}

} // namespace ulo
