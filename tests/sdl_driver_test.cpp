// The SDL driver in this process on SDL's off-screen video driver: its window thread presents
// dirty rows and turns injected window-system events into key codes and window state.
#include "console/keys.hpp"
#include "console/print.hpp"
#include "posix/sdl_driver.hpp"
#include "posix/sdl_keys.hpp"
#include "posix/sdl_library.hpp"
#include "posix/sdl_sound.hpp"
#include "screen/framebuffer_png.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"
#include "screen/window_events.hpp"
#include "support/screen_pictures.hpp"
#include "support/test_support.hpp"
#include "support/virtual_display.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

namespace ulo {
namespace {

constexpr auto PATIENCE = std::chrono::seconds(20);

class SdlDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ::setenv("SDL_RENDER_DRIVER", "software", 1);
        ::unsetenv("VXGFX");
        resetKeyBuffer();
        sdl = loadSdlLibrary();
        ASSERT_NE(sdl, nullptr);
    }
    void TearDown() override {
        setScreenMode(0, 0, 0, 0, 0);
        ::unsetenv("SDL_VIDEODRIVER");
    }

    void open(std::int32_t flags = 0) {
        ASSERT_EQ(setScreenMode(18, 32, 0, flags, 0), ERR_NONE);
        ASSERT_EQ(activeScreen()->driver, &SDL_DISPLAY_DRIVER);
    }

    // The next key code the line editor would read, or 0 when none comes.
    KeyCode nextKey() {
        const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
        while (std::chrono::steady_clock::now() < deadline) {
            if (keyAvailable()) {
                return readKey();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return 0;
    }

    void keyDown(SDL_Scancode scancode, SDL_Keycode keycode, std::uint16_t modifiers = 0) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = sdlWindowId();
        event.key.state = SDL_PRESSED;
        event.key.keysym = {scancode, keycode, modifiers, 0};
        sdl->SDL_PushEvent(&event);
    }
    void text(const char* utf8) {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        event.text.windowID = sdlWindowId();
        std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
        sdl->SDL_PushEvent(&event);
    }
    void windowEvent(SDL_WindowEventID id) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = sdlWindowId();
        event.window.event = static_cast<Uint8>(id);
        sdl->SDL_PushEvent(&event);
    }

    // Waits until `condition` holds under the screen lock.
    template <typename Condition>
    bool eventually(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                const ScreenLock lock(activeScreen());
                if (condition()) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    const SdlLibrary* sdl = nullptr;
};

TEST_F(SdlDriver, PresentsDirtyRowsAndClearsTheirFlags) {
    open();
    printText(0, "hello", PRINT_NEWLINE);
    const ScreenState& screen = *activeScreen();
    const auto allClean = [&] {
        const std::uint8_t* dirty = screen.dirty.get();
        return std::all_of(dirty, dirty + screen.height,
                           [](std::uint8_t flag) { return flag == 0; });
    };
    EXPECT_TRUE(eventually(allClean));
    // An expose asks for the whole picture again, which is then presented.
    windowEvent(SDL_WINDOWEVENT_EXPOSED);
    EXPECT_TRUE(eventually(allClean));
}

// What each key does in the line is the key table's; here the presses and text go the whole way
// through SDL's event queue and the window thread.
TEST_F(SdlDriver, KeyPressesAndTextBecomeKeyCodes) {
    open();
    keyDown(SDL_SCANCODE_UP, SDLK_UP);
    EXPECT_EQ(nextKey(), KEY_UP);
    keyDown(SDL_SCANCODE_F10, SDLK_F10);
    EXPECT_EQ(nextKey(), KEY_F10);
    // A letter types nothing by itself: its character comes as text.
    keyDown(SDL_SCANCODE_A, SDLK_a);
    text("a");
    EXPECT_EQ(nextKey(), 'a');
    text("é€");
    EXPECT_EQ(nextKey(), 0x82); // é in code page 437; € has no place there
    // Alt+X is a key code, and the text that follows it is not typed.
    keyDown(SDL_SCANCODE_X, SDLK_x, KMOD_LALT);
    text("x");
    EXPECT_EQ(nextKey(), 0x2DFF);
    // AltGr characters are text.
    keyDown(SDL_SCANCODE_RALT, SDLK_MODE, KMOD_MODE);
    keyDown(SDL_SCANCODE_Q, SDLK_q, KMOD_MODE);
    text("@");
    EXPECT_EQ(nextKey(), '@');
    // A character that never comes as text.
    keyDown(SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL);
    EXPECT_EQ(nextKey(), 3);
    // Closing only queues the close key.
    keyDown(SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT);
    EXPECT_EQ(nextKey(), WINDOW_CLOSE_KEY);
    windowEvent(SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(nextKey(), WINDOW_CLOSE_KEY);
    EXPECT_TRUE(keyBufferEmpty());
}

TEST_F(SdlDriver, FocusFollowsTheWindow) {
    open();
    windowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_TRUE(eventually([] { return !windowState().active; }));
    windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_TRUE(eventually([] { return windowState().active; }));
}

TEST_F(SdlDriver, AltEnterSwitchesFullScreenUnlessForbidden) {
    open();
    const std::uint32_t windowed = sdlWindowId();
    keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    EXPECT_TRUE(eventually([] { return (windowState().flags & SCREEN_FULLSCREEN) != 0; }));
    EXPECT_NE(sdlWindowId(), windowed); // made anew
    keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    EXPECT_TRUE(eventually([] { return (windowState().flags & SCREEN_FULLSCREEN) == 0; }));
    EXPECT_TRUE(keyBufferEmpty()); // Alt+Enter types nothing

    setScreenMode(0, 0, 0, 0, 0);
    open(SCREEN_NO_SWITCH);
    const std::uint32_t fixed = sdlWindowId();
    keyDown(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    keyDown(SDL_SCANCODE_UP, SDLK_UP); // a key after it shows the first was handled
    EXPECT_EQ(nextKey(), KEY_UP);
    EXPECT_EQ(sdlWindowId(), fixed);
    EXPECT_EQ(windowState().flags & SCREEN_FULLSCREEN, 0);
}

// The driver on a private X server, where the window thread sleeps on the desktop's connection
// between passes: what the main thread does meanwhile must wake it.
class SdlDriverOnX : public SdlDriver {
protected:
    void SetUp() override {
        SdlDriver::SetUp();
        const char* saved = std::getenv("DISPLAY");
        savedDisplay = saved != nullptr ? saved : "";
        ASSERT_TRUE(display.running()) << "Xvfb did not start";
        ::unsetenv("SDL_VIDEODRIVER");
        ::setenv("DISPLAY", display.name().c_str(), 1);
    }
    void TearDown() override {
        SdlDriver::TearDown();
        if (savedDisplay.empty()) {
            ::unsetenv("DISPLAY");
        } else {
            ::setenv("DISPLAY", savedDisplay.c_str(), 1);
        }
    }

    testing::VirtualDisplay display;
    std::string savedDisplay;
};

// Modes 2 and 8 show each framebuffer row on two window lines: on a real window, a print low on
// the screen reaches it as well as the first picture does.
TEST_F(SdlDriverOnX, DoubledRowsReachTheWindow) {
    // A renderer that takes only the locked band of a texture to the screen.
    ::setenv("SDL_RENDER_DRIVER", "opengl", 1);
    ASSERT_EQ(setScreenMode(2, 0, 0, 0, 0), ERR_NONE);
    const auto window = display.findWindow(screenTitle());
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(display.geometry(*window).height, 400);
    for (const std::int32_t row : {1, 20}) {
        setCursor(row, 1, CURSOR_KEEP);
        printText(0, "row " + std::to_string(row), 0);
        RgbPicture expected;
        {
            const ScreenLock lock(activeScreen());
            expected = framebufferPicture(*activeScreen());
        }
        const auto shown =
            display.waitForWindowShowing(screenTitle(), [&](const RgbPicture& picture) {
                return picture.width == expected.width && picture.pixels == expected.pixels;
            });
        EXPECT_TRUE(
            testing::samePicture(expected, shown.picture, "mode2-row" + std::to_string(row)));
    }
}

TEST_F(SdlDriverOnX, TitleReachesTheWaitingWindow) {
    open();
    ASSERT_TRUE(display.findWindow(screenTitle()).has_value());
    SDL_DISPLAY_DRIVER.setWindowTitle("renamed");
    EXPECT_TRUE(display.findWindow("renamed").has_value());
}

// A sound written by SDL's file-writing audio driver: the first stretch of samples that are not
// silence and that silence follows (at least a tenth of a second of it), in seconds and hertz.
struct Tone {
    double seconds = 0;
    double hertz = 0;
};
std::optional<Tone> toneIn(const std::string& samples) {
    const auto* sample = reinterpret_cast<const std::int16_t*>(samples.data());
    const std::size_t count = samples.size() / 2;
    const std::size_t start =
        std::find_if(sample, sample + count, [](auto s) { return s != 0; }) - sample;
    std::size_t end = start; // one past the last sound sample
    std::size_t silence = 0;
    int rises = 0; // negative to not negative: one per cycle
    for (std::size_t i = start; i < count && silence < SDL_TONE_SAMPLE_RATE / 10; ++i) {
        silence = sample[i] == 0 ? silence + 1 : 0;
        end = sample[i] != 0 ? i + 1 : end;
        rises += i > start && sample[i - 1] < 0 && sample[i] >= 0 ? 1 : 0;
    }
    if (start == count || silence < SDL_TONE_SAMPLE_RATE / 10) {
        return std::nullopt;
    }
    const double seconds = static_cast<double>(end - start) / SDL_TONE_SAMPLE_RATE;
    return Tone{seconds, rises / seconds};
}

// BEL sounds the bell through SDL's audio, opened with the first tone; without a sound device
// the bell is silent and the window goes on.
TEST_F(SdlDriver, BelSoundsTheBell) {
    testing::TemporaryDirectory directory;
    ::setenv("SDL_AUDIODRIVER", "no-such-device", 1);
    open();
    printText(0, "\a", 0);
    keyDown(SDL_SCANCODE_UP, SDLK_UP);
    EXPECT_EQ(nextKey(), KEY_UP);
    setScreenMode(0, 0, 0, 0, 0);

    const std::string file = (directory.path() / "bell.raw").string();
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    open();
    printText(0, "no bell yet", PRINT_NEWLINE);
    keyDown(SDL_SCANCODE_UP, SDLK_UP); // a whole pass of the window thread
    EXPECT_EQ(nextKey(), KEY_UP);
    EXPECT_FALSE(std::filesystem::exists(file));
    printText(0, "\a", 0);
    std::optional<Tone> tone;
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    while (!tone && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        tone = toneIn(testing::readFile(file));
    }
    ::unsetenv("SDL_AUDIODRIVER");
    ::unsetenv("SDL_DISKAUDIOFILE");
    ASSERT_TRUE(tone.has_value()) << "no tone in " << file;
    EXPECT_NEAR(tone->seconds, 0.25, 0.005);
    EXPECT_NEAR(tone->hertz, 1000, 10);
}

TEST_F(SdlDriver, RefusesWithoutADisplayAndForOpenGl) {
    ::unsetenv("SDL_VIDEODRIVER");
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    EXPECT_NE(SDL_DISPLAY_DRIVER.init("t", 640, 480, 32, 0, 0), 0);
    SDL_DISPLAY_DRIVER.shutdown();
    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    EXPECT_NE(SDL_DISPLAY_DRIVER.init("t", 640, 480, 32, 0, SCREEN_OPENGL), 0);
    SDL_DISPLAY_DRIVER.shutdown();
    if (!saved.empty()) {
        ::setenv("DISPLAY", saved.c_str(), 1);
    }
}

TEST(SdlKeys, ScanCodesModifiersAndCharacters) {
    EXPECT_EQ(describeScancode(SDL_SCANCODE_UP).scanCode, 0x48);
    EXPECT_TRUE(describeScancode(SDL_SCANCODE_UP).enhanced);
    EXPECT_FALSE(describeScancode(SDL_SCANCODE_KP_8).enhanced);
    EXPECT_EQ(describeScancode(SDL_SCANCODE_X).scanCode, 0x2D);
    EXPECT_EQ(describeScancode(SDL_SCANCODE_F11).scanCode, 0x57);
    EXPECT_EQ(describeScancode(SDL_SCANCODE_F10).virtualKey, VIRTUAL_KEY_F10);
    EXPECT_EQ(controlKeyState(KMOD_LSHIFT | KMOD_RCTRL, true),
              SHIFT_PRESSED | RIGHT_CTRL_PRESSED | ENHANCED_KEY);
    EXPECT_EQ(controlKeyState(KMOD_MODE, false), RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED);
    EXPECT_EQ(baseCharacter(SDLK_a), 'a');
    EXPECT_EQ(baseCharacter(SDLK_UP), 0);
    EXPECT_EQ(baseCharacter(0xE9), 0x82); // é on a French keyboard
    EXPECT_EQ(typedCharacter(SDLK_a, KMOD_LSHIFT), 'A');
    EXPECT_EQ(typedCharacter(SDLK_a, KMOD_LSHIFT | KMOD_CAPS), 'a');
    EXPECT_EQ(typedCharacter(SDLK_KP_7, KMOD_NUM), '7');
    EXPECT_EQ(typedCharacter(SDLK_KP_7, KMOD_NUM | KMOD_LSHIFT), 0);
    EXPECT_EQ(controlCharacter(SDLK_RETURN, KMOD_LCTRL), 10);
    EXPECT_EQ(controlCharacter(SDLK_LEFTBRACKET, KMOD_RCTRL), 27);
    EXPECT_EQ(controlCharacter(SDLK_c, KMOD_LCTRL | KMOD_LALT), 0);
    EXPECT_TRUE(textInputSuppressed(KMOD_LALT, 'X', 'x'));
    EXPECT_FALSE(textInputSuppressed(KMOD_RALT | KMOD_LCTRL, '@', 'q'));
    EXPECT_EQ(typedCharacter(SDLK_q, KMOD_MODE), 0);
    EXPECT_FALSE(textInputSuppressed(0, 'x', 'x'));
}

} // namespace
} // namespace ulo
