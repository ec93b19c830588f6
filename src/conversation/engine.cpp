#include "conversation/engine.hpp"

#include "console/print.hpp"
#include "conversation/command_line.hpp"
#include "conversation/fallback.hpp"
#include "files/channels.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/runtime.hpp"
#include "runtime/timer.hpp"
#include "screen/screen.hpp"

namespace ulo {
namespace {

constexpr std::int32_t STARTUP_MODE = 18;
constexpr std::int32_t STARTUP_DEPTH = 32;
constexpr std::string_view LINE_END = "\r\n";

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

// Opens a file of the conversation on `channel`. An open that fails after the file was opened
// (its length cannot be measured) leaves the channel open; it is closed here, so that no later
// step writes to a file it did not mean.
RuntimeErrorCode openKnowledge(std::string_view name, OpenMode mode, int channel,
                               std::int32_t lockMode) {
    const RuntimeErrorCode result =
        openChannel(name, mode, AccessMode::Unspecified, lockMode, channel, 0);
    if (result != ERR_NONE && openChannelSlot(channel) != nullptr) {
        closeChannel(channel);
    }
    return result;
}

bool isLineEnd(int byte) {
    return byte == '\r' || byte == '\n';
}

// Stores (sentence, marker, marker) at the end of data.dat, all or nothing: when the record
// cannot be written completely and forced to disk, the file is cut back to its old length. The
// file is locked meanwhile, so records of other instances are never interleaved with it.
void appendUnknownRecord(std::string_view sentence) {
    if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::WriteAppend, REWRITE_CHANNEL,
                      CHANNEL_LOCK_EXCLUSIVE) != ERR_NONE) {
        return;
    }
    const std::int64_t oldLength = openChannelSlot(REWRITE_CHANNEL)->size;
    // After a torn last line (a write cut short) the new record starts a line of its own, so the
    // torn line stays one damaged line and the new record is whole.
    if (oldLength > 0 && !isLineEnd(lastByteOfFile(REWRITE_CHANNEL))) {
        writeBytes(REWRITE_CHANNEL, LINE_END);
    }
    writeTextField(REWRITE_CHANNEL, sentence, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, UNKNOWN_REPLY_MARKER, FieldEnd::Separator);
    writeTextField(REWRITE_CHANNEL, UNKNOWN_REPLY_MARKER, FieldEnd::RecordEnd);
    if (syncChannel(REWRITE_CHANNEL) != ERR_NONE) {
        truncateChannel(REWRITE_CHANNEL, oldLength);
    } else if (oldLength == 0) {
        syncFolderOf(KNOWLEDGE_FILE_NAME); // the file may be new: its name must last as well
    }
    closeChannel(REWRITE_CHANNEL);
}

// The oldest unknown record, into `current`. False when data.dat holds none or cannot be read.
bool findUnknownRecord(ConversationEngine& engine) {
    if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL,
                      CHANNEL_LOCK_SHARED) != ERR_NONE) {
        return false;
    }
    bool found = false;
    while (!found && atEndOfFile(KNOWLEDGE_CHANNEL) == 0) {
        readRecord(KNOWLEDGE_CHANNEL, engine.current);
        found = engine.current.reply == UNKNOWN_REPLY_MARKER;
    }
    engine.askedLine = lastRecordLine();
    if (!found || !channelFileIdentity(KNOWLEDGE_CHANNEL, &engine.askedIn)) {
        engine.askedIn = {};
    }
    closeChannel(KNOWLEDGE_CHANNEL);
    return found;
}

// Opens data.dat for the copy, locked exclusively. A missing file is made (empty) to be locked
// as well, so that nobody stores a first record while the copy is written; `empty` tells that
// there is nothing to read then.
bool openCopySource(bool* empty) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        *empty = false;
        if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL,
                          CHANNEL_LOCK_EXCLUSIVE) == ERR_NONE) {
            return true;
        }
        if (lastFileFailure() != OsFailure::NotFound ||
            openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::WriteAppend, KNOWLEDGE_CHANNEL,
                          CHANNEL_LOCK_EXCLUSIVE) != ERR_NONE) {
            return false;
        }
        *empty = openChannelSlot(KNOWLEDGE_CHANNEL)->size == 0;
        if (*empty) {
            return true;
        }
        closeChannel(KNOWLEDGE_CHANNEL); // a record was stored meanwhile: read the file
    }
    return false;
}

// The steps of a save, each of which may fail; the first failure is the one the user is told.
struct SaveSteps {
    OsFailure failure = OsFailure::None;

    bool ok() const { return failure == OsFailure::None; }
    void check(bool done) {
        if (!done && ok()) {
            const OsFailure reason = lastFileFailure();
            failure = reason == OsFailure::None ? OsFailure::Other : reason;
        }
    }
};

// Writes data.dat anew with the taught record (current.key, sentence, current.extra) last.
// data.dat is locked exclusively from the copy to the rename: nothing can be stored or replaced
// meanwhile, and the copy is made from the file as it is now, with whatever other instances
// stored while the user was answering. Every line but the asked record's is copied exactly as
// it stands. data.dat is replaced only by a temp.dat that was written, synced and closed without
// error, in one atomic rename; a temp.dat that is not used is removed.
OsFailure saveTaughtRecord(ConversationEngine& engine) {
    SaveSteps steps;
    bool empty = false;
    steps.check(openCopySource(&empty));
    if (!steps.ok()) {
        return steps.failure;
    }
    // The asked record's line: where it was found, while data.dat is unchanged since; otherwise
    // the first unknown record with its key. Another instance may have taught it meanwhile; the
    // taught record is then stored all the same.
    OsFileIdentity now;
    bool found = channelFileIdentity(KNOWLEDGE_CHANNEL, &now) && now == engine.askedIn &&
                 openChannelSlot(KNOWLEDGE_CHANNEL)->size == now.size;
    RecordLine asked = engine.askedLine;
    while (!found && !empty && atEndOfFile(KNOWLEDGE_CHANNEL) == 0) {
        readRecord(KNOWLEDGE_CHANNEL, engine.spare);
        found = engine.spare.reply == UNKNOWN_REPLY_MARKER &&
                engine.spare.key == engine.current.key.view();
        asked = lastRecordLine();
    }
    steps.check(!channelHasFailed(KNOWLEDGE_CHANNEL));
    const std::int64_t size = openChannelSlot(KNOWLEDGE_CHANNEL)->size;
    if (!found) {
        asked = {size, size};
    }
    if (steps.ok()) {
        steps.check(openKnowledge(TEMPORARY_FILE_NAME, OpenMode::WriteNew, REWRITE_CHANNEL,
                                  CHANNEL_LOCK_NONE) == ERR_NONE);
    }
    if (steps.ok()) {
        steps.check(copyFileBytes(KNOWLEDGE_CHANNEL, REWRITE_CHANNEL, 0, asked.start) == ERR_NONE &&
                    copyFileBytes(KNOWLEDGE_CHANNEL, REWRITE_CHANNEL, asked.end,
                                  size - asked.end) == ERR_NONE);
        // The asked line starts after a line end; the file's last line may lack one.
        if (asked.end < size && !isLineEnd(lastByteOfFile(KNOWLEDGE_CHANNEL))) {
            writeBytes(REWRITE_CHANNEL, LINE_END);
        }
        writeTextField(REWRITE_CHANNEL, engine.current.key, FieldEnd::Separator);
        writeTextField(REWRITE_CHANNEL, engine.sentence, FieldEnd::Separator);
        writeTextField(REWRITE_CHANNEL, engine.current.extra, FieldEnd::RecordEnd);
        steps.check(syncChannel(REWRITE_CHANNEL) == ERR_NONE);
        steps.check(closeChannel(REWRITE_CHANNEL) == ERR_NONE);
        if (steps.ok()) {
            steps.check(replaceFile(TEMPORARY_FILE_NAME, KNOWLEDGE_FILE_NAME) == ERR_NONE);
        }
        if (!steps.ok()) {
            deleteFile(TEMPORARY_FILE_NAME); // a partial copy would only hold the free space
        }
    }
    closeChannel(KNOWLEDGE_CHANNEL); // the lock ends here, after the rename
    return steps.failure;
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

// Teaching: asks for a reply to the oldest unknown record, then writes the taught record last
// into a new data.dat without that record. No file is open, and no lock held, while the user
// answers.
TurnOutcome teach(ConversationEngine& engine) {
    if (!findUnknownRecord(engine)) {
        return TurnOutcome::Continue;
    }
    printLine(engine.current.key);
    const bool answered = readLine(engine.sentence);
    if (!answered || engine.sentence.empty() || engine.sentence == EXIT_WORD) {
        return answered && engine.sentence.empty() ? TurnOutcome::Continue : TurnOutcome::Exit;
    }
    const OsFailure failure = saveTaughtRecord(engine);
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

// Reads records until the sentence's or the end. The file is closed before anything is
// printed: printing may wait for a slow reader, and the lock must not wait with it.
TurnOutcome lookUp(ConversationEngine& engine) {
    openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL,
                  CHANNEL_LOCK_SHARED);
    readRecord(KNOWLEDGE_CHANNEL, engine.current);
    bool matched = false;
    bool atEnd = false;
    for (;;) {
        engine.learnRoll = roll(2);
        matched = engine.sentence == engine.current.key;
        atEnd = atEndOfFile(KNOWLEDGE_CHANNEL) != 0;
        if (matched || atEnd) {
            break;
        }
        readRecord(KNOWLEDGE_CHANNEL, engine.current);
    }
    closeChannel(KNOWLEDGE_CHANNEL);
    if (matched && engine.current.reply == UNKNOWN_REPLY_MARKER) {
        respond(engine.sentence);
        return afterReply(engine);
    }
    if (matched) {
        printLine(engine.current.reply);
        // A match on the last record is never followed by teaching.
        return atEnd ? TurnOutcome::Continue : afterReply(engine);
    }
    appendUnknownRecord(engine.sentence);
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
