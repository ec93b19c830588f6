#include "conversation/engine.hpp"

#include "console/print.hpp"
#include "conversation/command_line.hpp"
#include "conversation/fallback.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/runtime.hpp"
#include "runtime/timer.hpp"
#include "screen/screen.hpp"

namespace ulo {
namespace {

constexpr std::int32_t STARTUP_MODE = 18;
constexpr std::int32_t STARTUP_DEPTH = 32;

void printLine(std::string_view text) {
    printText(0, text, PRINT_NEWLINE);
}

// Reads a line into `sentence`: no prompt, a newline after it. Keeps at most MAX_FIELD_LENGTH
// bytes, so that every record written from it reads back unchanged. False when input has ended.
bool readLine(std::string& sentence) {
    static constexpr std::string_view NO_PROMPT;
    if (inputLine(&NO_PROMPT, sentence, -1, 0, 0, -1) == ERR_INPUT_ENDED) {
        return false;
    }
    if (sentence.size() > MAX_FIELD_LENGTH) {
        sentence.resize(MAX_FIELD_LENGTH);
    }
    return true;
}

std::string_view failureText(OsFailure failure) {
    switch (failure) {
    case OsFailure::DiskFull:
        return "The reply could not be saved: the disk is full.";
    case OsFailure::NoPermission:
        return "The reply could not be saved: no permission to write here.";
    case OsFailure::ReadOnly:
        return "The reply could not be saved: the disk is read-only.";
    case OsFailure::NotAFile:
        return "The reply could not be saved: data.dat is not a plain file.";
    case OsFailure::Busy:
        return "The reply could not be saved: another program keeps data.dat locked.";
    default:
        return "The reply could not be saved: the disk reported an error.";
    }
}

// Teaching: asks for a reply to the oldest unknown record, then has it saved in place of that
// record. Nothing is open, and no lock held, while the user answers.
TurnOutcome teach(ConversationEngine& engine) {
    if (!findOldestUnknownRecord(engine.current, engine.asked)) {
        return TurnOutcome::Continue;
    }
    printLine(engine.current.key);
    const bool answered = readLine(engine.sentence);
    if (!answered || engine.sentence.empty() || engine.sentence == EXIT_WORD) {
        return answered && engine.sentence.empty() ? TurnOutcome::Continue : TurnOutcome::Exit;
    }
    const OsFailure failure = saveTaughtReply(engine.current, engine.sentence, engine.asked);
    engine.acknowledgementRoll = roll(static_cast<int>(ACKNOWLEDGEMENTS.size()));
    if (failure == OsFailure::None) {
        printLine(ACKNOWLEDGEMENTS[static_cast<std::size_t>(engine.acknowledgementRoll - 1)]);
    } else {
        printLine(failureText(failure));
    }
    return TurnOutcome::Continue;
}

TurnOutcome afterReply(ConversationEngine& engine) {
    return engine.learnRoll == 1 ? teach(engine) : TurnOutcome::Continue;
}

// The knowledge file is read, and closed again, before anything is printed: printing may wait
// for a slow reader, and the file's lock must not wait with it.
TurnOutcome lookUp(ConversationEngine& engine) {
    const Lookup found = lookUpSentence(engine.sentence, engine.current);
    // One roll for every record examined; the last one decides about teaching.
    engine.learnRoll = rollTimes(2, found.recordsExamined);
    if (found.matched && engine.current.reply == UNKNOWN_REPLY_MARKER) {
        respond(engine.sentence);
        return afterReply(engine);
    }
    if (found.matched) {
        printLine(engine.current.reply);
        // A match on the last record is never followed by teaching.
        return found.lastRecord ? TurnOutcome::Continue : afterReply(engine);
    }
    storeUnknownSentence(engine.sentence);
    respond(engine.sentence);
    return afterReply(engine);
}

} // namespace

void greet() {
    clearScreen(CLEAR_DEFAULT);
    printLine(BANNER_TEXT);
    printEnd(0, PRINT_NEWLINE);
}

void startConversation(int argumentCount, char** arguments) {
    runtimeStart(argumentCount, arguments);
    startRecordStore();
    setScreenMode(STARTUP_MODE, STARTUP_DEPTH, 0, 0, 0);
    seedRandom(timerSeconds());
    greet();
}

TurnOutcome runTurn(ConversationEngine& engine) {
    engine.learnRoll = roll(2);
    if (!readLine(engine.sentence) || engine.sentence == EXIT_WORD) {
        return TurnOutcome::Exit;
    }
    if (engine.sentence.empty()) {
        return TurnOutcome::Continue;
    }
    return lookUp(engine);
}

void runConversation(int argumentCount, char** arguments) {
    const CommandLine commandLine = readCommandLine(argumentCount, arguments);
    if (commandLine.request != CommandLineRequest::Converse) {
        terminate(answerCommandLine(commandLine, stdout, stderr));
    }
    startConversation(argumentCount, arguments);
    ConversationEngine engine;
    while (runTurn(engine) == TurnOutcome::Continue) {
    }
    terminate(0);
}

} // namespace ulo
