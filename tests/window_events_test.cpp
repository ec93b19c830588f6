// The window procedure with synthetic events.
#include "console/keys.hpp"
#include "screen/screen.hpp"
#include "screen/window_events.hpp"
#include "support/fake_drivers.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace ulo {
namespace {

std::vector<std::string> windowCalls;
int createFailures = 0;

std::int32_t recordCreate() {
    windowCalls.push_back("create " + std::to_string(windowState().flags));
    if (createFailures > 0) {
        --createFailures;
        return -1;
    }
    return 0;
}
void recordDestroy() {
    windowCalls.push_back("destroy");
}
void recordPaint() {
    windowCalls.push_back("paint");
}

constexpr WindowPresenter RECORDING_WINDOW = {
    .createWindow = recordCreate,
    .destroyWindow = recordDestroy,
    .paintWindow = recordPaint,
};

class WindowEvents : public ::testing::Test {
protected:
    void SetUp() override {
        drivers.succeedOn("Alpha", 0);
        ASSERT_EQ(setScreenMode(18, 32, 0, 0, 0), ERR_NONE);
        drivers.clearCalls();
        resetKeyBuffer();
        resetWindowState();
        windowState().active = true;
        windowState().presenter = &RECORDING_WINDOW;
        windowCalls.clear();
        createFailures = 0;
    }
    void TearDown() override { setScreenMode(0, 0, 0, 0, 0); }

    static std::vector<KeyCode> keys() {
        std::vector<KeyCode> codes;
        for (KeyCode code = popKey(); code != 0; code = popKey()) {
            codes.push_back(code);
        }
        return codes;
    }
    static WindowEvent key(WindowEventKind kind, std::uint8_t character, std::uint8_t scanCode,
                           std::uint8_t base, std::uint16_t virtualKey, std::uint32_t state) {
        WindowEvent event{kind};
        event.character = character;
        event.scanCode = scanCode;
        event.baseCharacter = base;
        event.virtualKey = virtualKey;
        event.controlKeyState = state;
        event.altHeld = (state & ALT_PRESSED) != 0;
        return event;
    }
    static WindowEvent character(std::int32_t code, std::int32_t repeat = 1) {
        WindowEvent event{WindowEventKind::Character};
        event.code = code;
        event.repeatCount = repeat;
        return event;
    }
    static int dirtyCount() {
        int count = 0;
        for (int y = 0; y < 480; ++y) {
            count += activeScreen()->dirty[static_cast<std::size_t>(y)];
        }
        return count;
    }

    testing::FakeDrivers drivers;
};

TEST_F(WindowEvents, TypedCharactersArriveThroughCharacterInput) {
    const std::string word = "hello\r";
    const std::uint8_t scans[] = {0x23, 0x12, 0x26, 0x26, 0x18, 0x1C};
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(word[i]);
        EXPECT_EQ(handleWindowEvent(key(WindowEventKind::KeyDown, c, scans[i], c, c, 0)),
                  EventResult::PassOn);
        EXPECT_EQ(handleWindowEvent(character(c)), EventResult::PassOn);
    }
    EXPECT_EQ(keys(), (std::vector<KeyCode>{104, 101, 108, 108, 111, 13}));

    // Ctrl+C: the key gives no extended code, the character input gives 3.
    handleWindowEvent(key(WindowEventKind::KeyDown, 3, 0x2E, 'c', 'C', LEFT_CTRL_PRESSED));
    handleWindowEvent(character(3));
    // A held key repeated three times in one event; values beyond code page 437 are ignored.
    handleWindowEvent(character('a', 3));
    EXPECT_EQ(handleWindowEvent(character(0x2022)), EventResult::PassOn);
    EXPECT_EQ(keys(), (std::vector<KeyCode>{3, 'a', 'a', 'a'}));
}

TEST_F(WindowEvents, ExtendedKeysAreQueuedAsManyTimesAsRepeated) {
    handleWindowEvent(key(WindowEventKind::KeyDown, 0, 0x48, 0, 0x26, ENHANCED_KEY));
    handleWindowEvent(
        key(WindowEventKind::KeyDown, 0, 0x4B, 0, 0x25, ENHANCED_KEY | LEFT_CTRL_PRESSED));
    WindowEvent f12 = key(WindowEventKind::KeyDown, 0, 0x58, 0, 0x7B, 0);
    f12.repeatCount = 3;
    handleWindowEvent(f12);
    EXPECT_EQ(handleWindowEvent(
                  key(WindowEventKind::SystemKeyDown, 'x', 0x2D, 'x', 'X', LEFT_ALT_PRESSED)),
              EventResult::PassOn);
    EXPECT_EQ(keys(), (std::vector<KeyCode>{KEY_UP, 0x73FF, KEY_F12, KEY_F12, KEY_F12, 0x2DFF}));
}

TEST_F(WindowEvents, CloseF10AndAltStayWithTheWindow) {
    EXPECT_EQ(handleWindowEvent(WindowEvent{WindowEventKind::Close}), EventResult::Handled);
    EXPECT_EQ(
        handleWindowEvent(key(WindowEventKind::SystemKeyDown, 0, 0x3E, 0, 0x73, LEFT_ALT_PRESSED)),
        EventResult::Handled); // Alt+F4
    EXPECT_EQ(
        handleWindowEvent(key(WindowEventKind::SystemKeyDown, 0, 0x44, 0, VIRTUAL_KEY_F10, 0)),
        EventResult::Handled);
    EXPECT_EQ(handleWindowEvent(key(WindowEventKind::SystemKeyDown, 0, 0x38, 0, VIRTUAL_KEY_MENU,
                                    LEFT_ALT_PRESSED)),
              EventResult::Handled);
    EXPECT_EQ(keys(), (std::vector<KeyCode>{WINDOW_CLOSE_KEY, WINDOW_CLOSE_KEY, KEY_F10}));
}

TEST_F(WindowEvents, AnInactiveWindowPassesSystemKeysAndMaximizingOn) {
    windowState().active = false;
    EXPECT_EQ(
        handleWindowEvent(key(WindowEventKind::SystemKeyDown, 0, 0x3E, 0, 0x73, LEFT_ALT_PRESSED)),
        EventResult::PassOn);
    EXPECT_EQ(handleWindowEvent(key(WindowEventKind::SystemKeyDown, 13, 0x1C, 13,
                                    VIRTUAL_KEY_RETURN, LEFT_ALT_PRESSED)),
              EventResult::PassOn);
    EXPECT_EQ(handleWindowEvent(WindowEvent{WindowEventKind::Maximize}), EventResult::PassOn);
    EXPECT_TRUE(keys().empty());
    EXPECT_TRUE(windowCalls.empty());
}

TEST_F(WindowEvents, AltEnterSwitchesPresentationAndRepaintsEverything) {
    windowState().palette[7] = {1, 2, 3, PALETTE_NO_COLLAPSE};
    EXPECT_EQ(handleWindowEvent(key(WindowEventKind::SystemKeyDown, 13, 0x1C, 13,
                                    VIRTUAL_KEY_RETURN, LEFT_ALT_PRESSED)),
              EventResult::Handled);
    EXPECT_EQ(windowCalls, (std::vector<std::string>{"destroy", "create 1"}));
    EXPECT_EQ(windowState().flags, SCREEN_FULLSCREEN);
    EXPECT_EQ(dirtyCount(), 480);
    ASSERT_EQ(drivers.calls().size(), 256u);
    EXPECT_EQ(drivers.calls()[7], "Alpha palette 7 1 2 3");
    EXPECT_TRUE(keys().empty());

    // Maximizing switches back; a refused window is made again in the old presentation.
    windowCalls.clear();
    createFailures = 1;
    windowState().flags = 0;
    EXPECT_EQ(handleWindowEvent(WindowEvent{WindowEventKind::Maximize}), EventResult::Handled);
    EXPECT_EQ(windowCalls,
              (std::vector<std::string>{"destroy", "create 1", "destroy", "create 0"}));
    EXPECT_EQ(windowState().flags, 0);
    EXPECT_TRUE(windowState().active);
}

TEST_F(WindowEvents, NoSwitchFlagKeepsThePresentation) {
    windowState().flags = SCREEN_NO_SWITCH;
    EXPECT_EQ(handleWindowEvent(key(WindowEventKind::SystemKeyDown, 13, 0x1C, 13,
                                    VIRTUAL_KEY_RETURN, LEFT_ALT_PRESSED)),
              EventResult::Handled);
    EXPECT_EQ(handleWindowEvent(WindowEvent{WindowEventKind::Maximize}), EventResult::Handled);
    EXPECT_TRUE(windowCalls.empty());
    EXPECT_TRUE(keys().empty());
    EXPECT_EQ(dirtyCount(), 0);
}

TEST_F(WindowEvents, FocusChangesClearKeyStateAndRepaint) {
    for (const bool gained : {false, true}) {
        std::memset(activeScreen()->keyState.get(), 1, 128);
        std::memset(activeScreen()->dirty.get(), 0, 480);
        windowState().mouseButtons = MOUSE_LEFT;
        WindowEvent focus{WindowEventKind::Focus};
        focus.active = gained;
        EXPECT_EQ(handleWindowEvent(focus), EventResult::PassOn);
        EXPECT_EQ(windowState().active, gained);
        EXPECT_EQ(dirtyCount(), 480);
        EXPECT_EQ(windowState().mouseButtons, 0);
        for (int i = 0; i < 128; ++i) {
            ASSERT_EQ(activeScreen()->keyState[static_cast<std::size_t>(i)], 0);
        }
    }
}

TEST_F(WindowEvents, PaintMouseButtonsAndWheel) {
    EXPECT_EQ(handleWindowEvent(WindowEvent{WindowEventKind::Paint}), EventResult::PassOn);
    EXPECT_EQ(windowCalls, (std::vector<std::string>{"paint"}));

    WindowEvent button{WindowEventKind::ButtonDown};
    button.button = MOUSE_RIGHT;
    handleWindowEvent(button);
    button.button = MOUSE_MIDDLE;
    handleWindowEvent(button);
    button.kind = WindowEventKind::ButtonUp;
    button.button = MOUSE_RIGHT;
    handleWindowEvent(button);
    EXPECT_EQ(windowState().mouseButtons, MOUSE_MIDDLE);

    WindowEvent wheel{WindowEventKind::Wheel};
    wheel.wheelDelta = 120;
    handleWindowEvent(wheel); // an old system: no wheel
    EXPECT_EQ(windowState().wheel, 0);
    windowState().systemVersion = 0x40A;
    handleWindowEvent(wheel);
    handleWindowEvent(wheel);
    wheel.wheelDelta = -120;
    handleWindowEvent(wheel);
    EXPECT_EQ(windowState().wheel, 1);
}

} // namespace
} // namespace ulo
