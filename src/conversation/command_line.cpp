#include "conversation/command_line.hpp"

#include "runtime/platform.hpp"

#include <string>

namespace ulo {
namespace {

constexpr std::string_view VERSION = ULO_VERSION;
constexpr std::string_view LICENCE =
    "Copyright (c) 2026 The Ulo developers, under the MIT licence.\n";

constexpr std::string_view HELP_START =
    R"(Usage: ulo [--help | --version]

Ulo is a small learning conversation program. Type a sentence and Enter: Ulo
prints the reply it has learned for it, or a fallback reply, and about every
other turn asks you to teach it a reply for a sentence it could not answer.
Typing exit ends it.

What it learns is kept in data.dat in the current folder (rewritten through
temp.dat there); started from the desktop's menu, Ulo works in your home folder.

)";

constexpr std::string_view HELP_MIDDLE = R"(

Keys: Left, Right, Home, End; Up and Down move a screen row in a long line;
Backspace, Delete; Escape empties the line; Tab; Enter and Ctrl+Enter.

From a pipe or a file (printf 'hello\nexit\n' | ulo) input bytes are keys and
every screen line is written to standard output as soon as it is finished; the
end of the input ends Ulo as exit does. Piped input opens no window, on a
desktop too.

Exit status: 0 after exit or the end of the input; 2 for a wrong argument;
)";

constexpr std::string_view HELP_END = R"(

Options:
  -h, --help     show this text and end
  --version      show the name and version and end
)";

int finish(std::FILE* stream) {
    return std::fflush(stream) == 0 && std::ferror(stream) == 0 ? 0 : 1;
}

void put(std::string_view text, std::FILE* stream) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace

CommandLine readCommandLine(int argumentCount, char** arguments) {
    if (argumentCount < 2) {
        return {};
    }
    const std::string_view argument = arguments[1];
    if (argument == "--help" || argument == "-h") {
        return {.request = CommandLineRequest::Help, .argument = {}};
    }
    if (argument == "--version") {
        return {.request = CommandLineRequest::Version, .argument = {}};
    }
    return {.request = CommandLineRequest::Unknown, .argument = argument};
}

int answerCommandLine(const CommandLine& commandLine, std::FILE* output, std::FILE* errors) {
    switch (commandLine.request) {
    case CommandLineRequest::Converse:
        return 0;
    case CommandLineRequest::Help:
        put(HELP_START, output);
        put(nativePlatform().screenHelp, output);
        put(HELP_MIDDLE, output);
        put(nativePlatform().endHelp, output);
        put(HELP_END, output);
        return finish(output);
    case CommandLineRequest::Version:
        put(std::string(PROGRAM_NAME) + " " + std::string(VERSION) + "\n", output);
        put(LICENCE, output);
        return finish(output);
    case CommandLineRequest::Unknown:
        break;
    }
    const bool isOption = commandLine.argument.starts_with('-');
    put(std::string(PROGRAM_NAME) + (isOption ? ": unknown option '" : ": unexpected argument '") +
            std::string(commandLine.argument) + "' (try 'ulo --help')\n",
        errors);
    std::fflush(errors);
    return EXIT_BAD_USAGE;
}

} // namespace ulo
