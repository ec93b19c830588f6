#include "conversation/engine.hpp"
#include "files/channels.hpp"
#include "support/failing_file_system.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif
#include <unistd.h>

namespace ulo {
namespace {

using testing::kForRoll;
using testing::readFile;
using testing::record;
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

// With the generator itself, the rolls for the records examined are drawn at once: the values
// after them are those that one roll per record leaves.
TEST_F(Engine, TheGeneratorMovesOnOnceForEveryRecordExamined) {
    std::string file;
    for (int i = 0; i < 5000; ++i) {
        file += record("key " + std::to_string(i), "reply " + std::to_string(i));
    }
    writeFile("data.dat", file);
    const RandomSource scripted = useRandomSource(nullptr);
    seedRandom(12345);
    console.type({"key 4321"});
    runTurn(engine);
    const double next = randomFraction(1);
    useRandomSource(&scripted);

    LinearCongruentialGenerator generator;
    generator.seed(12345);
    for (int draw = 0; draw < 1 + 1 + 4322; ++draw) { // the seed's, the prompt's, the records'
        generator.next();
    }
    EXPECT_EQ(next, generator.next() / 32768.0);
    EXPECT_EQ(screen(), (std::vector<std::string>{"key 4321", "reply 4321"}));
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
    EXPECT_FALSE(std::filesystem::exists("temp.dat"));
}

// Teaching on a file of several MiB, the asked record in its middle: the copy crosses block
// edges on both sides of it, and every other line comes out exactly as it stood. The lines differ
// from each other, so a block copied twice or skipped shows.
TEST_F(Engine, TeachingOnALargeFileCopiesEveryOtherLineExactly) {
    std::string before;
    for (int i = 0; before.size() < 3'300'000; ++i) {
        before += record("sentence " + std::to_string(i), "reply" + std::string(i % 97, 'r'));
    }
    std::string after;
    for (int i = 0; after.size() < 3'300'000; ++i) {
        after += record("later " + std::to_string(i), std::string(i % 89, 'x') + " reply");
    }
    writeFile("data.dat", before + unknown("the question") + after);
    rolls({ANY, LEARN, acknowledgementK(1), ANY}); // "sentence 0" is the first record
    converse({"sentence 0", "the answer", "exit"});
    const std::string expected = before + after + record("the question", "the answer");
    const std::string written = readFile("data.dat");
    const auto [differs, unused] =
        std::mismatch(written.begin(), written.end(), expected.begin(), expected.end());
    EXPECT_TRUE(written == expected)
        << written.size() << " bytes written, " << expected.size() << " expected; first "
        << "difference at byte " << (differs - written.begin());
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
        failing.plan().log.clear();
        rolls({ANY, DONT_LEARN, fallbackK(2)});
        console.type({"new sentence"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), file) << "disk full after " << budget << " bytes";
        // The shorter length is synced as surely as the record would have been.
        EXPECT_EQ(failing.plan().log,
                  (std::vector<std::string>{"close", "sync", "truncate", "sync", "close"}));
    }
    EXPECT_EQ(screen().back(), "I'm not sure.");
}

TEST_F(Engine, TeachingSyncsTheCopyThenRenamesThenSyncsTheFolder) {
    writeFile("data.dat", record("a", "1") + unknown("q") + record("b", "2"));
    testing::FailingFileSystem failing;
    rolls({ANY, LEARN, acknowledgementK(1)});
    console.type({"a", "taught"});
    runTurn(engine);
    // Lookup, question, then the copy: temp.dat synced and closed, renamed, the folder synced,
    // and only then data.dat's lock given up.
    EXPECT_EQ(failing.plan().log, (std::vector<std::string>{"close", "close", "sync", "close",
                                                            "replace", "syncFolder", "close"}));
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + record("b", "2") + record("q", "taught"));
}

// Each failure keeps data.dat whole, tells why in one line where the acknowledgement would
// stand (its roll is still drawn), and leaves no temp.dat behind.
TEST_F(Engine, FailedTeachingKeepsTheFileAndSaysWhy) {
    // Big enough that the copy takes more than one read, with the unknown record in the first.
    std::string file = record("a", "1") + unknown("q");
    for (int i = 0; file.size() < 3 * FILE_BUFFER_SIZE; ++i) {
        file += record("filler " + std::to_string(i), "r");
    }
    struct Failure {
        const char* name;
        void (*arm)(testing::FailurePlan&);
        std::string said;
    };
    const std::string reason = "The reply could not be saved: ";
    const Failure failures[] = {
        {"disk full", [](testing::FailurePlan& p) { p.writeBudget = 10; },
         reason + "the disk is full."},
        {"no permission",
         [](testing::FailurePlan& p) {
             p.writeBudget = 0;
             p.writeFailure = OsFailure::NoPermission;
         },
         reason + "no permission to write here."},
        {"sync", [](testing::FailurePlan& p) { p.failSync = true; },
         reason + "the disk reported an error."},
        {"close", [](testing::FailurePlan& p) { p.failClose = true; },
         reason + "the disk reported an error."},
        {"rename", [](testing::FailurePlan& p) { p.failReplace = true; },
         reason + "the disk reported an error."},
        // The lookup's first read and the question's first read succeed; the copy's fail.
        {"read", [](testing::FailurePlan& p) { p.readBudget = 2; },
         reason + "the disk reported an error."},
    };
    for (const Failure& failure : failures) {
        writeFile("data.dat", file);
        testing::FailingFileSystem failing;
        failure.arm(failing.plan());
        rolls({ANY, LEARN, acknowledgementK(4)});
        console.type({"a", "taught"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), file) << failure.name;
        EXPECT_EQ(screen().back(), failure.said) << failure.name;
        EXPECT_FALSE(std::filesystem::exists("temp.dat")) << failure.name;
        EXPECT_EQ(openChannelSlot(KNOWLEDGE_CHANNEL), nullptr);
        EXPECT_EQ(openChannelSlot(REWRITE_CHANNEL), nullptr);
    }
}

// An open that fails after the file was opened (its length cannot be measured) must not leave
// the channel open, or a later step would write into the wrong file.
TEST_F(Engine, EveryPathClosesWhatItOpened) {
    const std::string file = record("a", "1") + unknown("q");
    writeFile("data.dat", file);
    {
        testing::FailingFileSystem failing;
        failing.plan().failSeek = true;
        rolls({ANY, LEARN, fallbackK(1)}); // nothing can be read, so nothing is asked
        console.type({"new"});
        runTurn(engine);
        EXPECT_EQ(openChannelSlot(KNOWLEDGE_CHANNEL), nullptr);
        EXPECT_EQ(openChannelSlot(REWRITE_CHANNEL), nullptr);
    }
    EXPECT_EQ(readFile("data.dat"), file);
    rolls({ANY, LEARN, acknowledgementK(1)});
    console.type({"a", "taught"});
    runTurn(engine);
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + record("q", "taught"));
}

// A record cut short (by a kill between two writes) stays one damaged line: the next record
// starts a line of its own.
TEST_F(Engine, AppendAfterATornLastLineStartsANewLine) {
    for (const std::string torn : {"\"hi\",\"hello\",\"greetings\"", "\"hello\",\"&&$"}) {
        writeFile("data.dat", torn);
        rolls({ANY, DONT_LEARN, fallbackK(1)});
        console.type({"new"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), torn + "\r\n" + unknown("new"));
        rolls({ANY, ANY, DONT_LEARN, fallbackK(1)}); // found as the second record: no new record
        console.type({"new"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), torn + "\r\n" + unknown("new"));
    }
}

// Lines that the writer did not write stay as they stand: they are read as one record each,
// later records keep their places, and teaching copies them byte for byte.
TEST_F(Engine, DamagedLinesStayInsideTheirLines) {
    const std::string damaged = "\"two\",\"fields\"\r\n"
                                "\"four\",\"f\",\"i\",\"elds\"\r\n"
                                "\"line end\r\ninside\",\"quotes\",\"x\"\r\n"
                                "\"old \"quote\"\",\"writer\",\"x\"\r\n"
                                "\r\n"
                                "  \"indented\" , \"spaced\",x\n";
    const std::string file =
        record("a", "1") + damaged + unknown("q") + record("b", "2") + "\"torn\",\"rec";
    writeFile("data.dat", file);
    rolls({ANY, ANY, ANY, ANY, ANY, ANY, ANY, ANY, ANY, DONT_LEARN}); // b is the ninth record
    rolls({ANY, ANY, ANY, ANY, ANY, ANY, ANY, DONT_LEARN});           // indented is the seventh
    rolls({ANY, ANY, ANY, DONT_LEARN});                               // four is the third
    rolls({ANY, LEARN, acknowledgementK(1), ANY});                    // teaching q, exit
    converse({"b", "indented", "four", "a", "taught", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"b", "2", "indented", "spaced", "four", "f", "a",
                                                  "1", "q", "taught", "Interesting.", "exit"}));
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + damaged + record("b", "2") +
                                        "\"torn\",\"rec\r\n" + record("q", "taught"));
}

// Records stored by another instance while the user answers are kept: the copy is made from
// data.dat as it is at the answer, not as it was at the question. No lock is held meanwhile.
TEST_F(Engine, TeachingKeepsWhatOthersStoredWhileTheUserAnswered) {
    struct Change {
        const char* name;
        void (*apply)();
        std::string expected;
    };
    const Change changes[] = {
        {"appended", [] { writeFile("data.dat", readFile("data.dat") + unknown("other")); },
         record("a", "1") + unknown("other") + record("q", "taught")},
        {"taught by another instance",
         [] {
             writeFile("new.dat", record("a", "1") + record("q", "theirs"));
             std::filesystem::rename("new.dat", "data.dat");
         },
         record("a", "1") + record("q", "theirs") + record("q", "taught")},
        {"removed", [] { std::filesystem::remove("data.dat"); }, record("q", "taught")},
    };
    for (const Change& change : changes) {
        writeFile("data.dat", record("a", "1") + unknown("q"));
        console.whileWaiting(1, [&change] { // at the question, before the answer comes
            // Nothing is open and the file can be locked by anyone.
            EXPECT_EQ(openChannelSlot(KNOWLEDGE_CHANNEL), nullptr);
            EXPECT_EQ(openChannelSlot(REWRITE_CHANNEL), nullptr);
#if !defined(_WIN32)
            const int fd = ::open("data.dat", O_RDONLY);
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << change.name;
            ::close(fd);
#endif
            change.apply();
        });
        rolls({ANY, LEARN, acknowledgementK(1)});
        console.type({"a", "taught"});
        runTurn(engine);
        EXPECT_EQ(readFile("data.dat"), change.expected) << change.name;
        EXPECT_EQ(screen().back(), "Interesting.") << change.name;
    }
}

#if !defined(_WIN32) // links and FIFOs as POSIX systems have them
TEST_F(Engine, TemporaryFileIsNeverFollowedAsALink) {
    const std::string file = record("a", "1") + unknown("q");
    writeFile("data.dat", file);
    std::filesystem::create_symlink("data.dat", "temp.dat");
    rolls({ANY, LEARN, acknowledgementK(1)});
    console.type({"a", "taught"});
    runTurn(engine);
    EXPECT_EQ(readFile("data.dat"), record("a", "1") + record("q", "taught"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("temp.dat")));

    // A temp.dat that cannot be replaced: the reply is not saved, and Ulo says so.
    writeFile("data.dat", file);
    std::filesystem::create_directory("temp.dat");
    rolls({ANY, LEARN, acknowledgementK(1)});
    console.type({"a", "taught"});
    runTurn(engine);
    EXPECT_EQ(readFile("data.dat"), file);
    EXPECT_EQ(screen().back(), "The reply could not be saved: the disk reported an error.");
}
#endif

TEST_F(Engine, UnusableKnowledgeFileStillGetsReplies) {
    std::filesystem::create_directory("data.dat");
    rolls({ANY, LEARN, fallbackK(3)});
    rolls({ANY});
    converse({"hello", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"hello", "I don't understand.", "exit"}));
    EXPECT_TRUE(std::filesystem::is_directory("data.dat"));
}

#if !defined(_WIN32)
// A FIFO named data.dat would hold an open for reading until a writer came, and an open for
// writing until a reader came: it is no knowledge file, and nothing waits for it.
TEST_F(Engine, FifoKnowledgeFileNeverBlocks) {
    ASSERT_EQ(::mkfifo("data.dat", 0666), 0);
    rolls({ANY, LEARN, fallbackK(3)});
    rolls({ANY});
    converse({"hello", "exit"});
    EXPECT_EQ(screen(), (std::vector<std::string>{"hello", "I don't understand.", "exit"}));
    EXPECT_TRUE(std::filesystem::is_fifo("data.dat"));
}

// A folder that cannot be written keeps data.dat as it was (on Windows a folder's read-only
// attribute does not keep files from being made in it: this is a POSIX test).
TEST_F(Engine, ReadOnlyDirectoryKeepsTheFile) {
    testing::runWherePermissionsBind([this] {
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
        EXPECT_EQ(random.remaining(), 0u);
    });
}
#endif

} // namespace
} // namespace ulo
