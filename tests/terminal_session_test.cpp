// Ulo in a real terminal: a terminal pane whose shell starts it, typed into and read back the way a
// person sees it.
#include "support/terminal_pane.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <optional>
#include <thread>

namespace ulo {
namespace {

using testing::ACKNOWLEDGEMENT_LINES;
using testing::FALLBACK_REPLIES;
using testing::isOneOf;
using testing::readFile;
using testing::record;
using testing::showScreen;
using testing::TerminalPane;
using Screen = TerminalPane::Screen;

const std::string BANNER = "Ulo V.3 01-09-07";

// The file's contents once it is there and not empty (the shell writes it a moment after Ulo
// ended).
std::string awaitFile(const std::string& name) {
    for (int tries = 0; tries < 600; ++tries) {
        const std::string contents = readFile(name);
        if (!contents.empty()) {
            return contents;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

class TerminalSession : public ::testing::Test {
protected:
    // Starts Ulo from the pane's shell, with the terminal's settings noted before and after.
    void startUlo(const std::string& locale = "C.UTF-8") {
        // A clean shell screen, without what an earlier run left on it.
        std::filesystem::remove("before.txt");
        std::filesystem::remove("after.txt");
        pane.run("clear");
        ASSERT_TRUE(pane.waitFor([](const Screen& s) {
            return std::none_of(s.begin(), s.end(),
                                [](const std::string& row) { return row.ends_with("again"); });
        }));
        pane.run("stty -g > before.txt; LC_ALL=" + locale +
                 " " ULO_BINARY "; echo ulo-status=$?; stty -g > after.txt");
        ASSERT_TRUE(pane.waitFor([](const Screen& s) { return !s.empty() && s[0] == BANNER; }))
            << showScreen(pane.screen());
    }

    // Presses Enter and waits for Ulo's answer, once the cursor waits at the start of the row
    // below it: a reply, and a teaching question when one follows it (its rows joined). `echo` is
    // the last row of the typed line as the screen shows it, which the answer follows.
    std::vector<std::string> enter(const std::string& echo) {
        pane.keys({"Enter"});
        const auto isReply = [](const std::string& row) {
            return isOneOf(row, FALLBACK_REPLIES) || isOneOf(row, ACKNOWLEDGEMENT_LINES);
        };
        std::vector<std::string> answer;
        const bool answered = pane.waitFor([&](const Screen& screen) {
            const auto [x, y] = pane.cursor();
            const auto below = static_cast<std::size_t>(y);
            if (x != 0 || below < 2 || below > screen.size() ||
                (below < screen.size() && !screen[below].empty())) {
                return false;
            }
            // A question (one of the lines typed before, perhaps longer than a row) may follow
            // the reply.
            std::size_t reply = below - 1;
            while (reply > 0 && !isReply(screen[reply])) {
                --reply;
            }
            if (reply == 0 || !isReply(screen[reply]) || screen[reply - 1] != echo) {
                return false;
            }
            answer = {screen[reply]};
            if (reply + 1 < below) {
                answer.emplace_back();
                for (std::size_t row = reply + 1; row < below; ++row) {
                    answer.back() += screen[row];
                }
            }
            return true;
        });
        EXPECT_TRUE(answered) << "no answer to " << echo << "\n" << showScreen(pane.screen());
        return answered ? answer : std::vector<std::string>{};
    }

    std::vector<std::string> say(const std::string& line) {
        pane.type(line);
        return enter(line);
    }

    // Waits for Ulo to end with `status`, then checks that the terminal is as it was: the same
    // settings, and the shell's typing shows again.
    void expectEndedWith(int status) {
        ASSERT_TRUE(pane.waitForRow("ulo-status=" + std::to_string(status)))
            << showScreen(pane.screen());
        const std::string before = readFile("before.txt");
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(awaitFile("after.txt"), before);
        pane.run("echo typed-again");
        EXPECT_TRUE(pane.waitFor([](const Screen& screen) {
            const auto shows = [&](auto test) {
                return std::any_of(screen.begin(), screen.end(), test);
            };
            return shows(
                       [](const std::string& row) { return row.ends_with("echo typed-again"); }) &&
                   shows([](const std::string& row) { return row == "typed-again"; });
        })) << showScreen(pane.screen());
    }

    testing::TemporaryDirectory directory;
    TerminalPane pane{directory.path().string(), 80, 30};
};

TEST_F(TerminalSession, AConversationWithATeachingStep) {
    startUlo();
    EXPECT_EQ(pane.screen().at(1), "");
    EXPECT_EQ(pane.cursor(), std::make_pair(0, 2));

    struct Entry {
        std::string key, reply;
    };
    std::vector<Entry> model;
    std::optional<std::string> question;
    int taught = 0;
    for (int counter = 0; taught < 1 && counter < 40; ++counter) {
        const std::string sent = "sentence " + std::to_string(counter);
        const std::vector<std::string> answer = say(sent);
        ASSERT_FALSE(answer.empty());
        if (question) { // `sent` answered it
            const auto oldest = std::find_if(model.begin(), model.end(),
                                             [&](const Entry& e) { return e.reply == "&&$&&"; });
            ASSERT_NE(oldest, model.end());
            EXPECT_EQ(*question, oldest->key);
            EXPECT_EQ(answer.size(), 1u);
            EXPECT_TRUE(isOneOf(answer[0], ACKNOWLEDGEMENT_LINES)) << answer[0];
            Entry entry{oldest->key, sent};
            model.erase(oldest);
            model.push_back(entry);
            ++taught;
            question.reset();
            continue;
        }
        model.push_back({sent, "&&$&&"});
        EXPECT_TRUE(isOneOf(answer[0], FALLBACK_REPLIES)) << answer[0];
        ASSERT_LE(answer.size(), 2u) << showScreen(pane.screen());
        if (answer.size() == 2) {
            question = answer[1];
        }
    }
    ASSERT_EQ(taught, 1);
    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
    std::string expected;
    for (const Entry& entry : model) {
        expected += record(entry.key, entry.reply);
    }
    EXPECT_EQ(readFile("data.dat"), expected);
}

TEST_F(TerminalSession, TheLineEditorsKeys) {
    startUlo();
    // Arrows, Home, Delete and End.
    pane.type("hello wrld");
    pane.keys({"Left", "Left", "Left"});
    pane.type("o");
    pane.keys({"Home", "DC"});
    pane.type("H");
    pane.keys({"End"});
    pane.type("!");
    EXPECT_FALSE(pane.bellRang());
    pane.keys({"DC"}); // Delete at the end of the line rings the bell
    EXPECT_TRUE(pane.waitFor([&](const Screen&) { return pane.bellRang(); }));
    ASSERT_FALSE(enter("Hello world!").empty());
    EXPECT_EQ(readFile("data.dat"), record("Hello world!", "&&$&&"));

    // Escape blanks the line; Tab goes on to the next multiple of 8; keys without a use in the
    // editor change nothing.
    pane.type("abandoned");
    ASSERT_TRUE(pane.waitFor(
        [](const Screen& s) { return std::find(s.begin(), s.end(), "abandoned") != s.end(); }));
    pane.keys({"Escape"});
    ASSERT_TRUE(pane.waitFor([](const Screen& s) {
        return std::find(s.begin(), s.end(), "abandoned") == s.end();
    })) << showScreen(pane.screen());
    pane.type("a");
    pane.keys({"Tab"});
    pane.type("b");
    pane.keys({"Left", "Left", "BSpace", "Right", "Right", "IC", "PPage", "F1", "F12", "C-Left",
               "M-x", "BTab", "C-a"});
    pane.type("c");
    ASSERT_FALSE(enter("a      bc").empty());
    // A new sentence, or the reply taught to the first one.
    EXPECT_NE(readFile("data.dat").find("\"a      bc\""), std::string::npos)
        << readFile("data.dat");

    // Up and Down move by a screen row within a line longer than one.
    const std::string digits = "0123456789";
    std::string line;
    for (int i = 0; i < 9; ++i) {
        line += digits;
    }
    pane.type(line);
    pane.keys({"Up"});
    pane.type("U");
    pane.keys({"Down"});
    pane.type("D");
    line.insert(10, 1, 'U');
    line.insert(91, 1, 'D');
    ASSERT_FALSE(enter(line.substr(80)).empty());
    EXPECT_NE(readFile("data.dat").find("\"" + line + "\""), std::string::npos)
        << readFile("data.dat");

    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
}

TEST_F(TerminalSession, FollowsTheTerminalsSize) {
    startUlo();
    for (int i = 0; i < 5; ++i) {
        ASSERT_FALSE(say("line " + std::to_string(i)).empty());
    }
    // Narrower and lower: the latest lines stay in view.
    pane.resize(50, 8);
    ASSERT_TRUE(pane.waitFor([](const Screen& s) {
        return s.size() == 8 && std::find(s.begin(), s.end(), "line 4") != s.end();
    })) << showScreen(pane.screen());
    // Typing goes on at the new width.
    std::string line;
    for (int i = 0; i < 6; ++i) {
        line += "abcdefghij";
    }
    pane.type(line);
    ASSERT_TRUE(pane.waitFor([&](const Screen& s) {
        const auto first = std::find(s.begin(), s.end(), line.substr(0, 50));
        return first != s.end() && first + 1 != s.end() && first[1] == line.substr(50);
    })) << showScreen(pane.screen());
    ASSERT_FALSE(enter(line.substr(50)).empty());
    // Wider and higher again.
    pane.resize(100, 40);
    ASSERT_TRUE(pane.waitFor([](const Screen& s) { return s.size() == 40; }));
    const std::string wide(90, 'w');
    ASSERT_FALSE(say(wide).empty());
    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
    const std::string data = readFile("data.dat");
    EXPECT_NE(data.find("\"" + line + "\""), std::string::npos) << data;
    EXPECT_NE(data.find("\"" + wide + "\""), std::string::npos) << data;
}

// A new size while a line is typed: wider, the line is drawn again in the new width; shrunk to
// the cursor's row and past it, the text moves up and the reply above it stays.
TEST_F(TerminalSession, ANewSizeInTheMiddleOfALine) {
    pane.resize(40, 30);
    startUlo();
    std::string line;
    for (int i = 0; i < 10; ++i) {
        line += "0123456789";
    }
    pane.type(line);
    ASSERT_TRUE(pane.waitForRow(line.substr(80))) << showScreen(pane.screen());
    pane.resize(80, 30);
    ASSERT_TRUE(pane.waitFor([&](const Screen& s) {
        return s.size() == 30 && s[2] == line.substr(0, 80) && s[3] == line.substr(80) &&
               s[4].empty();
    })) << showScreen(pane.screen());
    pane.keys({"Home"});
    pane.type("Z");
    ASSERT_FALSE(enter(line.substr(79)).empty());
    EXPECT_EQ(readFile("data.dat").substr(0, 103), "\"Z" + line + "\"");

    const int row = pane.cursor().second;
    const std::string above = pane.screen().at(static_cast<std::size_t>(row - 1));
    pane.type("abc");
    ASSERT_TRUE(pane.waitForRow("abc"));
    for (const int rows : {row + 1, row}) {
        pane.resize(80, rows);
        ASSERT_TRUE(pane.waitFor([&](const Screen& s) {
            return static_cast<int>(s.size()) == rows && s[rows - 1] == "abc" &&
                   s[rows - 2] == above;
        })) << showScreen(pane.screen());
    }
    pane.type("def");
    ASSERT_FALSE(enter("abcdef").empty());
    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
}

TEST_F(TerminalSession, TextIsCodePage437InsideAndTheLocalesOutside) {
    startUlo();
    pane.type("café ☺ €");
    ASSERT_FALSE(enter("café").empty());
    EXPECT_EQ(readFile("data.dat"), record("caf\x82  ", "&&$&&"));
    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
    std::filesystem::remove("data.dat");

    // A single-byte locale that lacks these characters drops their bytes, and nothing after.
    startUlo("C");
    pane.type("né ok");
    ASSERT_FALSE(enter("n ok").empty());
    EXPECT_EQ(readFile("data.dat"), record("n ok", "&&$&&"));
    pane.type("exit");
    pane.keys({"Enter"});
    expectEndedWith(0);
}

// How Ulo is ended from outside: Ctrl+C typed, or a signal sent to it.
struct Ending {
    const char* name;
    int signal;
    bool typed; // Ctrl+C typed in the terminal rather than the signal sent
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class TerminalEnding : public TerminalSession, public ::testing::WithParamInterface<Ending> {
protected:
    // Ulo's process: the child of the pane's shell.
    int uloProcess() {
        const int shell = pane.shellProcess();
        const std::string path =
            "/proc/" + std::to_string(shell) + "/task/" + std::to_string(shell) + "/children";
        return std::atoi(readFile(path).c_str());
    }
};

TEST_P(TerminalEnding, GivesTheTerminalBackAndKeepsTheKnowledge) {
    startUlo();
    ASSERT_FALSE(say("hello").empty());
    pane.type("half a li");
    ASSERT_TRUE(pane.waitForRow("half a li")) << showScreen(pane.screen());
    if (GetParam().typed) {
        pane.keys({"C-c"});
    } else {
        const int ulo = uloProcess();
        ASSERT_GT(ulo, 0);
        ASSERT_EQ(::kill(ulo, GetParam().signal), 0);
    }
    expectEndedWith(128 + GetParam().signal);
    EXPECT_EQ(readFile("data.dat"), record("hello", "&&$&&"));
}

INSTANTIATE_TEST_SUITE_P(Endings, TerminalEnding,
                         ::testing::Values(Ending{"CtrlC", SIGINT, true},
                                           Ending{"Terminate", SIGTERM, false},
                                           Ending{"HangUp", SIGHUP, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace ulo
