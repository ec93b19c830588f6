// The conversation engine: start-up, then one turn per typed line: look the line up in the
// knowledge file, print the learned reply or a fallback reply, store unknown sentences, and after
// about half of the turns ask the user to teach a reply for the oldest unknown sentence.
//
// No knowledge is kept in memory between turns: every turn reads data.dat from its beginning.
#pragma once

#include "conversation/knowledge_file.hpp"
#include "conversation/record_store.hpp"

#include <array>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr std::string_view BANNER_TEXT = "Ulo V.3 01-09-07";
inline constexpr std::string_view EXIT_WORD = "exit";
inline constexpr std::array<std::string_view, 4> ACKNOWLEDGEMENTS = {
    "Interesting.",
    "Okay.",
    "I see.",
    "Really.",
};

struct ConversationEngine {
    std::string sentence;    // the line last read; during teaching, the taught reply
    KnowledgeRecord current; // the record last read in lookup, or the one a teaching step asks
    AskedRecord asked;       // where the record a teaching step asks about stood
    int learnRoll = 0;       // 1: a teaching step follows the turn
    int acknowledgementRoll = 0;
};

enum class TurnOutcome { Continue, Exit };

// Start-up: run-time start, screen mode, seeding from the timer, clear, banner and empty line.
void startConversation(int argumentCount, char** arguments);
// Prints the banner and the empty line after clearing the screen.
void greet();
// One turn, from the roll before the line is read to the return to the prompt. Exit when the exit
// word was typed (at the prompt or at a teaching question) or input has ended.
TurnOutcome runTurn(ConversationEngine& engine);
// The whole program: the command line (--help, --version, refused arguments end it there), then
// start-up, turns until exit, and the end with exit code 0.
[[noreturn]] void runConversation(int argumentCount, char** arguments);

} // namespace ulo
