#include "conversation/engine.hpp"
#include "files/channels.hpp"
#include "support/failing_file_system.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ulo {
namespace {

using testing::kForRoll;
using testing::readFile;
using testing::writeFile;

// k values for the rolls.
constexpr std::int32_t LEARN = 0;          // a roll with 2 outcomes gives 1
constexpr std::int32_t DONT_LEARN = 16384; // ... gives 2
const std::int32_t ANY = 20000;

std::int32_t fallbackK(int reply) {
    return kForRoll(6, reply);
}
std::int32_t acknowledgementK(int line) {
    return kForRoll(4, line);
}

std::string record(std::string_view key, std::string_view reply,
                   std::string_view extra = UNKNOWN_REPLY_MARKER) {
    std::string line = "\"";
    line.append(key).append("\",\"").append(reply).append("\",\"").append(extra).append("\"\r\n");
    return line;
}
std::string unknown(std::string_view key) {
    return record(key, "&&$&&");
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        resetChannelTable();
        resetFieldReader();
    }
    void TearDown() override {
        closeChannel(0);
        EXPECT_EQ(random.remaining(), 0u) << "not every scripted roll was drawn";
    }

    // Types `lines` and runs turns until the engine asks to exit; returns the turns run.
    int converse(std::vector<std::string> lines) {
        console.type(std::move(lines));
        int turns = 1;
        while (runTurn(engine) == TurnOutcome::Continue) {
            ++turns;
            if (turns > 1000) {
                ADD_FAILURE() << "the conversation does not end";
                break;
            }
        }
        return turns;
    }
    void rolls(std::vector<std::int32_t> values) { random.append(std::move(values)); }
    std::vector<std::string> screen() const { return console.lines(); }

    testing::TemporaryDirectory directory;
    testing::ScriptedConsole console;
    testing::ScriptedRandom random;
    ConversationEngine engine;
};

TEST_F(Engine, FirstWorkedExample) {
    greet();
    rolls({ANY, LEARN, fallbackK(2), acknowledgementK(2), // hello, taught "hi there"
           ANY, ANY,                                      // hello again
           ANY});                                         // exit
    EXPECT_EQ(converse({"hello", "hi there", "hello", "exit"}), 3);
    EXPECT_EQ(screen(),
              (std::vector<std::string>{"Ulo V.3 01-09-07", "", "hello", "I'm not sure.", "hello",
                                        "hi there", "Okay.", "hello", "hi there", "exit"}));
    EXPECT_EQ(readFile("data.dat"), "\"hello\",\"hi there\",\"&&$&&\"\r\n");
}

TEST_F(Engine, FirstSentenceBecomesTheFirstRecord) {
    rolls({ANY, DONT_LEARN, fallbackK(1), ANY});
    converse({"hello", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"hello", "I don't know.", "exit"}));
    EXPECT_EQ(readFile("data.dat"), "\"hello\",\"&&$&&\",\"&&$&&\"\r\n");
}

TEST_F(Engine, SecondWorkedExampleTeachesTheOldestUnknownRecord) {
    writeFile("data.dat", record("hello", "hi there") + unknown("what is your name") +
                              record("bye", "see you"));
    rolls({ANY, LEARN, acknowledgementK(3), ANY});
    converse({"hello", "I have none.", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"hello", "hi there", "what is your name",
                                                  "I have none.", "I see.", "exit"}));
    EXPECT_EQ(readFile("data.dat"), record("hello", "hi there") + record("bye", "see you") +
                                        record("what is your name", "I have none."));
    EXPECT_FALSE(std::filesystem::exists("temp.dat"));
}

TEST_F(Engine, OutcomesOfTheLookup) {
    const std::string file = record("a", "reply a") + unknown("u") + record("z", "reply z");
    writeFile("data.dat", file);
    // Known, not last, no teaching roll: reply only.
    rolls({ANY, DONT_LEARN});
    // Known, last record, even with a teaching roll: never taught.
    rolls({ANY, DONT_LEARN, DONT_LEARN, LEARN});
    // Unknown record: a fallback reply, no change.
    rolls({ANY, DONT_LEARN, DONT_LEARN, fallbackK(5)});
    // Nowhere: appended.
    rolls({ANY, ANY, ANY, DONT_LEARN, fallbackK(6)});
    rolls({ANY});
    converse({"a", "z", "u", "new", "exit"});
    EXPECT_EQ(screen(),
              (std::vector<std::string>{"a", "reply a", "z", "reply z", "u", "No idea.", "new",
                                        "I don't know how to respond to that.", "exit"}));
    EXPECT_EQ(readFile("data.dat"), file + unknown("new"));
}

TEST_F(Engine, DrawsOnceForThePromptAndOncePerRecordExamined) {
    writeFile("data.dat", record("a", "1") + record("b", "2") + record("c", "3"));
    rolls({ANY});                                          // empty line
    rolls({ANY, ANY, ANY, DONT_LEARN});                    // "c" matches the third record
    rolls({ANY, ANY, ANY, DONT_LEARN});                    // "How now " unknown: keyword reply
    rolls({ANY, ANY, ANY, ANY, DONT_LEARN, fallbackK(1)}); // "x" unknown among 4: random reply
    rolls({ANY});                                          // exit
    converse({"", "c", "How now ", "x", "exit"});
    EXPECT_EQ(random.draws(), 1u + 4 + 4 + 6 + 1);
    EXPECT_EQ(screen(), (std::vector<std::string>{"", "c", "3", "How now ", "I don't know how.",
                                                  "x", "I don't know.", "exit"}));
}

TEST_F(Engine, ExitOnlyForTheExactWord) {
    rolls({ANY, DONT_LEARN, fallbackK(1)});
    rolls({ANY, DONT_LEARN, fallbackK(1)});
    rolls({ANY, ANY, DONT_LEARN, fallbackK(1)});
    rolls({ANY});
    converse({"Exit", "EXIT", " exit", "exit"});
    EXPECT_EQ(readFile("data.dat"), unknown("Exit") + unknown("EXIT") + unknown(" exit"));
}

TEST_F(Engine, OnlyTheFirstOfTwoEqualKeysIsUsed) {
    writeFile("data.dat", record("k", "first") + record("k", "second"));
    rolls({ANY, DONT_LEARN, ANY});
    converse({"k", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"k", "first", "exit"}));
}

TEST_F(Engine, TeachingWithoutUnknownRecordsAsksNothing) {
    const std::string file = record("a", "1") + record("b", "2");
    writeFile("data.dat", file);
    rolls({ANY, LEARN, ANY});
    converse({"a", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"a", "1", "exit"}));
    EXPECT_EQ(readFile("data.dat"), file);
    EXPECT_EQ(readFile("temp.dat"), file); // the abandoned copy stays
}

TEST_F(Engine, EmptyOrExitAnswerAbandonsTeaching) {
    const std::string file = record("a", "1") + unknown("q");
    writeFile("data.dat", file);
    rolls({ANY, LEARN, ANY});
    converse({"a", "", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"a", "1", "q", "", "exit"}));
    EXPECT_EQ(readFile("data.dat"), file);

    rolls({ANY, LEARN});
    EXPECT_EQ(converse({"a", "exit"}), 1); // exit at the question ends the program
    EXPECT_EQ(readFile("data.dat"), file);
}

TEST_F(Engine, TaughtMarkerLeavesTheRecordUnknown) {
    writeFile("data.dat", record("a", "1") + unknown("q"));
    rolls({ANY, LEARN, acknowledgementK(1), ANY});
    converse({"a", "&&$&&", "exit"});
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + unknown("q"));
}

TEST_F(Engine, QuotesInSentencesAndRepliesAreKept) {
    rolls({ANY, LEARN, fallbackK(1), acknowledgementK(1)});
    rolls({ANY, DONT_LEARN});
    rolls({ANY});
    converse({"say \"hi\"", "\"hi\", she said", "say \"hi\"", "exit"});
    EXPECT_EQ(readFile("data.dat"), "\"say \"\"hi\"\"\",\"\"\"hi\"\", she said\",\"&&$&&\"\r\n");
    EXPECT_EQ(screen().at(6), "\"hi\", she said");
}

TEST_F(Engine, OverlongLinesAreCutToOneField) {
    const std::string longLine(MAX_FIELD_LENGTH + 50, 'w');
    rolls({ANY, DONT_LEARN, fallbackK(1)}); // stored cut
    rolls({ANY, DONT_LEARN, fallbackK(1)}); // found again: no second record
    rolls({ANY});
    converse({longLine, longLine, "exit"});
    EXPECT_EQ(readFile("data.dat"), unknown(std::string(MAX_FIELD_LENGTH, 'w')));
}

TEST_F(Engine, EndOfInputEndsLikeExit) {
    rolls({ANY, DONT_LEARN, fallbackK(1), ANY});
    EXPECT_EQ(converse({"hello"}), 2);
    writeFile("data.dat", record("a", "1") + unknown("q"));
    rolls({ANY, LEARN});
    EXPECT_EQ(converse({"a"}), 1); // input ends at the teaching question
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + unknown("q"));
}

TEST_F(Engine, FailedAppendLeavesTheFileAsItWas) {
    const std::string file = record("a", "1");
    writeFile("data.dat", file);
    testing::FailingFileSystem failing;
    for (const std::int64_t budget : {0, 5, 14}) {
        failing.plan().writeBudget = budget;
        rolls({ANY, DONT_LEARN, fallbackK(2)});
        console.type({"new sentence"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), file) << "disk full after " << budget << " bytes";
    }
    EXPECT_EQ(screen().back(), "I'm not sure.");
}

TEST_F(Engine, TeachingNeverLosesTheKnowledgeFile) {
    const std::string file = record("a", "1") + unknown("q") + record("b", "2");
    struct Failure {
        const char* name;
        void (*arm)(testing::FailurePlan&);
    };
    const Failure failures[] = {
        {"disk full", [](testing::FailurePlan& p) { p.writeBudget = 10; }},
        {"sync", [](testing::FailurePlan& p) { p.failSync = true; }},
        {"rename", [](testing::FailurePlan& p) { p.failReplace = true; }},
    };
    for (const Failure& failure : failures) {
        writeFile("data.dat", file);
        testing::FailingFileSystem failing;
        failure.arm(failing.plan());
        rolls({ANY, LEARN, acknowledgementK(4)});
        console.type({"a", "taught"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), file) << failure.name;
        EXPECT_EQ(screen().back(), "Really.") << failure.name;
    }
}

TEST_F(Engine, TeachingAfterAReadErrorKeepsTheFile) {
    // Big enough that the copy needs a second buffer, with the unknown record in the first.
    std::string file = record("a", "1") + unknown("q");
    for (int i = 0; file.size() < 3 * FILE_BUFFER_SIZE; ++i) {
        file += record("filler " + std::to_string(i), "r");
    }
    writeFile("data.dat", file);
    testing::FailingFileSystem failing;
    failing.plan().readBudget = 2; // the lookup's first buffer and the teaching's first buffer
    rolls({ANY, LEARN, acknowledgementK(1)});
    console.type({"a", "taught"});
    runTurn(engine);
    EXPECT_EQ(readFile("data.dat"), file);
}

TEST_F(Engine, UnusableKnowledgeFileStillGetsReplies) {
    std::filesystem::create_directory("data.dat");
    rolls({ANY, LEARN, fallbackK(3)});
    rolls({ANY});
    converse({"hello", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"hello", "I don't understand.", "exit"}));
    EXPECT_TRUE(std::filesystem::is_directory("data.dat"));
}

TEST_F(Engine, ReadOnlyDirectoryKeepsTheFile) {
    const std::string file = record("a", "1") + unknown("q");
    writeFile("data.dat", file);
    ::chmod(".", 0555);
    if (::access(".", W_OK) == 0) {
        ::chmod(".", 0755);
        GTEST_SKIP() << "running with permission to write anything";
    }
    rolls({ANY, LEARN, acknowledgementK(2), ANY});
    converse({"a", "taught", "exit"});
    ::chmod(".", 0755);
    EXPECT_EQ(readFile("data.dat"), file);
}

} // namespace
} // namespace ulo
