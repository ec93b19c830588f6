// The OpenGL window under Wine on the test session's X display, drawn by Mesa's software renderer
// (its picture is looked at from the X side, win32_wgl_window_session.sh): a program that sets
// mode 18 with SCREEN_OPENGL gets a framed window with a 640 x 480 client area and a context with
// the buffers it asked for, flip takes the window's messages, and the display's sizes are listed.
// Only callers asking for SCREEN_OPENGL get that window.
#include "console/keys.hpp"
#include "support/opengl_picture.hpp"
#include "support/test_support.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"
#include "win32/window_procedure.hpp"
#include "win32/windows_platform.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace ulo {
namespace {

class Win32OpenGl : public ::testing::Test {
protected:
    void SetUp() override {
        testing::setEnvironment("VXGFX", nullptr);
        resetKeyBuffer();
    }
    void TearDown() override {
        setScreenMode(0, 0, 0, 0, 0);
        testing::setEnvironment("VXGFX", nullptr);
    }

    static const DisplayDriver* open(std::int32_t flags) {
        return setScreenMode(18, 32, 0, flags, 0) == ERR_NONE ? activeScreen()->driver : nullptr;
    }
};

TEST_F(Win32OpenGl, WindowContextAndFlip) {
    ASSERT_EQ(open(SCREEN_OPENGL | SCREEN_STENCIL_BUFFER | SCREEN_ACCUM_BUFFER),
              &WGL_DISPLAY_DRIVER);
    const HWND window = ::FindWindowW(windowClassName(), nullptr);
    ASSERT_NE(window, nullptr);
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_TRUE(::IsWindowVisible(window));
    const auto framed = static_cast<LONG_PTR>(WS_CAPTION | WS_MAXIMIZEBOX);
    EXPECT_EQ(::GetWindowLongPtrW(window, GWL_STYLE) & framed, framed);

    const HMODULE library = ::GetModuleHandleA("opengl32.dll");
    ASSERT_NE(library, nullptr);
    const testing::GlFunctions gl = testing::glFunctions([library](const char* name) {
        return reinterpret_cast<void (*)()>(::GetProcAddress(library, name));
    });
    ASSERT_TRUE(gl.complete());
    const auto bits = [&](GLenum name) {
        GLint value = 0;
        gl.getIntegerv(name, &value);
        return value;
    };
    EXPECT_GE(bits(GL_STENCIL_BITS), 8);
    EXPECT_GE(bits(GL_ACCUM_RED_BITS) + bits(GL_ACCUM_GREEN_BITS) + bits(GL_ACCUM_BLUE_BITS) +
                  bits(GL_ACCUM_ALPHA_BITS),
              32);
    EXPECT_GE(bits(GL_DEPTH_BITS), 16);

    // Flip takes what came for the window: the grey Up and the close request.
    ::PostMessageW(window, WM_KEYDOWN, VK_UP, 1 | 0x48 << 16 | 1 << 24);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    activeScreen()->driver->flip();
    EXPECT_EQ(popKey(), KEY_UP);
    EXPECT_EQ(popKey(), WINDOW_CLOSE_KEY);
    EXPECT_TRUE(::IsWindow(window));

    // The display's sizes include the one it has now.
    std::int32_t count = 0;
    const std::int32_t* modes = activeScreen()->driver->fetchModes(32, &count);
    const std::int32_t now =
        ::GetSystemMetrics(SM_CXSCREEN) * 65536 + ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NE(std::find(modes, modes + count, now), modes + count);
}

// The driver walk: a mode set without SCREEN_OPENGL never gets the OpenGL window, even when
// VXGFX names it; one with it always does, even when VXGFX names the GDI window; full screen on a
// display without a 640 x 480 mode falls back to the framed window.
TEST_F(Win32OpenGl, OnlyCallersAskingForOpenGlGetIt) {
    EXPECT_NE(WGL_DISPLAY_DRIVER.init("t", 640, 480, 32, 0, 0), 0);
    WGL_DISPLAY_DRIVER.shutdown();
    const DisplayDriver* usual = open(0);
    ASSERT_NE(usual, nullptr);
    EXPECT_NE(usual, &WGL_DISPLAY_DRIVER);
    testing::setEnvironment("VXGFX", "opengl");
    EXPECT_EQ(open(0), usual);
    testing::setEnvironment("VXGFX", "GDI");
    EXPECT_EQ(open(SCREEN_OPENGL), &WGL_DISPLAY_DRIVER);
    testing::setEnvironment("VXGFX", nullptr);
    EXPECT_EQ(open(SCREEN_OPENGL | SCREEN_FULLSCREEN), &WGL_DISPLAY_DRIVER);
    EXPECT_EQ(windowState().flags & SCREEN_FULLSCREEN, 0);
}

} // namespace
} // namespace ulo
