// The knowledge file as the conversation asks it: look a sentence up, store an unknown sentence,
// find the oldest unknown record, save a taught reply. The store owns the channels and every
// rule that keeps data.dat whole: the locks, the all-or-nothing append, the copy through
// temp.dat, the syncs and the rename.
//
// Any number of Ulo may share one folder: reading takes a shared lock, storing and teaching an
// exclusive one, and no lock is held between two of these calls (while the user thinks).
#pragma once

#include "conversation/knowledge_file.hpp"
#include "files/file_system.hpp"

#include <cstdint>
#include <string_view>

namespace ulo {

inline constexpr std::string_view KNOWLEDGE_FILE_NAME = "data.dat";
inline constexpr std::string_view TEMPORARY_FILE_NAME = "temp.dat";
// The channels the store reads data.dat on, and writes data.dat or temp.dat on.
inline constexpr int KNOWLEDGE_CHANNEL = 1;
inline constexpr int REWRITE_CHANNEL = 2;

// Forgets every open channel and the reader's selection (the state at program start).
void startRecordStore();

// What a lookup found. Records are examined in file order up to the first whose key equals the
// sentence, or to the end; a file without records (missing, empty or blank) is examined as one
// record of three empty texts.
struct Lookup {
    std::int64_t recordsExamined = 1;
    bool matched = false;
    bool lastRecord = false; // the record examined last is the file's last
};
// Looks `sentence` up in data.dat; `record` receives the record that matched.
Lookup lookUpSentence(std::string_view sentence, KnowledgeRecord& record);

// Stores (sentence, marker, marker) at the end of data.dat, all or nothing.
void storeUnknownSentence(std::string_view sentence);

// Where a record asked about stood, and data.dat as it was then: while data.dat is unchanged at
// the answer, its copy needs no second search for the record.
struct AskedRecord {
    RecordLine line;
    OsFileIdentity file;
};
// The oldest unknown record into `record`. False when data.dat holds none or cannot be read.
bool findOldestUnknownRecord(KnowledgeRecord& record, AskedRecord& asked);

// Writes data.dat anew with (asked.key, reply, asked.extra) last, in place of the asked record.
// None, or why the reply could not be saved (data.dat is then as it was).
OsFailure saveTaughtReply(const KnowledgeRecord& record, std::string_view reply,
                          const AskedRecord& asked);

} // namespace ulo
