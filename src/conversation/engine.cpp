#include "conversation/engine.hpp"

#include "console/print.hpp"
#include "conversation/command_line.hpp"
#include "conversation/fallback.hpp"
#include "files/channels.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/runtime.hpp"
#include "runtime/timer.hpp"
#include "terminal/screen.hpp"

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

RuntimeErrorCode openKnowledge(std::string_view name, OpenMode mode, int channel) {
    return openChannel(name, mode, AccessMode::Unspecified, 0, channel, 0);
}

// Stores (sentence, marker, marker) at the end of data.dat, all or nothing: when the record
// cannot be written completely and forced to disk, the file is cut back to its old length.
void appendUnknownRecord(std::string_view sentence) {
    if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::WriteAppend, REWRITE_CHANNEL) != ERR_NONE) {
        return;
    }
    const std::int64_t oldLength = openChannelSlot(REWRITE_CHANNEL)->size;
    writeTextField(REWRITE_CHANNEL, sentence, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, UNKNOWN_REPLY_MARKER, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, UNKNOWN_REPLY_MARKER, FieldEnd::RecordEnd);
    if (syncChannel(REWRITE_CHANNEL) != ERR_NONE) {
        truncateChannel(REWRITE_CHANNEL, oldLength);
    }
    closeChannel(REWRITE_CHANNEL);
}

// Teaching: copies data.dat into temp.dat without its first unknown record, asks for that
// record's reply and writes the taught record last. data.dat is replaced only when temp.dat is
// complete and safely on disk, and then in one atomic rename.
TurnOutcome teach(ConversationEngine& engine) {
    openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL);
    openKnowledge(TEMPORARY_FILE_NAME, OpenMode::WriteNew, REWRITE_CHANNEL);
    for (;;) {
        if (atEndOfFile(KNOWLEDGE_CHANNEL) != 0) { // no unknown record
            closeChannel(KNOWLEDGE_CHANNEL);
            closeChannel(REWRITE_CHANNEL);
            return TurnOutcome::Continue;
        }
        readRecord(KNOWLEDGE_CHANNEL, engine.current);
        if (engine.current.reply == UNKNOWN_REPLY_MARKER) {
            break;
        }
        writeRecord(REWRITE_CHANNEL, engine.current);
    }
    printLine(engine.current.key);
    while (atEndOfFile(KNOWLEDGE_CHANNEL) == 0) {
        readRecord(KNOWLEDGE_CHANNEL, engine.spare);
        writeRecord(REWRITE_CHANNEL, engine.spare);
    }
    const bool copiedWhole = !channelHasFailed(KNOWLEDGE_CHANNEL);
    closeChannel(KNOWLEDGE_CHANNEL);

    const bool answered = readLine(engine.sentence);
    if (!answered || engine.sentence.empty() || engine.sentence == EXIT_WORD) {
        closeChannel(REWRITE_CHANNEL);
        return answered && engine.sentence.empty() ? TurnOutcome::Continue : TurnOutcome::Exit;
    }
    writeTextField(REWRITE_CHANNEL, engine.current.key, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, engine.sentence, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, engine.current.extra, FieldEnd::RecordEnd);
    const bool saved = syncChannel(REWRITE_CHANNEL) == ERR_NONE && copiedWhole;
    closeChannel(REWRITE_CHANNEL);

    engine.acknowledgementRoll = roll(static_cast<int>(ACKNOWLEDGEMENTS.size()));
    printLine(ACKNOWLEDGEMENTS[static_cast<std::size_t>(engine.acknowledgementRoll - 1)]);
    if (saved) {
        replaceFile(TEMPORARY_FILE_NAME, KNOWLEDGE_FILE_NAME);
    }
    return TurnOutcome::Continue;
}

TurnOutcome afterReply(ConversationEngine& engine) {
    return engine.learnRoll == 1 ? teach(engine) : TurnOutcome::Continue;
}

TurnOutcome lookUp(ConversationEngine& engine) {
    openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL);
    readRecord(KNOWLEDGE_CHANNEL, engine.current);
    for (;;) {
        engine.learnRoll = roll(2);
        const bool matched = engine.sentence == engine.current.key;
        if (matched && engine.current.reply == UNKNOWN_REPLY_MARKER) {
            respond(engine.sentence);
            closeChannel(KNOWLEDGE_CHANNEL);
            return afterReply(engine);
        }
        if (matched) {
            printLine(engine.current.reply);
        }
        if (atEndOfFile(KNOWLEDGE_CHANNEL) != 0) {
            closeChannel(KNOWLEDGE_CHANNEL);
            if (matched) { // a match on the last record is never followed by teaching
                return TurnOutcome::Continue;
            }
            appendUnknownRecord(engine.sentence);
            respond(engine.sentence);
            return afterReply(engine);
        }
        if (matched) {
            closeChannel(KNOWLEDGE_CHANNEL);
            return afterReply(engine);
        }
        readRecord(KNOWLEDGE_CHANNEL, engine.current);
    }
}

} // namespace

void greet() {
    clearScreen(CLEAR_DEFAULT);
    printLine(BANNER_TEXT);
    printEnd(0, PRINT_NEWLINE);
}

void startConversation(int argumentCount, char** arguments) {
    runtimeStart(argumentCount, arguments);
    resetChannelTable();
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
