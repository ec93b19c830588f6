// The GDI window's own parts: the window procedure's key codes and close requests, the held keys,
// and the picture of every kind of screen it presents (32-bit as it is, 16-bit through its
// conversion buffer, indexed with a colour table, doubled lines).
#include "console/keys.hpp"
#include "console/print.hpp"
#include "screen/framebuffer_png.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "screen/window_thread.hpp"
#include "support/screen_pictures.hpp"
#include "support/test_support.hpp"
#include "win32/window_keys.hpp"
#include "win32/window_procedure.hpp"
#include "win32/windows_platform.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace ulo {
namespace {

// The lParam of a key message.
LPARAM keyBits(unsigned scanCode, bool extended = false, bool alt = false, unsigned repeat = 1) {
    return static_cast<LPARAM>(repeat | scanCode << 16 | (extended ? 1u << 24 : 0) |
                               (alt ? 1u << 29 : 0));
}

void holdKeys(std::initializer_list<int> virtualKeys) {
    BYTE keys[256] = {};
    for (const int key : virtualKeys) {
        keys[key] = 0x80;
    }
    ::SetKeyboardState(keys);
}

std::vector<KeyCode> queuedKeys() {
    std::vector<KeyCode> codes;
    for (KeyCode code = popKey(); code != 0; code = popKey()) {
        codes.push_back(code);
    }
    return codes;
}

// No driver stands behind the test's window.
constexpr WindowPresenter NO_WINDOW_OPERATIONS{};

// A hidden window of Ulo's class on this thread: messages sent to it run the window procedure
// at once.
class Win32WindowProcedure : public ::testing::Test {
protected:
    void SetUp() override {
        prepareWindowState(NO_WINDOW_OPERATIONS, "ulo", 640, 480, 32, 0, 0, windowsVersionWord());
        ASSERT_TRUE(openWindowClass());
        window = ::CreateWindowExW(0, windowClassName(), L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        windowState().active = true;
        holdKeys({});
        resetKeyBuffer();
    }
    void TearDown() override {
        ::DestroyWindow(window);
        closeWindowClass();
        holdKeys({});
        resetKeyBuffer();
    }

    void key(WPARAM virtualKey, LPARAM bits, UINT message = WM_KEYDOWN) {
        ::SendMessageW(window, message, virtualKey, bits);
    }

    HWND window = nullptr;
};

TEST_F(Win32WindowProcedure, KeyPressesQueueExtendedCodesAndCharactersComeAsText) {
    key(VK_UP, keyBits(0x48, true)); // the grey Up
    key(VK_UP, keyBits(0x48));       // the keypad's
    key(VK_F12, keyBits(0x58));
    key(VK_F1, keyBits(0x3B, false, false, 3)); // held: a repeat count of 3
    key('A', keyBits(0x1E));                    // its character comes as WM_CHAR
    holdKeys({VK_CONTROL, VK_LCONTROL});
    key(VK_LEFT, keyBits(0x4B, true));
    holdKeys({VK_MENU, VK_LMENU});
    key('X', keyBits(0x2D, false, true), WM_SYSKEYDOWN);
    holdKeys({});
    key(VK_F10, keyBits(0x44), WM_SYSKEYDOWN);
    // Shift+Tab gives its key code alone, not also the Tab that TranslateMessage makes of it.
    holdKeys({VK_SHIFT, VK_LSHIFT});
    key(VK_TAB, keyBits(0x0F));
    ::SendMessageW(window, WM_CHAR, '\t', keyBits(0x0F));
    holdKeys({});
    EXPECT_EQ(queuedKeys(), (std::vector<KeyCode>{KEY_UP, KEY_UP, KEY_F12, KEY_F1, KEY_F1, KEY_F1,
                                                  extendedKey(0x73), extendedKey(0x2D), KEY_F10,
                                                  extendedKey(0x0F)}));

    ::SendMessageW(window, WM_CHAR, 'h', keyBits(0x23));
    ::SendMessageW(window, WM_CHAR, 3, keyBits(0x2E));                  // Ctrl+C
    ::SendMessageW(window, WM_CHAR, 0xE9, keyBits(0, false, false, 2)); // é, twice
    ::SendMessageW(window, WM_CHAR, 0x20AC, keyBits(0)); // € is not in code page 437
    ::SendMessageW(window, WM_CHAR, 0x266A, keyBits(0)); // ♪ pictures byte 13, not Enter
    EXPECT_EQ(queuedKeys(), (std::vector<KeyCode>{'h', 3, 0x82, 0x82}));

    // Without the focus Alt combinations are the system's.
    ::SendMessageW(window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_FALSE(windowState().active);
    holdKeys({VK_MENU, VK_LMENU});
    key('X', keyBits(0x2D, false, true), WM_SYSKEYDOWN);
    EXPECT_EQ(queuedKeys(), std::vector<KeyCode>{});
}

TEST_F(Win32WindowProcedure, CloseButtonAndAltF4OnlyQueueTheCloseKey) {
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(queuedKeys(), std::vector<KeyCode>{WINDOW_CLOSE_KEY});
    // Passed on, Alt+F4 would close the window, or queue the close key a second time.
    holdKeys({VK_MENU, VK_LMENU});
    key(VK_F4, keyBits(0x3E, false, true), WM_SYSKEYDOWN);
    EXPECT_EQ(queuedKeys(), std::vector<KeyCode>{WINDOW_CLOSE_KEY});
    EXPECT_TRUE(::IsWindow(window));
}

// The window thread sleeps in this wait: a wake-up or a message that came after the last pump
// (even before the wait began) ends it, and the message stays for the pump.
TEST_F(Win32WindowProcedure, AWaitForMessagesEndsForAWakeUpOrANewMessage) {
    using namespace std::chrono_literals;
    const auto waitEnds = [this] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(waitForWindowMessages(window, 60000)); // only a lost wake-up waits that long
        return std::chrono::steady_clock::now() - start < 30s;
    };
    pumpWindowMessages(window);
    wakeWindowThread();
    EXPECT_TRUE(waitEnds());
    std::thread waker([] { wakeWindowThread(); });
    EXPECT_TRUE(waitEnds());
    waker.join();

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitEnds());
    pumpWindowMessages(window);
    EXPECT_EQ(queuedKeys(), std::vector<KeyCode>{WINDOW_CLOSE_KEY});
    std::thread poster([this] { ::PostMessageW(window, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(waitEnds());
    poster.join();
    pumpWindowMessages(window);
    EXPECT_EQ(queuedKeys(), std::vector<KeyCode>{WINDOW_CLOSE_KEY});

    EXPECT_FALSE(waitForWindowMessages(nullptr, 60000));
}

TEST(Win32HeldKeys, ScanCodesOfTheKeysDown) {
    holdKeys({VK_NUMPAD7, VK_SUBTRACT, VK_RWIN, VK_F12, VK_LSHIFT, VK_DIVIDE});
    std::array<std::uint8_t, 128> held{};
    readHeldKeys(held.data());
    holdKeys({});
    std::array<std::uint8_t, 128> expected{};
    for (const int scanCode : {0x47, 0x0C, 0x7E, 0x58, 0x2A, 0x35}) {
        expected[static_cast<std::size_t>(scanCode)] = 1;
    }
    EXPECT_EQ(held, expected);
}

// The window's client area as 0x00RRGGBB pixels.
RgbPicture captureWindow(HWND window, int width, int height) {
    RgbPicture picture{width, height, {}};
    HDC dc = ::GetDC(window);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = ::GetPixel(dc, x, y);
            picture.pixels.push_back(static_cast<std::uint32_t>(
                GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour)));
        }
    }
    ::ReleaseDC(window, dc);
    return picture;
}

struct GdiScreen {
    std::int32_t mode;
    std::int32_t depth;
    int tolerance; // 16-bit pixels are shown as 5-5-5: green loses its lowest bit
};

class Win32GdiScreen : public ::testing::TestWithParam<GdiScreen> {
protected:
    // DirectX comes first in the walk: these are the GDI window's pictures.
    void SetUp() override { testing::setEnvironment("VXGFX", "GDI"); }
    void TearDown() override {
        setScreenMode(0, 0, 0, 0, 0);
        testing::setEnvironment("VXGFX", nullptr);
    }
};

TEST_P(Win32GdiScreen, WindowShowsTheFramebuffer) {
    const GdiScreen& param = GetParam();
    ASSERT_EQ(setScreenMode(param.mode, param.depth, 0, 0, 0), ERR_NONE);
    ScreenState& screen = *activeScreen();
    ASSERT_EQ(screen.driver, &GDI_DISPLAY_DRIVER);
    printBuffer("Ulo V.3 \xDB", PRINT_NEWLINE);
    RgbPicture expected;
    {
        // Below the text, every byte value in every pixel byte.
        const ScreenLock lock(&screen);
        for (std::int32_t y = screen.height / 2; y < screen.height; ++y) {
            std::uint8_t* row = screen.framebuffer + static_cast<std::ptrdiff_t>(y) * screen.pitch;
            for (std::int32_t i = 0; i < screen.pitch; ++i) {
                row[i] = static_cast<std::uint8_t>(i * 7 + y * 13);
            }
        }
        markAllDirty(screen);
        expected = framebufferPicture(screen);
    }
    const HWND window = ::FindWindowW(windowClassName(), nullptr);
    ASSERT_NE(window, nullptr);
    RgbPicture shown;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    do {
        shown = captureWindow(window, expected.width, expected.height);
        if (testing::alikePictures(expected, shown, param.tolerance)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    EXPECT_TRUE(testing::samePicture(expected, shown,
                                     "gdi-mode" + std::to_string(param.mode) + "-depth" +
                                         std::to_string(param.depth),
                                     param.tolerance));
}

INSTANTIATE_TEST_SUITE_P(Screens, Win32GdiScreen,
                         ::testing::Values(GdiScreen{18, 32, 0}, GdiScreen{18, 16, 12},
                                           GdiScreen{13, 8, 0}, GdiScreen{8, 4, 0}),
                         [](const ::testing::TestParamInfo<GdiScreen>& info) {
                             return "Mode" + std::to_string(info.param.mode) + "Depth" +
                                    std::to_string(info.param.depth);
                         });

} // namespace
} // namespace ulo
