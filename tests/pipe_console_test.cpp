// The pipe console: input bytes as keys through the line editor, output as screen rows.
#include "posix/pipe_descriptors.hpp"

#include "console/keys.hpp"
#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "support/child_process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace ulo {
namespace {

class PipeConsole : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(input_, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(output_, O_CLOEXEC | O_NONBLOCK), 0);
        resetKeyBuffer();
    }

    void TearDown() override {
        clearConsoleHooks();
        resetKeyBuffer();
        for (int descriptor : {input_[0], input_[1], output_[0], output_[1]}) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
        }
    }

    void open(bool utf8) {
        installConsoleHooks(openPipeConsole({input_[0], output_[1], utf8, false}));
        setTextView(0, 0);
    }

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(input_[1], bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    void endInput() {
        ::close(input_[1]);
        input_[1] = -1;
    }

    // One line read the way the conversation reads it: no prompt, a line end after it.
    std::string readLine(RuntimeErrorCode expected = ERR_NONE) {
        static constexpr std::string_view NO_PROMPT;
        std::string line = "(unchanged)";
        EXPECT_EQ(inputLine(&NO_PROMPT, line, -1, 0, 0, -1), expected);
        return line;
    }

    // Everything written to the output so far.
    std::string output() {
        std::string all;
        char chunk[4096];
        for (ssize_t got; (got = ::read(output_[0], chunk, sizeof chunk)) > 0;) {
            all.append(chunk, static_cast<std::size_t>(got));
        }
        return all;
    }

    int input_[2] = {-1, -1};
    int output_[2] = {-1, -1};
};

TEST_F(PipeConsole, EchoesLinesAsTheEditorShowsThem) {
    open(false);
    send("abc\bX\n"       // Backspace over c
         "a\tb\n"         // Tab to the next multiple of 8
         "hello\x1bhi\n"  // Escape blanks the line, which is typed anew
         "\x01ok\x7f\n"); // Ctrl+A changes nothing; byte 127 is a character here
    endInput();
    EXPECT_EQ(readLine(), "abX");
    EXPECT_EQ(readLine(), "a       b");
    EXPECT_EQ(readLine(), "hi");
    EXPECT_EQ(readLine(), "ok\x7f");
    EXPECT_EQ(output(), "abX\na       b\nhi   \nok\x7f\n");
}

TEST_F(PipeConsole, CrLfIsOneEnterAndNulIsNoKey) {
    open(false);
    send(std::string_view("one\r\ntwo\rthr\0ee\n\r\n", 18));
    endInput();
    EXPECT_EQ(readLine(), "one");
    EXPECT_EQ(readLine(), "two");
    EXPECT_EQ(readLine(), "three");
    EXPECT_EQ(readLine(), "");
    readLine(ERR_INPUT_ENDED);
    EXPECT_EQ(output(), "one\ntwo\nthree\n\n");
}

TEST_F(PipeConsole, EndOfInputEndsAPartLineWithEnterFirst) {
    open(false);
    send("whole\npart");
    endInput();
    EXPECT_EQ(readLine(), "whole");
    EXPECT_EQ(readLine(), "part");
    // From then on every read finds the input ended, and nothing more is echoed.
    EXPECT_EQ(readLine(ERR_INPUT_ENDED), "(unchanged)");
    EXPECT_EQ(readLine(ERR_INPUT_ENDED), "(unchanged)");
    EXPECT_EQ(output(), "whole\npart\n");
}

TEST_F(PipeConsole, ALineTypedAndErasedBeforeTheEndIsStillEntered) {
    open(false);
    send("gone\b\b\b\b");
    endInput();
    EXPECT_EQ(readLine(), "");
    readLine(ERR_INPUT_ENDED);
    EXPECT_EQ(output(), "    \n");
}

TEST_F(PipeConsole, Utf8InAndOut) {
    open(true);
    // é is 0x82 in code page 437; € has no form there, and the pictures of control bytes
    // (☺ is byte 1, ♪ byte 13) are not typed: ♪ must not end the line. A broken sequence is
    // dropped, and so is a stray continuation byte after it.
    send("caf\xc3\xa9 \xe2\x98\xba \xe2\x99\xaa\xe2\x82\xac!\n"
         "\xc3\x41\xa9\x62\n");
    endInput();
    EXPECT_EQ(readLine(), "caf\x82  !");
    EXPECT_EQ(readLine(), "Ab");
    printText(0, "\x01\x82\xdb", PRINT_NEWLINE);
    EXPECT_EQ(output(), "café  !\nAb\n☺é█\n");
}

// A line the editor has no room for: once a key is refused, the rest of the line is passed over,
// keys and all.
TEST_F(PipeConsole, TheRestOfAFullLineIsDropped) {
    open(true);
    const std::string full(MAX_LINE_LENGTH, 'x');
    send(full + "y\b\b\bEND\xc3\nnext\n");
    endInput();
    EXPECT_EQ(readLine(), full);
    EXPECT_EQ(readLine(), "next");
}

TEST_F(PipeConsole, AHalfTypedLineWaitsForTheRestWithoutBlocking) {
    open(true);
    send("hel\xc3");
    for (char c : std::string("hel")) {
        ASSERT_TRUE(keyAvailable());
        EXPECT_EQ(readKey(), static_cast<std::uint8_t>(c));
    }
    // The first byte of é has come, the second not yet: no key, and no waiting.
    EXPECT_FALSE(keyAvailable());
    send("\xa9lo\n");
    endInput();
    EXPECT_EQ(readLine(), "\x82lo");
}

TEST_F(PipeConsole, RowsAreWrittenWhenTheyEnd) {
    open(false);
    printText(0, "first", 0);
    EXPECT_EQ(output(), ""); // the row is still being written
    printText(0, " row\a", PRINT_NEWLINE);
    printEnd(0, PRINT_NEWLINE);
    printText(0, "x\r\n\n", 0);
    EXPECT_EQ(output(), "first row\n\nx\n\n");
    std::int32_t column = 0;
    std::int32_t row = 0;
    printText(0, "abc", 0);
    getCursor(&column, &row);
    EXPECT_EQ(column, 4);
    EXPECT_EQ(row, 5);
}

// The process this test started last: the child of this thread.
int childProcess() {
    const std::string path = "/proc/self/task/" + std::to_string(::gettid()) + "/children";
    return std::atoi(testing::readFile(path).c_str());
}

// Waits until process `pid` has read all that waits on its standard input and sleeps again, so
// it has taken in the keys that were sent.
bool inputTakenIn(int pid) {
    const std::string process = "/proc/" + std::to_string(pid);
    for (int tries = 0; tries < 800; ++tries) {
        int waiting = -1;
        if (const int input = ::open((process + "/fd/0").c_str(), O_RDONLY | O_NONBLOCK);
            input >= 0) {
            ::ioctl(input, FIONREAD, &waiting);
            ::close(input);
        }
        const std::string stat = testing::readFile(process + "/stat");
        const std::size_t state = stat.rfind(") ");
        if (waiting == 0 && state != std::string::npos && stat[state + 2] == 'S') {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// Ulo on pipes ends cleanly on Ctrl+C and the other ending signals: exit routines run, the line
// being typed is written out, and the knowledge file holds what it held.
class PipeConsoleSignal : public ::testing::TestWithParam<int> {};

TEST_P(PipeConsoleSignal, EndsUloCleanly) {
    testing::TemporaryDirectory directory;
    testing::ChildProcess ulo(ULO_BINARY, {}, directory.path().string(), {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(ulo.readLine(), "Ulo V.3 01-09-07");
    ASSERT_EQ(ulo.readLine(), "");
    ulo.write("hello\n");
    ASSERT_EQ(ulo.readLine(), "hello");
    ASSERT_TRUE(ulo.readLine().has_value()); // the reply
    ulo.write("half a li");
    ASSERT_TRUE(inputTakenIn(childProcess()));
    ulo.signal(GetParam());
    EXPECT_TRUE(ulo.readAll().ends_with("half a li"));
    EXPECT_EQ(ulo.wait(), 128 + GetParam());
    EXPECT_EQ(testing::readFile("data.dat"), "\"hello\",\"&&$&&\",\"&&$&&\"\r\n");
}

// How Ulo is started: with ending signals ignored (nohup, a background job), they stay ignored;
// with standard input (or every standard descriptor) closed, it ends as at the end of its input.
TEST(PipeConsoleStart, IgnoredSignalsAndClosedDescriptors) {
    testing::TemporaryDirectory directory;
    const std::string here = directory.path().string();
    {
        testing::ChildProcess ulo("/bin/sh", {"-c", "trap '' INT TERM HUP; exec " ULO_BINARY},
                                  here);
        ASSERT_EQ(ulo.readLine(), "Ulo V.3 01-09-07");
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
            ulo.signal(number);
        }
        ulo.write("hello\nexit\n");
        EXPECT_EQ(ulo.readLine(), "");
        EXPECT_EQ(ulo.readLine(), "hello");
        EXPECT_EQ(ulo.wait(), 0);
    }
    testing::ChildProcess closedInput("/bin/sh", {"-c", "exec " ULO_BINARY " <&-"}, here);
    EXPECT_EQ(closedInput.readAll(), "Ulo V.3 01-09-07\n\n");
    EXPECT_EQ(closedInput.wait(), 0);
    testing::ChildProcess allClosed("/bin/sh", {"-c", "exec " ULO_BINARY " <&- >&- 2>&-"}, here);
    EXPECT_EQ(allClosed.wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, PipeConsoleSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

} // namespace
} // namespace ulo
