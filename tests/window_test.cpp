// The real window under a private X server: the conversation drawn pixel for pixel, editing keys,
// the close button, the full-screen switch, the end, and the fall-back without a display.
#include "support/child_process.hpp"
#include "support/screen_pictures.hpp"
#include "support/test_support.hpp"
#include "support/virtual_display.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <thread>

namespace ulo {
namespace {

using testing::ChildProcess;
using testing::FALLBACK_REPLIES;
using testing::readFile;

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

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(display.running()) << "Xvfb did not start";
        ulo.emplace(ULO_BINARY, std::vector<std::string>{}, directory.path().string(),
                    std::vector<std::string>{"DISPLAY=" + display.name(), "LC_ALL=C.UTF-8",
                                             "SDL_RENDER_DRIVER=software"});
        const auto found = display.findWindow("ulo");
        ASSERT_TRUE(found.has_value()) << "no window titled ulo";
        window = *found;
    }

    void TearDown() override {
        if (ulo) {
            ulo->signal(SIGKILL);
        }
    }

    // Types a line into the window and waits until the turn has stored it as unknown.
    void say(const std::string& line, const std::string& knowledgeAfter) {
        display.type(window, line);
        display.press(window, "Return");
        ASSERT_TRUE(knowledgeBecomes(knowledgeAfter)) << readFile("data.dat");
    }

    // The window shows the banner, an empty line, `typed`, one fallback reply and, when the turn
    // asked to be taught, the question: one of these pictures.
    void expectConversation(const std::string& typed) {
        std::vector<RgbPicture> candidates;
        for (const std::string& reply : FALLBACK_REPLIES) {
            candidates.push_back(testing::textPicture({"Ulo V.3 01-09-07", "", typed, reply}));
            candidates.push_back(
                testing::textPicture({"Ulo V.3 01-09-07", "", typed, reply, typed}));
        }
        RgbPicture actual;
        for (int i = 0; i < 200; ++i) {
            actual = display.capture(window);
            if (std::any_of(candidates.begin(), candidates.end(), [&](const RgbPicture& candidate) {
                    return candidate.pixels == actual.pixels;
                })) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(testing::samePicture(candidates[0], actual, "window"));
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
    say("hello", unknownRecord("hello"));
    expectConversation("hello");
}

TEST_F(Window, EditingKeysChangeTheLine) {
    display.type(window, "hello there");
    display.press(window, "BackSpace Left Home X Delete Return");
    ASSERT_TRUE(knowledgeBecomes(unknownRecord("Xello ther")));
    expectConversation("Xello ther");
}

TEST_F(Window, CloseButtonLeavesTheWindowAndExitEndsIt) {
    display.requestClose(window);
    display.press(window, "alt+F4");
    // Still there and still listening.
    say("still here", unknownRecord("still here"));
    EXPECT_EQ(display.findWindow("ulo"), window);
    display.type(window, "exit");
    display.press(window, "Return");
    EXPECT_EQ(ulo->wait(), 0);
    EXPECT_TRUE(display.windowGone("ulo"));
}

// The top-level window titled ulo once it has the given size.
std::optional<unsigned long> windowOfSize(testing::VirtualDisplay& display, int width, int height) {
    for (int i = 0; i < 200; ++i) {
        if (const auto found = display.findWindow("ulo")) {
            const auto geometry = display.geometry(*found);
            if (geometry.width == width && geometry.height == height) {
                return found;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
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

TEST_F(Window, AltEnterSwitchesToFullScreenAndBack) {
    display.type(window, "abc");
    display.press(window, "alt+Return");
    // Unscaled (768 / 480 < 2), centred, with black bars. The window system may give the window
    // a new identity on the way, so it is looked up again for every look.
    const RgbPicture expected = testing::textPicture({"Ulo V.3 01-09-07", "", "abc"});
    std::optional<unsigned long> fullScreen;
    RgbPicture shown;
    for (int i = 0; i < 200; ++i) {
        fullScreen = windowOfSize(display, 1024, 768);
        shown = fullScreen ? display.capture(*fullScreen) : RgbPicture{};
        if (shown.width == 1024 && centre(shown).pixels == expected.pixels) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fullScreen.has_value());
    ASSERT_EQ(shown.width, 1024);
    EXPECT_TRUE(testing::samePicture(expected, centre(shown), "full screen"));
    EXPECT_TRUE(std::all_of(shown.pixels.begin(), shown.pixels.begin() + 1024 * 144,
                            [](std::uint32_t pixel) { return pixel == 0; }));

    display.press(*fullScreen, "alt+Return");
    const auto windowed = windowOfSize(display, 640, 480);
    ASSERT_TRUE(windowed.has_value());
    window = *windowed;
    display.type(window, "d");
    display.press(window, "Return");
    ASSERT_TRUE(knowledgeBecomes(unknownRecord("abcd")));
}

// Ctrl+C in the terminal Ulo was started from, SIGTERM and SIGHUP end it through its normal exit
// while it waits for keys in its window.
class WindowEnding : public Window, public ::testing::WithParamInterface<int> {};

TEST_P(WindowEnding, EndsThroughTheNormalExit) {
    say("hello", unknownRecord("hello"));
    ulo->signal(GetParam());
    EXPECT_EQ(ulo->wait(), 128 + GetParam());
    EXPECT_TRUE(display.windowGone("ulo"));
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowEnding, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(WindowFallback, WithoutADisplayUloTalksThroughTheTerminal) {
    testing::TemporaryDirectory directory;
    const auto result = testing::runWithInput(ULO_BINARY, directory.path().string(), "hi\nexit\n",
                                              {"DISPLAY=:987", "LC_ALL=C.UTF-8"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.substr(0, 21), "Ulo V.3 01-09-07\n\nhi\n");
    EXPECT_EQ(readFile("data.dat"), unknownRecord("hi"));
}

} // namespace
} // namespace ulo
