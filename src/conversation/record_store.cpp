#include "conversation/record_store.hpp"

#include "conversation/record_search.hpp"
#include "files/channels.hpp"

namespace ulo {
namespace {

constexpr std::string_view LINE_END = "\r\n";

// The records read while a teaching step searches data.dat again for the asked record.
KnowledgeRecord searched;

bool isLineEnd(int byte) {
    return byte == '\r' || byte == '\n';
}

RuntimeErrorCode openKnowledge(std::string_view name, OpenMode mode, int channel,
                               std::int32_t lockMode) {
    return openChannel(name, mode, AccessMode::Unspecified, lockMode, channel, 0);
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

// The asked record's line in data.dat as it is now (open on KNOWLEDGE_CHANNEL, `size` bytes):
// where it was found, while data.dat is unchanged since; otherwise the first unknown record with
// its key. Another instance may have taught it meanwhile: then no line, and the taught record is
// stored all the same.
RecordLine findAskedLine(const KnowledgeRecord& record, const AskedRecord& asked, bool empty,
                         std::int64_t size) {
    OsFileIdentity now;
    if (channelFileIdentity(KNOWLEDGE_CHANNEL, &now) && now == asked.file && size == now.size) {
        return asked.line;
    }
    while (!empty &&
           searchRecords(KNOWLEDGE_CHANNEL, RecordField::Reply, UNKNOWN_REPLY_MARKER, searched)
               .found) {
        if (searched.key == record.key.view()) {
            return lastRecordLine();
        }
    }
    return {size, size};
}

} // namespace

void startRecordStore() {
    resetChannelTable();
    resetFieldReader();
}

// Under a shared lock, so that nobody changes data.dat meanwhile.
Lookup lookUpSentence(std::string_view sentence, KnowledgeRecord& record) {
    Lookup found;
    found.recordsExamined = 0;
    if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL,
                      CHANNEL_LOCK_SHARED) == ERR_NONE) {
        const RecordSearch search =
            searchRecords(KNOWLEDGE_CHANNEL, RecordField::Key, sentence, record);
        found = {search.recordsExamined, search.found,
                 !search.found || atEndOfFile(KNOWLEDGE_CHANNEL) != 0};
        closeChannel(KNOWLEDGE_CHANNEL);
    }
    if (found.recordsExamined == 0) { // no record: one of three empty texts is read
        for (RecordText* text : {&record.key, &record.reply, &record.extra}) {
            text->assign({});
        }
        found = {1, sentence.empty(), true};
    }
    return found;
}

// All or nothing: when the record cannot be written completely and forced to disk, the file is
// cut back to its old length. The file is locked meanwhile, so records of other instances are
// never interleaved with it.
void storeUnknownSentence(std::string_view sentence) {
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

bool findOldestUnknownRecord(KnowledgeRecord& record, AskedRecord& asked) {
    if (openKnowledge(KNOWLEDGE_FILE_NAME, OpenMode::ReadExisting, KNOWLEDGE_CHANNEL,
                      CHANNEL_LOCK_SHARED) != ERR_NONE) {
        return false;
    }
    const bool found =
        searchRecords(KNOWLEDGE_CHANNEL, RecordField::Reply, UNKNOWN_REPLY_MARKER, record).found;
    asked.line = lastRecordLine();
    if (!found || !channelFileIdentity(KNOWLEDGE_CHANNEL, &asked.file)) {
        asked.file = {};
    }
    closeChannel(KNOWLEDGE_CHANNEL);
    return found;
}

// data.dat is locked exclusively from the copy to the rename: nothing can be stored or replaced
// meanwhile, and the copy is made from the file as it is now, with whatever other instances
// stored while the user was answering. Every line but the asked record's is copied exactly as it
// stands. data.dat is replaced only by a temp.dat that was written, synced and closed without
// error, in one atomic rename; a temp.dat that is not used is removed.
OsFailure saveTaughtReply(const KnowledgeRecord& record, std::string_view reply,
                          const AskedRecord& asked) {
    SaveSteps steps;
    bool empty = false;
    steps.check(openCopySource(&empty));
    if (!steps.ok()) {
        return steps.failure;
    }
    const std::int64_t size = openChannelSlot(KNOWLEDGE_CHANNEL)->size;
    const RecordLine line = findAskedLine(record, asked, empty, size);
    steps.check(!channelHasFailed(KNOWLEDGE_CHANNEL));
    if (steps.ok()) {
        steps.check(openKnowledge(TEMPORARY_FILE_NAME, OpenMode::WriteNew, REWRITE_CHANNEL,
                                  CHANNEL_LOCK_NONE) == ERR_NONE);
    }
    if (steps.ok()) {
        steps.check(copyFileBytes(KNOWLEDGE_CHANNEL, REWRITE_CHANNEL, 0, line.start) == ERR_NONE &&
                    copyFileBytes(KNOWLEDGE_CHANNEL, REWRITE_CHANNEL, line.end, size - line.end) ==
                        ERR_NONE);
        // The asked line starts after a line end; the file's last line may lack one.
        if (line.end < size && !isLineEnd(lastByteOfFile(KNOWLEDGE_CHANNEL))) {
            writeBytes(REWRITE_CHANNEL, LINE_END);
        }
        writeTextField(REWRITE_CHANNEL, record.key, FieldEnd::Separator);
        writeTextField(REWRITE_CHANNEL, reply, FieldEnd::Separator);
        writeTextField(REWRITE_CHANNEL, record.extra, FieldEnd::RecordEnd);
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

} // namespace ulo
