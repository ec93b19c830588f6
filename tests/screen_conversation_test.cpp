// The whole conversation on the in-memory screen: VXGFX=null, keys into the key buffer, the
// picture compared with one drawn from the font.
#include "console/keys.hpp"
#include "conversation/engine.hpp"
#include "files/channels.hpp"
#include "support/screen_pictures.hpp"
#include "support/test_support.hpp"
#include "screen/screen.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ulo {
namespace {

using testing::kForRoll;
using testing::readFile;

constexpr std::int32_t ANY = 20000;
constexpr std::int32_t LEARN = 0;

void type(std::string_view text) {
    for (const char c : text) {
        pushKey(static_cast<std::uint8_t>(c));
    }
}

TEST(ScreenConversation, NullScreenHoldsTheWholeConversation) {
    testing::TemporaryDirectory directory;
    testing::ScriptedRandom random({ANY, // seeding discards one value
                                    ANY, LEARN, kForRoll(6, 2),
                                    kForRoll(4, 2), // hello, then taught "hi there"
                                    ANY, ANY,       // hello again
                                    ANY});          // exit
    testing::setEnvironment("VXGFX", "NULL");
    resetKeyBuffer();
    char name[] = "ulo";
    char* arguments[] = {name, nullptr};
    startConversation(1, arguments);
    ASSERT_NE(activeScreen(), nullptr);
    EXPECT_EQ(activeScreen()->driver, &NULL_DISPLAY_DRIVER);

    ConversationEngine engine;
    type("hello\rhi there\r");
    EXPECT_EQ(runTurn(engine), TurnOutcome::Continue);
    type("hello\r");
    EXPECT_EQ(runTurn(engine), TurnOutcome::Continue);
    type("exit\r");
    EXPECT_EQ(runTurn(engine), TurnOutcome::Exit);
    EXPECT_EQ(random.remaining(), 0u);

    EXPECT_TRUE(testing::samePicture(
        testing::textPicture({"Ulo V.3 01-09-07", "", "hello", "I'm not sure.", "hello", "hi there",
                              "Okay.", "hello", "hi there", "exit"}),
        framebufferPicture(*activeScreen()), "conversation"));
    EXPECT_EQ(readFile("data.dat"), "\"hello\",\"hi there\",\"&&$&&\"\r\n");
    closeChannel(0);
    setScreenMode(0, 0, 0, 0, 0);
}

} // namespace
} // namespace ulo
