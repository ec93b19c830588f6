// Searching the knowledge file for the first record whose key, or reply, is a given text, at the
// speed of the disk. A record is a line that is not blank, so records are counted by their line
// ends; a record can only have the text wanted when its line holds the text's longest run without
// a quote (quotes are the one byte a field does not store as it stands), so only lines that hold
// that run are read as records. Lines are found, and the run looked for, a block of bytes at a
// time in the file channel's own buffer.
//
// Whatever the file holds, the search finds the record, and counts the records before it, exactly
// as reading record by record with readRecord and atEndOfFile would.
#pragma once

#include "conversation/knowledge_file.hpp"

#include <cstdint>
#include <string_view>

namespace ulo {

enum class RecordField { Key, Reply };

struct RecordSearch {
    // The records read up to and with the one found, or every record when none was found.
    std::int64_t recordsExamined = 0;
    bool found = false;
};

// Reads on from the reader's position on `channel` (open for reading, and read so far only by
// readRecord or by this search) to the first record whose `field` equals `wanted`; `record`
// receives that record, and lastRecordLine() tells its line. Nothing is found on a channel that
// is not open.
RecordSearch searchRecords(int channel, RecordField field, std::string_view wanted,
                           KnowledgeRecord& record);

// With false, lines are found byte by byte even where the processor's vector units could find
// them; with true (the start), as the processor allows. The two ways find the same.
void letSearchUseVectorUnits(bool allowed);

} // namespace ulo
