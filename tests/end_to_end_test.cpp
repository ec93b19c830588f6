// The built program, driven through pipes the way a script talks to it.
#include "support/child_process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace ulo {
namespace {

using testing::ACKNOWLEDGEMENT_LINES;
using testing::ChildProcess;
using testing::FALLBACK_REPLIES;
using testing::isOneOf;
using testing::readFile;
using testing::runWithInput;
using testing::splitLines;

const std::vector<std::string> UTF8 = {"LC_ALL=C.UTF-8"};

class EndToEnd : public ::testing::Test {
protected:
    std::string dir() const { return directory.path().string(); }
    testing::TemporaryDirectory directory;
};

TEST_F(EndToEnd, HelloThenExitInAnEmptyDirectory) {
    const auto result = runWithInput(ULO_BINARY, dir(), "hello\nexit\n", UTF8);
    EXPECT_EQ(result.exitCode, 0);
    const auto lines = splitLines(result.output);
    ASSERT_GE(lines.size(), 5u) << result.output;
    EXPECT_EQ(lines[0], "Ulo V.3 01-09-07");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "hello");
    EXPECT_TRUE(isOneOf(lines[3], FALLBACK_REPLIES)) << lines[3];
    // Either "exit" ends the program at the prompt, or a teaching step asked about hello first
    // and "exit" ended it at the question.
    const std::vector<std::string> rest(lines.begin() + 4, lines.end());
    EXPECT_TRUE(rest == std::vector<std::string>{"exit"} ||
                rest == (std::vector<std::string>{"hello", "exit"}))
        << result.output;
    EXPECT_EQ(readFile("data.dat"), "\"hello\",\"&&$&&\",\"&&$&&\"\r\n");
    EXPECT_EQ(result.output.find('\r'), std::string::npos);
}

TEST_F(EndToEnd, EndOfInputEndsTheProgramCleanly) {
    const auto result = runWithInput(ULO_BINARY, dir(), "hello", UTF8);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(readFile("data.dat"), "\"hello\",\"&&$&&\",\"&&$&&\"\r\n");
    // CR LF line ends are one line end each.
    const auto crlf = runWithInput(ULO_BINARY, dir(), "hello\r\nexit\r\n", UTF8);
    EXPECT_EQ(crlf.exitCode, 0);
    const auto lines = splitLines(crlf.output);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "hello");
    EXPECT_EQ(lines.back(), "exit");
}

TEST_F(EndToEnd, TextIsCodePage437InsideAndUtf8Outside) {
    const auto result = runWithInput(ULO_BINARY, dir(), "café ☺ €\nexit\n", UTF8);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(splitLines(result.output).at(2), "café  ");
    EXPECT_EQ(readFile("data.dat"), "\"caf\x82  \",\"&&$&&\",\"&&$&&\"\r\n");
    // Without a UTF-8 locale, bytes pass unchanged.
    std::filesystem::remove("data.dat");
    const auto raw = runWithInput(ULO_BINARY, dir(), "caf\x82\nexit\n", {"LC_ALL=C"});
    EXPECT_EQ(splitLines(raw.output).at(2), "caf\x82");
    EXPECT_EQ(readFile("data.dat"), "\"caf\x82\",\"&&$&&\",\"&&$&&\"\r\n");
}

// Talks to Ulo line by line, keeping a model of what data.dat must hold, until a few replies
// have been taught. Every sentence is new, so each output line says which path Ulo took: the
// echo of the line just sent means a new turn; anything else is a teaching question about the
// oldest unknown sentence.
TEST_F(EndToEnd, TeachingThroughAPipeRewritesTheKnowledgeFile) {
    ChildProcess ulo(ULO_BINARY, {}, dir(), UTF8);
    ASSERT_EQ(ulo.readLine(), "Ulo V.3 01-09-07");
    ASSERT_EQ(ulo.readLine(), "");

    struct Entry {
        std::string key, reply;
    };
    std::vector<Entry> model;
    int taught = 0;
    for (int counter = 0; taught < 3 && counter < 80; ++counter) {
        const std::string sent = "sentence " + std::to_string(counter);
        ulo.write(sent + "\n");
        const auto line = ulo.readLine();
        ASSERT_TRUE(line.has_value());
        if (*line == sent) { // a new, unknown sentence
            model.push_back({sent, "&&$&&"});
            const auto reply = ulo.readLine();
            ASSERT_TRUE(reply && isOneOf(*reply, FALLBACK_REPLIES)) << reply.value_or("(none)");
            continue;
        }
        // The question, about the oldest unknown sentence; the line sent is its answer.
        const auto oldest = std::find_if(model.begin(), model.end(),
                                         [](const Entry& e) { return e.reply == "&&$&&"; });
        ASSERT_NE(oldest, model.end());
        ASSERT_EQ(*line, oldest->key);
        ASSERT_EQ(ulo.readLine(), sent);
        const auto acknowledgement = ulo.readLine();
        ASSERT_TRUE(acknowledgement && isOneOf(*acknowledgement, ACKNOWLEDGEMENT_LINES));
        Entry entry = *oldest;
        entry.reply = sent;
        model.erase(oldest);
        model.push_back(entry);
        ++taught;
    }
    ASSERT_EQ(taught, 3);
    // Ulo now waits at the prompt or at a question; "exit" ends it either way, data.dat as is.
    ulo.write("exit\n");
    ulo.closeInput();
    ulo.readAll();
    EXPECT_EQ(ulo.wait(), 0);

    std::string expected;
    for (const Entry& e : model) {
        expected += "\"" + e.key + "\",\"" + e.reply + "\",\"&&$&&\"\r\n";
    }
    EXPECT_EQ(readFile("data.dat"), expected);
}

// What data.dat must hold after each of `sent` was either a new sentence or the answer to a
// teaching question, as read from `file` itself: a line that ends up as a reply was an answer.
// With that the order of the records and the sentence each answer was taught for are fixed.
std::string knowledgeFileAfter(const std::vector<std::string>& sent, const std::string& file) {
    struct Entry {
        std::string key, reply;
    };
    std::vector<Entry> model;
    for (const std::string& line : sent) {
        if (file.find("\",\"" + line + "\",\"") == std::string::npos) {
            model.push_back({line, "&&$&&"});
            continue;
        }
        // The answer to the question about the oldest unknown sentence.
        const auto oldest = std::find_if(model.begin(), model.end(),
                                         [](const Entry& e) { return e.reply == "&&$&&"; });
        if (oldest == model.end()) {
            ADD_FAILURE() << line << " was taught although no sentence was unknown";
            continue;
        }
        const Entry taught{oldest->key, line};
        model.erase(oldest);
        model.push_back(taught);
    }
    std::string expected;
    for (const Entry& e : model) {
        expected += "\"" + e.key + "\",\"" + e.reply + "\",\"&&$&&\"\r\n";
    }
    return expected;
}

// A reader that goes away in the middle of a conversation (`ulo | head -3`) does not end Ulo: it
// goes on to the end of its input, ends through its normal exit, and keeps every record.
TEST_F(EndToEnd, AReaderThatGoesAwayLosesNothing) {
    ChildProcess ulo(ULO_BINARY, {}, dir(), UTF8);
    std::vector<std::string> sent = {"sentence 0"};
    ulo.write("sentence 0\n");
    ASSERT_EQ(ulo.readLine(), "Ulo V.3 01-09-07");
    ASSERT_EQ(ulo.readLine(), "");
    ASSERT_EQ(ulo.readLine(), "sentence 0");
    ulo.closeOutput();
    for (int counter = 1; counter <= 16; ++counter) {
        sent.push_back("sentence " + std::to_string(counter));
        ulo.write(sent.back() + "\n");
    }
    ulo.closeInput();
    EXPECT_EQ(ulo.wait(), 0) << "Ulo did not end through its normal exit";
    const std::string file = readFile("data.dat");
    EXPECT_EQ(file, knowledgeFileAfter(sent, file));
}

// A desktop that is named but cannot be reached: Ulo says why in one line and talks through its
// console instead.
TEST_F(EndToEnd, AWindowThatCannotOpenSaysWhyOnce) {
    // The window library leaves allocations of the system's libraries behind when it gives up,
    // as in the window tests: leak checking is off for this run.
    ChildProcess ulo("/bin/sh", {"-c", std::string(ULO_BINARY) + " 2>errors.txt"}, dir(),
                     {"DISPLAY=:9999", "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
    ulo.write("exit\n");
    ulo.closeInput();
    EXPECT_EQ(ulo.readLine(), "Ulo V.3 01-09-07");
    ulo.readAll();
    EXPECT_EQ(ulo.wait(), 0);
    const std::string errors = readFile(directory.path() / "errors.txt");
    EXPECT_EQ(errors.rfind("ulo: no window (SDL: ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
}

} // namespace
} // namespace ulo
