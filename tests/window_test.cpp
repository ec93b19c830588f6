// The real window under a private X server: the conversation drawn pixel for pixel, editing keys,
// the close button, the full-screen switch, the end, and the fall-back without a display.
#include "support/child_process.hpp"
#include "support/screen_pictures.hpp"
#include "support/test_support.hpp"
#include "support/virtual_display.hpp"

#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <thread>

namespace ulo {
namespace {

using testing::ChildProcess;
using testing::FALLBACK_REPLIES;
using testing::readFile;

const std::string BANNER = "Ulo V.3 01-09-07";

std::string unknownRecord(const std::string& key) {
    return "\"" + key + "\",\"&&$&&\",\"&&$&&\"\r\n";
}

// Waits until data.dat holds `expected`.
bool knowledgeBecomes(const std::string& expected) {
    for (int i = 0; i < 400; ++i) {
        if (readFile("data.dat") == expected) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The window with `line` typed below the banner and an empty line.
RgbPicture typedLine(const std::string& line) {
    return testing::textPicture({BANNER, "", line});
}

// The 640 x 480 part of a full-screen picture at (192, 144).
RgbPicture centre(const RgbPicture& screen) {
    RgbPicture middle{640, 480, {}};
    for (int y = 0; y < 480; ++y) {
        const auto row = screen.pixels.begin() + (y + 144) * screen.width + 192;
        middle.pixels.insert(middle.pixels.end(), row, row + 640);
    }
    return middle;
}

// Keys go in a few at a time, far fewer than the key buffer holds, and each batch waits for its
// echo on the screen before the next: however slowly Ulo reads them, none is dropped.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(display.running()) << "Xvfb did not start";
        // With no input at all, as a desktop starts programs: input from a pipe would be read
        // instead of the window's keys.
        ulo.emplace("/bin/sh", std::vector<std::string>{"-c", "exec " ULO_BINARY " </dev/null"},
                    directory.path().string(),
                    std::vector<std::string>{"DISPLAY=" + display.name(), "LC_ALL=C.UTF-8",
                                             "SDL_RENDER_DRIVER=software"});
        // Only the window that shows the banner stays: keys go to no other.
        ASSERT_TRUE(shows(typedLine(""), "banner"));
    }

    void TearDown() override {
        if (ulo) {
            ulo->signal(SIGKILL);
        }
    }

    // Waits until the window titled ulo shows `expected` (any of `expected` when several) and
    // takes it as the window that keys go to.
    ::testing::AssertionResult shows(const std::vector<RgbPicture>& expected,
                                     const std::string& name) {
        const auto shown = display.waitForWindowShowing("ulo", [&](const RgbPicture& picture) {
            return std::any_of(expected.begin(), expected.end(), [&](const RgbPicture& one) {
                return one.width == picture.width && one.pixels == picture.pixels;
            });
        });
        if (!shown.window) {
            return testing::samePicture(expected.front(), shown.picture, name);
        }
        window = *shown.window;
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult shows(const RgbPicture& expected, const std::string& name) {
        return shows(std::vector<RgbPicture>{expected}, name);
    }

    // Types `text` or presses `keys`, then waits until the typed line reads `line`.
    ::testing::AssertionResult typeShowing(const std::string& text, const std::string& line) {
        display.type(window, text);
        return shows(typedLine(line), "typing " + text);
    }
    ::testing::AssertionResult pressShowing(const std::string& keys, const std::string& line) {
        display.press(window, keys);
        return shows(typedLine(line), "pressing " + keys);
    }

    // Types a line into the window and waits until the turn has stored it as unknown.
    void say(const std::string& line) {
        ASSERT_TRUE(typeShowing(line, line));
        display.press(window, "Return");
        ASSERT_TRUE(knowledgeBecomes(unknownRecord(line))) << readFile("data.dat");
    }

    // The window shows the banner, an empty line, `typed`, one fallback reply and, when the turn
    // asked to be taught, the question: one of these pictures.
    void expectConversation(const std::string& typed) {
        std::vector<RgbPicture> candidates;
        for (const std::string& reply : FALLBACK_REPLIES) {
            candidates.push_back(testing::textPicture({BANNER, "", typed, reply}));
            candidates.push_back(testing::textPicture({BANNER, "", typed, reply, typed}));
        }
        EXPECT_TRUE(shows(candidates, "window"));
    }

    testing::TemporaryDirectory directory;
    testing::VirtualDisplay display;
    std::optional<ChildProcess> ulo;
    unsigned long window = 0;
};

TEST_F(Window, ClientAreaShowsTheConversationPixelForPixel) {
    const auto geometry = display.geometry(window);
    EXPECT_EQ(geometry.width, 640);
    EXPECT_EQ(geometry.height, 480);
    // Centred on the 1024 x 768 screen.
    EXPECT_EQ(geometry.x, 192);
    EXPECT_EQ(geometry.y, 144);
    ASSERT_NO_FATAL_FAILURE(say("hello"));
    expectConversation("hello");
}

TEST_F(Window, EditingKeysChangeTheLine) {
    ASSERT_TRUE(typeShowing("hello there", "hello there"));
    ASSERT_TRUE(pressShowing("BackSpace", "hello ther"));
    ASSERT_TRUE(pressShowing("Left Home X", "Xhello ther"));
    ASSERT_TRUE(pressShowing("Delete", "Xello ther"));
    display.press(window, "Return");
    ASSERT_TRUE(knowledgeBecomes(unknownRecord("Xello ther")));
    expectConversation("Xello ther");
}

TEST_F(Window, CloseButtonLeavesTheWindowAndExitEndsIt) {
    display.requestClose(window);
    display.press(window, "alt+F4");
    // Still there and still listening.
    ASSERT_NO_FATAL_FAILURE(say("still here"));
    EXPECT_EQ(display.findWindow("ulo"), window);
    display.type(window, "exit");
    display.press(window, "Return");
    EXPECT_EQ(ulo->wait(), 0);
    EXPECT_TRUE(display.windowGone("ulo"));
}

TEST_F(Window, AltEnterSwitchesToFullScreenAndBack) {
    ASSERT_TRUE(typeShowing("abc", "abc"));
    display.press(window, "alt+Return");
    // Unscaled (768 / 480 < 2), centred, with black bars, in a window made anew.
    const RgbPicture expected = typedLine("abc");
    const auto fullScreen = display.waitForWindowShowing("ulo", [&](const RgbPicture& shown) {
        return shown.width == 1024 && shown.height == 768 &&
               centre(shown).pixels == expected.pixels;
    });
    ASSERT_TRUE(fullScreen.window.has_value());
    ASSERT_EQ(fullScreen.picture.width, 1024);
    const RgbPicture& shown = fullScreen.picture;
    EXPECT_TRUE(testing::samePicture(expected, centre(shown), "full screen"));
    EXPECT_TRUE(std::all_of(shown.pixels.begin(), shown.pixels.begin() + 1024 * 144,
                            [](std::uint32_t pixel) { return pixel == 0; }));

    display.press(*fullScreen.window, "alt+Return");
    ASSERT_TRUE(shows(expected, "windowed again"));
    display.type(window, "d");
    display.press(window, "Return");
    ASSERT_TRUE(knowledgeBecomes(unknownRecord("abcd")));
}

// Ctrl+C in the terminal Ulo was started from, SIGTERM and SIGHUP end it through its normal exit
// while it waits for keys in its window.
class WindowEnding : public Window, public ::testing::WithParamInterface<int> {};

TEST_P(WindowEnding, EndsThroughTheNormalExit) {
    ASSERT_NO_FATAL_FAILURE(say("hello"));
    ulo->signal(GetParam());
    EXPECT_EQ(ulo->wait(), 128 + GetParam());
    EXPECT_TRUE(display.windowGone("ulo"));
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowEnding, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// The desktop going away in the middle of a conversation ends Ulo as SIGHUP does: through the
// normal exit (no abort, no core), with every record kept.
TEST_F(Window, LosingTheDesktopEndsItAsHangingUpDoes) {
    ASSERT_NO_FATAL_FAILURE(say("hello"));
    display.stop();
    EXPECT_EQ(ulo->wait(), 128 + SIGHUP);
    EXPECT_EQ(readFile("data.dat"), unknownRecord("hello"));
    for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("core")) << entry.path();
    }
}

// Another program destroying the window leaves Ulo drawing into a window the server no longer
// has; the refused request ends it the same way instead of aborting it.
TEST_F(Window, ItsWindowDestroyedByAnotherProgramEndsItAsHangingUpDoes) {
    ASSERT_NO_FATAL_FAILURE(say("hello"));
    Display* other = XOpenDisplay(display.name().c_str());
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, window);
    XCloseDisplay(other);
    EXPECT_EQ(ulo->wait(), 128 + SIGHUP);
    EXPECT_EQ(readFile("data.dat"), unknownRecord("hello"));
}

// Piped input is read, with or without a desktop: the same transcript and knowledge either way
// (a window would have taken the conversation off standard output).
TEST(PipedInput, OpensNoWindowWithOrWithoutADisplay) {
    testing::VirtualDisplay display;
    ASSERT_TRUE(display.running()) << "Xvfb did not start";
    for (const std::string& name : {std::string(":987"), display.name()}) {
        testing::TemporaryDirectory directory;
        const auto result =
            testing::runWithInput(ULO_BINARY, directory.path().string(), "hi\nexit\n",
                                  {"DISPLAY=" + name, "LC_ALL=C.UTF-8"});
        EXPECT_EQ(result.exitCode, 0) << name;
        EXPECT_EQ(result.output.substr(0, 21), BANNER + "\n\nhi\n") << name;
        EXPECT_EQ(readFile(directory.path() / "data.dat"), unknownRecord("hi")) << name;
    }
}

} // namespace
} // namespace ulo
