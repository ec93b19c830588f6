// The command line of the built program: --help and --version answer and end before anything
// starts; anything else is refused with exit code 2.
#include "support/child_process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ulo {
namespace {

using testing::ChildProcess;

enum class Stream { Output, Errors };

struct Answer {
    std::string text;
    int exitCode;
};

class CommandLineTest : public ::testing::Test {
protected:
    // Runs Ulo with `arguments` and returns what it wrote on one of its two streams (the other
    // goes to /dev/null) and its exit code. Standard input is an open pipe: a conversation that
    // started would print its banner.
    Answer run(const std::vector<std::string>& arguments, Stream stream,
               const std::string& redirection = "") {
        const std::string script = stream == Stream::Output
                                       ? "exec \"$0\" \"$@\" 2>/dev/null" + redirection
                                       : "exec \"$0\" \"$@\" 2>&1 >/dev/null";
        std::vector<std::string> shellArguments = {"-c", script, ULO_BINARY};
        shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
        ChildProcess child("/bin/sh", shellArguments, directory.path().string());
        Answer answer;
        answer.text = child.readAll();
        answer.exitCode = child.wait();
        return answer;
    }
    bool directoryIsEmpty() const { return std::filesystem::is_empty(directory.path()); }

    testing::TemporaryDirectory directory;
};

TEST_F(CommandLineTest, HelpAndVersionAnswerOnStandardOutputAndEnd) {
    const Answer help = run({"--help"}, Stream::Output);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.text.starts_with("Usage: ulo [--help | --version]\n")) << help.text;
    for (const char* topic : {"data.dat", "VXGFX", "Alt+Enter", "Escape", "| ulo", "Exit status"}) {
        EXPECT_NE(help.text.find(topic), std::string::npos) << topic;
    }
    EXPECT_EQ(help.text.find("Ulo V.3"), std::string::npos) << "the conversation started";
    EXPECT_EQ(run({"-h"}, Stream::Output).text, help.text);
    EXPECT_EQ(run({"--help", "--bogus"}, Stream::Output).exitCode, 0);
    EXPECT_EQ(run({"--help"}, Stream::Errors).text, "");

    const Answer version = run({"--version"}, Stream::Output);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.text, "ulo " ULO_VERSION
                            "\nCopyright (c) 2026 The Ulo developers, under the MIT licence.\n");
    EXPECT_TRUE(directoryIsEmpty()) << "no knowledge file is made before the conversation";
}

TEST_F(CommandLineTest, AWrongArgumentIsNamedOnStandardErrorWithExitCode2) {
    const Answer option = run({"--bogus", "--help"}, Stream::Errors);
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_EQ(option.text, "ulo: unknown option '--bogus' (try 'ulo --help')\n");
    EXPECT_EQ(run({"--bogus"}, Stream::Output).text, "");
    const Answer argument = run({"hello"}, Stream::Errors);
    EXPECT_EQ(argument.exitCode, 2);
    EXPECT_EQ(argument.text, "ulo: unexpected argument 'hello' (try 'ulo --help')\n");
    EXPECT_TRUE(directoryIsEmpty());
}

TEST_F(CommandLineTest, AnAnswerThatCannotBeWrittenEndsWithExitCode1) {
    EXPECT_EQ(run({"--help"}, Stream::Output, " >/dev/full").exitCode, 1);
    EXPECT_EQ(run({"--version"}, Stream::Output, " >/dev/full").exitCode, 1);
}

} // namespace
} // namespace ulo
