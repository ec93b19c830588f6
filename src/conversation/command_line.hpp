// The command line. The conversation takes no arguments; --help and --version answer and end the
// program before anything else starts (no screen, no files, no terminal changes), and anything
// else is refused with exit code 2.
#pragma once

#include <cstdio>
#include <string_view>

namespace ulo {

inline constexpr std::string_view PROGRAM_NAME = "ulo";
inline constexpr int EXIT_BAD_USAGE = 2;

enum class CommandLineRequest { Converse, Help, Version, Unknown };

struct CommandLine {
    CommandLineRequest request = CommandLineRequest::Converse;
    std::string_view argument; // for Unknown: the argument refused
};

// Looks at the first argument after the program's name: it alone decides.
CommandLine readCommandLine(int argumentCount, char** arguments);

// Carries out a request other than Converse: the help or version text on `output`, or one line
// about the refused argument on `errors`. Returns the exit code: 0, EXIT_BAD_USAGE, or 1 when the
// text could not be written.
int answerCommandLine(const CommandLine& commandLine, std::FILE* output, std::FILE* errors);

} // namespace ulo
