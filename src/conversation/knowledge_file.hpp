// The knowledge file: records of three double-quoted fields, separated by commas and ended by
// CR LF. The writer produces exactly that; the reader also takes unquoted fields, spaces around
// fields and other line ends, so that hand-edited files still read sensibly.
//
// A double quote inside a field is written as two double quotes and read back as one, so every
// text survives a write and a read. A field read keeps at most MAX_FIELD_LENGTH bytes and passes
// over the rest of an over-long field, so the fields after it stay aligned.
#pragma once

#include "runtime/errors.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr std::size_t MAX_FIELD_LENGTH = 4096;
inline constexpr std::string_view UNKNOWN_REPLY_MARKER = "&&$&&";

struct KnowledgeRecord {
    std::string key;   // a sentence the user typed
    std::string reply; // the learned reply, or UNKNOWN_REPLY_MARKER
    std::string extra; // carried along unchanged
};

enum class FieldEnd { Separator, RecordEnd };

// Writes one field: quote, the text (each quote doubled), quote, then a comma or CR LF.
// Failures are only recorded in lastError.
void writeTextField(int channel, std::string_view text, FieldEnd end);
void writeRecord(int channel, const KnowledgeRecord& record);

// Selects the channel that the following field reads take their bytes from. 1 when the number
// names no open channel; the previous selection then stays.
RuntimeErrorCode beginRead(int channel);
// Reads the next field of the selected channel. Never fails; at the end of the data the field is
// empty or shortened. The view stays valid until the next field read.
std::string_view readTextField();
// beginRead, then three field reads into key, reply and extra.
void readRecord(int channel, KnowledgeRecord& record);

// Forgets the selection (the state at program start).
void resetFieldReader();

} // namespace ulo
