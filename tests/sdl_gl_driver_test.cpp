// The OpenGL driver in this process under a private X server with Mesa's software renderer: what
// a program draws and flips shows in the window, flip takes the window's events, full screen
// needs a display mode of the window's size, and only callers asking for SCREEN_OPENGL get it.
#include "console/keys.hpp"
#include "posix/sdl_driver.hpp"
#include "posix/sdl_gl_driver.hpp"
#include "posix/sdl_library.hpp"
#include "support/opengl_picture.hpp"
#include "support/screen_pictures.hpp"
#include "support/virtual_display.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace ulo {
namespace {

constexpr auto PATIENCE = std::chrono::seconds(20);

// Sets an environment variable for a scope (null: unset) and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class SdlGlDriver : public ::testing::Test {
protected:
    explicit SdlGlDriver(int width = 1024, int height = 768) : display_(width, height) {}

    void SetUp() override {
        ASSERT_TRUE(display_.running()) << "Xvfb did not start";
        variables_.push_back(std::make_unique<ScopedVariable>("DISPLAY", display_.name().c_str()));
        for (const char* name : {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "VXGFX"}) {
            variables_.push_back(std::make_unique<ScopedVariable>(name, nullptr));
        }
        // One drawing thread is enough for Mesa's software renderer here.
        variables_.push_back(std::make_unique<ScopedVariable>("LP_NUM_THREADS", "1"));
        resetKeyBuffer();
        sdl_ = loadSdlLibrary();
        ASSERT_NE(sdl_, nullptr);
    }
    void TearDown() override { setScreenMode(0, 0, 0, 0, 0); }

    const DisplayDriver* open(std::int32_t flags) {
        return setScreenMode(18, 32, 0, flags, 0) == ERR_NONE ? activeScreen()->driver : nullptr;
    }

    testing::GlFunctions glFunctions() {
        return testing::glFunctions([&](const char* name) {
            return reinterpret_cast<void (*)()>(sdl_->SDL_GL_GetProcAddress(name));
        });
    }

    void pushKeyDown(SDL_Scancode scancode, SDL_Keycode keycode, std::uint16_t modifiers = 0) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.keysym = {scancode, keycode, modifiers, 0};
        sdl_->SDL_PushEvent(&event);
    }

    testing::VirtualDisplay display_;
    const SdlLibrary* sdl_ = nullptr;

private:
    std::vector<std::unique_ptr<ScopedVariable>> variables_;
};

// The stencil and accumulation buffers come when asked for, beside the deepest depth buffer the
// display has with them (this one has no 32-bit depth buffer with a stencil buffer). A blue
// screen with a red rectangle is drawn and flipped until the window shows it: a window may lose
// what was drawn before it appeared on the screen. Flip takes the window's events.
TEST_F(SdlGlDriver, WhatTheProgramDrawsAndFlipsShowsInTheWindow) {
    ASSERT_EQ(open(SCREEN_OPENGL | SCREEN_STENCIL_BUFFER | SCREEN_ACCUM_BUFFER),
              &SDL_GL_DISPLAY_DRIVER);
    const testing::GlFunctions gl = glFunctions();
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

    const RgbPicture expected = testing::openGlTestPicture();
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    testing::VirtualDisplay::Shown shown;
    while (!shown.window && std::chrono::steady_clock::now() < deadline) {
        testing::drawOpenGlTestPicture(gl);
        activeScreen()->driver->flip();
        shown = display_.waitForWindowShowing(
            screenTitle(),
            [&](const RgbPicture& picture) { return picture.pixels == expected.pixels; },
            std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(testing::samePicture(expected, shown.picture, "opengl-window"));

    pushKeyDown(SDL_SCANCODE_UP, SDLK_UP);
    pushKeyDown(SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT);
    activeScreen()->driver->flip();
    EXPECT_EQ(popKey(), KEY_UP);
    EXPECT_EQ(popKey(), WINDOW_CLOSE_KEY);
}

// The driver walk: a mode set without SCREEN_OPENGL never gets the OpenGL window, even when
// VXGFX names it; one with it always does, even when VXGFX names the other window; full screen
// on a display without a 640 x 480 mode falls back to the framed window.
TEST_F(SdlGlDriver, OnlyCallersAskingForOpenGlGetIt) {
    EXPECT_NE(SDL_GL_DISPLAY_DRIVER.init("t", 640, 480, 32, 0, 0), 0);
    SDL_GL_DISPLAY_DRIVER.shutdown();
    EXPECT_EQ(open(0), &SDL_DISPLAY_DRIVER);
    {
        const ScopedVariable vxgfx("VXGFX", "opengl");
        EXPECT_EQ(open(0), &SDL_DISPLAY_DRIVER);
    }
    {
        const ScopedVariable vxgfx("VXGFX", "SDL");
        EXPECT_EQ(open(SCREEN_OPENGL), &SDL_GL_DISPLAY_DRIVER);
    }
    EXPECT_EQ(open(SCREEN_OPENGL | SCREEN_FULLSCREEN), &SDL_GL_DISPLAY_DRIVER);
    EXPECT_EQ(windowState().flags & SCREEN_FULLSCREEN, 0);
    const auto window = display_.findWindow(screenTitle(), PATIENCE);
    ASSERT_TRUE(window.has_value());
    const auto geometry = display_.geometry(*window);
    EXPECT_EQ(geometry.width, 640);
    EXPECT_EQ(geometry.height, 480);
}

// On a display of the window's size full screen works and the display's modes are listed;
// Alt+Enter, taken in a flip, switches to the framed window.
class SdlGlDriverOnSmallDisplay : public SdlGlDriver {
protected:
    SdlGlDriverOnSmallDisplay() : SdlGlDriver(640, 480) {}
};

TEST_F(SdlGlDriverOnSmallDisplay, FullScreenTakesTheDisplayMode) {
    ASSERT_EQ(open(SCREEN_OPENGL | SCREEN_FULLSCREEN), &SDL_GL_DISPLAY_DRIVER);
    EXPECT_NE(windowState().flags & SCREEN_FULLSCREEN, 0);
    const DisplayDriver& driver = *activeScreen()->driver;
    std::int32_t count = 0;
    const std::int32_t* modes = driver.fetchModes(32, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(modes[0], 640 * 65536 + 480);
    driver.fetchModes(16, &count);
    EXPECT_EQ(count, 0);

    pushKeyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    driver.flip();
    EXPECT_EQ(windowState().flags & SCREEN_FULLSCREEN, 0);
    EXPECT_TRUE(keyBufferEmpty());
    EXPECT_TRUE(display_.findWindow(screenTitle(), PATIENCE).has_value());
}

} // namespace
} // namespace ulo
