#include "conversation/knowledge_file.hpp"

#include "files/channels.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ulo {
namespace {

constexpr int NO_CHANNEL = -1000;

// The process-wide field reader: the selected channel and where its lines are.
struct FieldReader {
    int channel = NO_CHANNEL;
    std::int64_t lineStart = 0; // where the line of the reader's position starts
    RecordLine lastLine;        // the line of the record read last
};
// The buffer is an object of its own, so that the address checker of the sanitizer builds sees a
// write even one byte past its end (inside a record it could land in padding unseen).
std::array<std::uint8_t, MAX_FIELD_LENGTH + 1> fieldText{};
FieldReader fieldReader;

// The field being read: where its bytes go, how many are stored and where its first NUL is.
struct FieldText {
    std::uint8_t* bytes;
    std::size_t stored = 0;
    std::size_t firstNul = MAX_FIELD_LENGTH;

    void store(std::uint8_t byte) {
        if (stored < MAX_FIELD_LENGTH) {
            if (byte == 0 && stored < firstNul) {
                firstNul = stored;
            }
            bytes[stored++] = byte;
        }
    }
    // Copies a run of bytes without NUL; whatever would pass MAX_FIELD_LENGTH is dropped.
    void storeRun(const std::uint8_t* run, std::size_t count) {
        const std::size_t kept = std::min(count, MAX_FIELD_LENGTH - stored);
        std::memcpy(bytes + stored, run, kept);
        stored += kept;
    }
    // The text ends at its first NUL byte, if it has one.
    std::size_t length() const { return std::min(stored, firstNul); }
};

// The first byte in [p, end) that needs a decision: the delimiter (a quote inside quotes, a
// comma outside), CR, LF or NUL; `end` when there is none. The channel buffer has slack after
// its last byte, so whole 16-byte blocks may be loaded up to `end`.
inline const std::uint8_t* findStop(const std::uint8_t* p, const std::uint8_t* end,
                                    std::uint8_t delimiter) {
#if defined(__SSE2__)
    const __m128i wantDelimiter = _mm_set1_epi8(static_cast<char>(delimiter));
    const __m128i wantCr = _mm_set1_epi8('\r');
    const __m128i wantLf = _mm_set1_epi8('\n');
    const __m128i wantNul = _mm_setzero_si128();
    for (; p < end; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(block, wantDelimiter), _mm_cmpeq_epi8(block, wantCr)),
            _mm_or_si128(_mm_cmpeq_epi8(block, wantLf), _mm_cmpeq_epi8(block, wantNul)));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0) {
            const std::uint8_t* hit = p + __builtin_ctz(static_cast<unsigned>(mask));
            return hit < end ? hit : end;
        }
    }
    return end;
#else
    while (p != end && *p != delimiter && *p != '\r' && *p != '\n' && *p != 0) {
        ++p;
    }
    return p;
#endif
}

void pushBackOne(FileChannel& channel, int byte) {
    channel.pushedBack[channel.pushedCount++] = static_cast<std::uint8_t>(byte);
}

// The next byte without taking it, or -1 at the end. A refill keeps the byte in the buffer, so
// stepping back over it is enough.
int peekByte(FileChannel& channel) {
    if (channel.pushedCount > 0) {
        return channel.pushedBack[channel.pushedCount - 1];
    }
    ChannelStream& stream = channel.stream;
    if (stream.readPosition != stream.readEnd) {
        return *stream.readPosition;
    }
    const int byte = refillAndTakeByte(channel);
    if (byte >= 0) {
        --stream.readPosition;
    }
    return byte;
}

// A line end has just been consumed: the next line starts at the reader's position.
void markLineEnd(const FileChannel& channel) {
    fieldReader.lineStart = readerPosition(channel);
}

// True when `byte`, just taken, ends a line; the rest of the line end is taken as well (an LF
// right after a CR belongs to the same line end).
bool takeLineEnd(FileChannel& channel, int byte) {
    if (byte == '\r') {
        if (peekByte(channel) == '\n') {
            takeByte(channel);
        }
    } else if (byte != '\n') {
        return false;
    }
    markLineEnd(channel);
    return true;
}

// How a field read ended: at a separator, at the end of its line, at the end of the data, or
// after a closing quote with a byte that the next field starts with.
enum class FieldStop { Separator, LineEnd, EndOfData, NextField };

// After the closing quote, with the byte that followed it: spaces and tabs are passed over, one
// separator or line end is consumed, and anything else is left for the next field.
FieldStop finishQuotedField(FileChannel& channel, int byte) {
    while (byte == ' ' || byte == '\t') {
        byte = takeByte(channel);
    }
    if (byte < 0) {
        return FieldStop::EndOfData;
    }
    if (byte == ',') {
        return FieldStop::Separator;
    }
    if (takeLineEnd(channel, byte)) {
        return FieldStop::LineEnd;
    }
    pushBackOne(channel, byte);
    return FieldStop::NextField;
}

// Takes the ordinary bytes that follow straight out of the channel's buffer.
void storeBufferedRun(FileChannel& channel, FieldText& field, std::uint8_t delimiter) {
    if (channel.pushedCount != 0) {
        return;
    }
    ChannelStream& stream = channel.stream;
    const std::uint8_t* start = stream.readPosition;
    const std::uint8_t* stop = findStop(start, stream.readEnd, delimiter);
    field.storeRun(start, static_cast<std::size_t>(stop - start));
    stream.readPosition += stop - start;
}

// Any field, byte by byte through the channel (pushed-back bytes, buffer refills, every rule).
// Within a line, only spaces and tabs are passed over before the field, and a line end there
// ends the record with an empty field; otherwise line ends are passed over as well.
std::string_view readFieldSlowly(FileChannel& channel, std::uint8_t* bytes, bool withinLine,
                                 FieldStop* stop) {
    FieldText field{bytes};
    *stop = FieldStop::EndOfData;
    int byte = takeByte(channel);
    while (byte == ' ' || byte == '\t' || (!withinLine && (byte == '\r' || byte == '\n'))) {
        byte = takeByte(channel);
    }
    if (byte < 0) {
        return {};
    }
    const bool quoted = byte == '"';
    if (quoted) {
        byte = takeByte(channel);
    }
    const std::uint8_t delimiter = quoted ? '"' : ',';
    while (byte >= 0) {
        if (byte == delimiter) {
            if (!quoted) {
                *stop = FieldStop::Separator;
                break;
            }
            byte = takeByte(channel);
            if (byte == '"') { // a doubled quote stands for one quote of the text
                field.store('"');
                byte = takeByte(channel);
                continue;
            }
            *stop = finishQuotedField(channel, byte);
            break;
        }
        // A line end ends the field, inside quotes too, and with it the record.
        if (takeLineEnd(channel, byte)) {
            *stop = FieldStop::LineEnd;
            break;
        }
        field.store(static_cast<std::uint8_t>(byte));
        storeBufferedRun(channel, field, delimiter);
        byte = takeByte(channel);
    }
    return {reinterpret_cast<const char*>(bytes), field.length()};
}

// A field as the writer writes it, whole in [p, end): a quote, at most MAX_FIELD_LENGTH bytes
// without quote, CR, LF or NUL, a quote, then a comma (Separator) or CR LF (LineEnd). `found` is
// false for anything else.
struct WrittenField {
    bool found = false;
    std::string_view text;
    const std::uint8_t* next = nullptr; // just past the comma or the CR LF
    FieldStop stop = FieldStop::Separator;
};

WrittenField findWrittenField(const std::uint8_t* p, const std::uint8_t* end) {
    if (end - p < 3 || *p != '"') {
        return {};
    }
    const std::uint8_t* text = p + 1;
    const std::uint8_t* close = findStop(text, end, '"');
    const auto length = static_cast<std::size_t>(close - text);
    if (end - close < 3 || *close != '"' || length > MAX_FIELD_LENGTH) {
        return {};
    }
    const std::string_view view(reinterpret_cast<const char*>(text), length);
    if (close[1] == ',') {
        return {true, view, close + 2, FieldStop::Separator};
    }
    if (close[1] == '\r' && close[2] == '\n') {
        return {true, view, close + 3, FieldStop::LineEnd};
    }
    return {};
}

// The field as the writer writes it, whole in the buffer, is returned as a view into the
// channel's buffer, with no copy; anything else is left to the slow path.
std::string_view readFieldQuickly(FileChannel& channel, std::uint8_t* bytes, bool withinLine,
                                  FieldStop* stop) {
    ChannelStream& stream = channel.stream;
    if (channel.pushedCount == 0) {
        const WrittenField field = findWrittenField(stream.readPosition, stream.readEnd);
        if (field.found) {
            stream.readPosition += field.next - stream.readPosition;
            if (field.stop == FieldStop::LineEnd) {
                markLineEnd(channel);
            }
            *stop = field.stop;
            return field.text;
        }
    }
    return readFieldSlowly(channel, bytes, withinLine, stop);
}

// Passes over blank lines (and the indentation of the next line), keeping track of where the
// last of the lines passed over ended.
void skipBlankLines(FileChannel& channel) {
    for (;;) {
        const int byte = peekByte(channel);
        if (byte != ' ' && byte != '\t' && byte != '\r' && byte != '\n') {
            return;
        }
        takeByte(channel);
        if (byte == '\r' || byte == '\n') {
            markLineEnd(channel);
        }
    }
}

// Passes over what follows the third field on its line, and the line end.
void skipRestOfLine(FileChannel& channel) {
    for (int byte = takeByte(channel); byte >= 0 && !takeLineEnd(channel, byte);
         byte = takeByte(channel)) {
    }
}

// A record of any shape: up to three fields of one line; missing fields are empty.
void readRecordSlowly(FileChannel& channel, KnowledgeRecord& record) {
    std::uint8_t* text = fieldText.data();
    FieldStop stop = FieldStop::Separator;
    for (RecordText* field : {&record.key, &record.reply, &record.extra}) {
        if (stop == FieldStop::LineEnd || stop == FieldStop::EndOfData) {
            field->assign({});
        } else {
            field->assign(readFieldQuickly(channel, text, true, &stop));
        }
    }
    if (stop == FieldStop::Separator || stop == FieldStop::NextField) {
        skipRestOfLine(channel);
    }
}

#if defined(__SSE2__)
// A record as the writer writes it, within the next 64 bytes of the buffer (most records are
// this short), found with one scan of those bytes: six quotes with a comma after the second and
// the fourth, CR LF after the last, and no byte up to 0x0D inside. False (and nothing consumed)
// for anything else.
bool readShortRecordQuickly(FileChannel& channel, KnowledgeRecord& record) {
    constexpr std::size_t SPAN = 64;
    ChannelStream& stream = channel.stream;
    const std::uint8_t* p = stream.readPosition;
    const auto available = static_cast<std::size_t>(stream.readEnd - p);
    const std::uint8_t* allocationEnd =
        stream.buffer.get() + FILE_BUFFER_SIZE + STREAM_BUFFER_SLACK;
    if (allocationEnd - p < static_cast<std::ptrdiff_t>(SPAN) || available < 10 || *p != '"') {
        return false;
    }
    // Bit i: byte i is a quote; byte i is at most 0x0D (CR, LF, NUL and rarer control bytes).
    // Bytes past the buffered ones are loaded too (the buffer has slack) and ignored below.
    std::uint64_t quotes = 0;
    std::uint64_t stops = 0;
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i lastStop = _mm_set1_epi8('\r');
    for (std::size_t i = 0; i < SPAN; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto quoteBits =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, quote)));
        const auto stopBits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(block, lastStop), block)));
        quotes |= static_cast<std::uint64_t>(quoteBits) << i;
        stops |= static_cast<std::uint64_t>(stopBits) << i;
    }
    unsigned at[6];
    for (unsigned& position : at) {
        if (quotes == 0) {
            return false;
        }
        position = static_cast<unsigned>(__builtin_ctzll(quotes));
        quotes &= quotes - 1;
    }
    const std::size_t end = at[5] + 3;
    if (end > available || p[at[1] + 1] != ',' || at[2] != at[1] + 2 || p[at[3] + 1] != ',' ||
        at[4] != at[3] + 2 || p[at[5] + 1] != '\r' || p[at[5] + 2] != '\n' ||
        (stops & ((std::uint64_t{2} << at[5]) - 1)) != 0) {
        return false;
    }
    static_assert(STREAM_BUFFER_SLACK >= RecordText::COPY_BLOCK);
    const char* text = reinterpret_cast<const char*>(p);
    record.key.assignFromPaddedSource(text + 1, at[1] - 1);
    record.reply.assignFromPaddedSource(text + at[2] + 1, at[3] - at[2] - 1);
    record.extra.assignFromPaddedSource(text + at[4] + 1, at[5] - at[4] - 1);
    stream.readPosition += end;
    return true;
}
#endif

// A whole record as the writer writes it, when all of it is in the buffer: three quick fields,
// the last ended by CR LF. False (and nothing consumed) for anything else.
bool readRecordQuickly(FileChannel& channel, KnowledgeRecord& record) {
    if (channel.pushedCount != 0) {
        return false;
    }
#if defined(__SSE2__)
    if (readShortRecordQuickly(channel, record)) {
        return true;
    }
#endif
    ChannelStream& stream = channel.stream;
    WrittenField fields[3];
    const std::uint8_t* p = stream.readPosition;
    for (int i = 0; i < 3; ++i) {
        fields[i] = findWrittenField(p, stream.readEnd);
        const FieldStop wanted = i < 2 ? FieldStop::Separator : FieldStop::LineEnd;
        if (!fields[i].found || fields[i].stop != wanted) {
            return false;
        }
        p = fields[i].next;
    }
    // The channel buffer has slack after its end, so the texts may be copied as whole blocks.
    static_assert(STREAM_BUFFER_SLACK >= RecordText::COPY_BLOCK);
    RecordText* texts[3] = {&record.key, &record.reply, &record.extra};
    for (int i = 0; i < 3; ++i) {
        texts[i]->assignFromPaddedSource(fields[i].text.data(), fields[i].text.size());
    }
    stream.readPosition += p - stream.readPosition;
    return true;
}

// The selected channel when it is open.
FileChannel* selectedChannel() {
    return openChannelSlot(fieldReader.channel);
}

// Where the line of the reader's position starts: where the reader marked the last line end it
// took, unless the channel is read from its start again (a file opened anew).
std::int64_t currentLineStart(const FileChannel& channel) {
    const std::int64_t position = readerPosition(channel);
    return position == 0 || position < fieldReader.lineStart ? position : fieldReader.lineStart;
}

void readNoRecord(KnowledgeRecord& record) {
    for (RecordText* field : {&record.key, &record.reply, &record.extra}) {
        field->assign({});
    }
    setErrorCode(ERR_NONE);
}

// The record of the line that starts at `lineStart` and that the reader stands in, at its start
// or past the spaces and tabs it begins with; then the blank lines after it are passed over.
void readRecordAt(FileChannel& source, std::int64_t lineStart, KnowledgeRecord& record) {
    fieldReader.lineStart = lineStart;
    if (peekByte(source) != '"') {
        skipBlankLines(source);
    }
    fieldReader.lastLine.start = fieldReader.lineStart;
    if (readRecordQuickly(source, record)) {
        markLineEnd(source);
    } else {
        readRecordSlowly(source, record);
    }
    fieldReader.lastLine.end = readerPosition(source);
    // Blank lines are no records: passing over them here lets the end-of-file test after the
    // last record see the end.
    if (peekByte(source) != '"') {
        skipBlankLines(source);
    }
    setErrorCode(ERR_NONE);
}

void writeText(int channel, std::string_view text) {
    writeBytes(channel, text);
}

} // namespace

void RecordText::assign(std::string_view text) {
    size_ = std::min(text.size(), MAX_FIELD_LENGTH);
    if (size_ != 0) {
        std::memcpy(bytes_, text.data(), size_);
    }
}

void RecordText::assignFromPaddedSource(const char* text, std::size_t length) {
    size_ = std::min(length, MAX_FIELD_LENGTH);
    if (size_ <= COPY_BLOCK) {
        std::memcpy(bytes_, text, COPY_BLOCK); // one fixed-size move instead of a call
    } else {
        std::memcpy(bytes_, text, size_);
    }
}

void writeTextField(int channel, std::string_view text, FieldEnd end) {
    writeText(channel, "\"");
    RuntimeErrorCode result = lastErrorCode();
    // Each quote of the text goes out twice, so that the reader can tell it from the closing one.
    while (!text.empty()) {
        const std::size_t quote = text.find('"');
        const std::size_t run = quote == std::string_view::npos ? text.size() : quote + 1;
        writeText(channel, text.substr(0, run));
        result = result != ERR_NONE ? result : lastErrorCode();
        if (quote != std::string_view::npos) {
            writeText(channel, "\"");
            result = result != ERR_NONE ? result : lastErrorCode();
        }
        text.remove_prefix(run);
    }
    writeText(channel, end == FieldEnd::Separator ? std::string_view("\",") : "\"\r\n");
    setErrorCode(result != ERR_NONE ? result : lastErrorCode());
}

void writeRecord(int channel, const KnowledgeRecord& record) {
    writeTextField(channel, record.key, FieldEnd::Separator);
    RuntimeErrorCode result = lastErrorCode();
    writeTextField(channel, record.reply, FieldEnd::Separator);
    result = result != ERR_NONE ? result : lastErrorCode();
    writeTextField(channel, record.extra, FieldEnd::RecordEnd);
    setErrorCode(result != ERR_NONE ? result : lastErrorCode());
}

RuntimeErrorCode beginRead(int channel) {
    if (openChannelSlot(channel) == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    fieldReader.channel = channel;
    return setErrorCode(ERR_NONE);
}

std::string_view readTextField() {
    std::uint8_t* text = fieldText.data();
    std::string_view field;
    if (FileChannel* channel = selectedChannel()) {
        FieldStop stop;
        field = readFieldQuickly(*channel, text, false, &stop);
        // The caller keeps the text until the next field read, whatever happens to the channel.
        if (!field.empty() && field.data() != reinterpret_cast<const char*>(text)) {
            std::memcpy(text, field.data(), field.size());
            field = {reinterpret_cast<const char*>(text), field.size()};
        }
    }
    setErrorCode(ERR_NONE);
    return field;
}

void readRecord(int channel, KnowledgeRecord& record) {
    beginRead(channel);
    if (FileChannel* source = selectedChannel()) {
        readRecordAt(*source, currentLineStart(*source), record);
    } else {
        readNoRecord(record);
    }
}

void readRecordOfLine(int channel, std::int64_t lineStart, KnowledgeRecord& record) {
    beginRead(channel);
    if (FileChannel* source = selectedChannel()) {
        readRecordAt(*source, lineStart, record);
    } else {
        readNoRecord(record);
    }
}

std::int64_t readerLineStart(int channel) {
    const FileChannel* slot = openChannelSlot(channel);
    return slot != nullptr ? currentLineStart(*slot) : 0;
}

bool readWrittenTexts(const std::uint8_t* line, const std::uint8_t* end, std::size_t count,
                      std::string_view* texts) {
    for (std::size_t i = 0; i < count; ++i) {
        const WrittenField field = findWrittenField(line, end);
        if (!field.found || (i + 1 < count && field.stop != FieldStop::Separator)) {
            return false;
        }
        texts[i] = field.text;
        line = field.next;
    }
    return true;
}

RecordLine lastRecordLine() {
    return fieldReader.lastLine;
}

void resetFieldReader() {
    fieldReader.channel = NO_CHANNEL;
    fieldReader.lineStart = 0;
    fieldReader.lastLine = {};
}

} // namespace ulo
