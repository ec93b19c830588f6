// The knowledge file: records of three double-quoted fields, separated by commas and ended by
// CR LF. The writer produces exactly that; the reader also takes unquoted fields, spaces around
// fields and other line ends, so that hand-edited files still read sensibly.
//
// A double quote inside a field is written as two double quotes and read back as one, so every
// text survives a write and a read. A field read keeps at most MAX_FIELD_LENGTH bytes and passes
// over the rest of an over-long field, so the fields after it stay aligned.
#pragma once

#include "runtime/errors.hpp"

#include <concepts>
#include <cstddef>
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

    friend bool operator==(const RecordText& text, std::string_view other) {
        return text.view() == other;
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
// Reads the next field of the selected channel. Never fails; at the end of the data the field is
// empty or shortened. The view stays valid until the next field read.
std::string_view readTextField();
// beginRead, then three field reads into key, reply and extra.
void readRecord(int channel, KnowledgeRecord& record);

// Forgets the selection (the state at program start).
void resetFieldReader();

} // namespace ulo
