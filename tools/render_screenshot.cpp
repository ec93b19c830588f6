// Renders a short conversation with the real engine on the in-memory screen and writes the
// framebuffer as a PNG (the picture in the documentation).
//
//   ulo_render_screenshot OUTPUT.png
//
// The conversation runs in a fresh temporary directory with fixed rolls, so the picture is the
// same on every run.
#include "console/keys.hpp"
#include "conversation/engine.hpp"
#include "files/channels.hpp"
#include "runtime/random.hpp"
#include "screen/framebuffer_png.hpp"
#include "screen/screen.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace {

// The rolls, in order: the one drawn when seeding; "hello" (no reply known: a fallback, then a
// teaching step that is answered "hi there" and acknowledged); "hello" again (known now).
constexpr std::array<std::int32_t, 7> ROLLS = {0, 0, 0, 5462, 8192, 20000, 20000};

struct FixedRolls {
    std::size_t next = 0;
};

std::int32_t nextRoll(void* context) {
    auto& rolls = *static_cast<FixedRolls*>(context);
    return rolls.next < ROLLS.size() ? ROLLS[rolls.next++] : 20000;
}
void ignoreSeed(void*, std::int32_t) {}

void type(std::string_view text) {
    for (const char c : text) {
        ulo::pushKey(static_cast<std::uint8_t>(c));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const std::filesystem::path output = std::filesystem::absolute(argv[1]);
    std::error_code error;
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / "ulo-screenshot";
    std::filesystem::remove_all(directory, error);
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);

    FixedRolls rolls;
    const ulo::RandomSource source{ignoreSeed, nextRoll, &rolls};
    ulo::useRandomSource(&source);
    ::setenv("VXGFX", "null", 1);
    ulo::startConversation(argc, argv);
    ulo::ConversationEngine engine;
    type("hello\rhi there\r");
    ulo::runTurn(engine);
    type("hello\r");
    ulo::runTurn(engine);

    const ulo::ScreenState* screen = ulo::activeScreen();
    const bool written =
        screen != nullptr && ulo::writePng(output.string(), ulo::framebufferPicture(*screen));
    ulo::closeChannel(0);
    ulo::setScreenMode(0, 0, 0, 0, 0);
    std::filesystem::current_path(output.parent_path());
    std::filesystem::remove_all(directory, error);
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", output.string().c_str());
        return 1;
    }
    return 0;
}
