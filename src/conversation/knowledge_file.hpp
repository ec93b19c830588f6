// The knowledge file: records of three double-quoted fields, separated by commas and ended by
// CR LF. The writer produces exactly that; the reader also takes unquoted fields, spaces around
// fields and other line ends, so that hand-edited files still read sensibly.
//
// A record is one line: it ends at the end of its line (CR LF, LF or a lone CR, inside quotes
// too), missing fields are empty, fields after the third are not part of it, and blank lines are
// no records. So a damaged line (two fields or four, a torn last record, a stray quote) yields
// one odd record and every other line reads as written.
//
// A double quote inside a field is written as two double quotes and read back as one, so every
// text survives a write and a read. A field read keeps at most MAX_FIELD_LENGTH bytes and passes
// over the rest of an over-long field, so the fields after it stay aligned.
#pragma once

#include "runtime/errors.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr std::size_t MAX_FIELD_LENGTH = 4096;
inline constexpr std::string_view UNKNOWN_REPLY_MARKER = "&&$&&";

// One text of a knowledge record: at most MAX_FIELD_LENGTH bytes, kept in place, so that reading
// records never allocates. Longer texts are cut.
class RecordText {
public:
    // Room after the text for copying short texts as whole blocks.
    static constexpr std::size_t COPY_BLOCK = 32;

    RecordText() = default;
    template <typename Text>
    requires std::convertible_to<const Text&, std::string_view> RecordText(const Text& text) {
        assign(std::string_view(text));
    }

    void assign(std::string_view text);
    // The same, for a source that may be read up to COPY_BLOCK bytes past its end.
    void assignFromPaddedSource(const char* text, std::size_t length);

    std::string_view view() const { return {bytes_, size_}; }
    operator std::string_view() const { return view(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Texts of equal length mostly differ in their first or last byte: those are compared
    // before the call that compares them all.
    friend bool operator==(const RecordText& text, std::string_view other) {
        const std::size_t size = text.size_;
        return size == other.size() &&
               (size == 0 || (text.bytes_[0] == other[0] && text.bytes_[size - 1] == other.back() &&
                              std::memcmp(text.bytes_, other.data(), size) == 0));
    }

private:
    std::size_t size_ = 0;
    char bytes_[MAX_FIELD_LENGTH + COPY_BLOCK];
};

struct KnowledgeRecord {
    RecordText key;   // a sentence the user typed
    RecordText reply; // the learned reply, or UNKNOWN_REPLY_MARKER
    RecordText extra; // carried along unchanged
};

enum class FieldEnd { Separator, RecordEnd };

// Writes one field: quote, the text (each quote doubled), quote, then a comma or CR LF.
// Failures are only recorded in lastError.
void writeTextField(int channel, std::string_view text, FieldEnd end);
void writeRecord(int channel, const KnowledgeRecord& record);

// Selects the channel that the following field reads take their bytes from. 1 when the number
// names no open channel; the previous selection then stays.
RuntimeErrorCode beginRead(int channel);
// Reads the next field of the selected channel, passing over line ends before it. Never fails; at
// the end of the data the field is empty or shortened. The view stays valid until the next field
// read.
std::string_view readTextField();
// Reads the record of the next line that is not blank into key, reply and extra, then passes
// over any blank lines after it, so that the end-of-file test after the last record sees the end.
void readRecord(int channel, KnowledgeRecord& record);

// Where the line of the record that readRecord read last lies in its file: from the first byte
// of the line to just past its line end (or to the end of the data).
struct RecordLine {
    std::int64_t start = 0;
    std::int64_t end = 0;
};
RecordLine lastRecordLine();

// For a reader that finds lines itself and moves the channel's read position into the line that
// starts at file position `lineStart` (to its start, or past the spaces and tabs it begins with):
// readRecord of that line.
void readRecordOfLine(int channel, std::int64_t lineStart, KnowledgeRecord& record);
// Where the line of the reader's position on `channel` starts.
std::int64_t readerLineStart(int channel);
// The first `count` texts of a line as the writer writes it, from its first byte at `line` and
// whole before `end` (in a channel's buffer, which may be read a little past `end`): quoted
// fields without quote, CR, LF or NUL inside and at most MAX_FIELD_LENGTH bytes, each followed by
// a comma, the last by a comma or CR LF. False for any other line. They are the texts readRecord
// reads from that line.
bool readWrittenTexts(const std::uint8_t* line, const std::uint8_t* end, std::size_t count,
                      std::string_view* texts);

// Forgets the selection (the state at program start).
void resetFieldReader();

} // namespace ulo
