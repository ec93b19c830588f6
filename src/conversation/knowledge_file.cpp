#include "conversation/knowledge_file.hpp"

#include "files/channels.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace ulo {
namespace {

constexpr std::uint8_t QUOTE = 0x22;
constexpr std::uint8_t COMMA = 0x2C;
constexpr std::uint8_t CR = 0x0D;
constexpr std::uint8_t LF = 0x0A;
constexpr std::uint8_t SPACE = 0x20;
constexpr std::uint8_t TAB = 0x09;

constexpr int NO_CHANNEL = -1000;

// The process-wide field reader: the selected channel and the one buffer every field goes into.
struct FieldReader {
    int channel = NO_CHANNEL;
    std::array<std::uint8_t, MAX_FIELD_LENGTH + 1> text{};
};
FieldReader fieldReader;

// Bytes that end a run of ordinary field bytes, inside quotes and outside them.
constexpr auto makeStopTable(std::uint8_t delimiter) {
    std::array<bool, 256> table{};
    table[delimiter] = true;
    table[CR] = true;
    table[LF] = true;
    return table;
}
constexpr auto QUOTED_STOPS = makeStopTable(QUOTE);
constexpr auto UNQUOTED_STOPS = makeStopTable(COMMA);

// The field being read: where its bytes go, and how many are stored.
struct FieldText {
    std::uint8_t* bytes;
    std::size_t stored = 0;

    void store(std::uint8_t byte) {
        if (stored < MAX_FIELD_LENGTH) {
            bytes[stored++] = byte;
        }
    }
    // Copies a run of bytes; whatever would pass MAX_FIELD_LENGTH is dropped.
    void storeRun(const std::uint8_t* run, std::size_t count) {
        const std::size_t room = MAX_FIELD_LENGTH - stored;
        const std::size_t kept = std::min(count, room);
        std::memcpy(bytes + stored, run, kept);
        stored += kept;
    }
};

void pushBackOne(FileChannel& channel, int byte) {
    channel.pushedBack[channel.pushedCount++] = static_cast<std::uint8_t>(byte);
}

// After a CR that ends a field: an LF right after it belongs to the same line end.
void finishCarriageReturn(FileChannel& channel) {
    const int next = takeByte(channel);
    if (next >= 0 && next != LF) {
        pushBackOne(channel, next);
    }
}

// After the closing quote, with the byte that followed it: spaces and tabs are passed over, one
// separator or line end is consumed, and anything else is left for the next field.
void finishQuotedField(FileChannel& channel, int byte) {
    while (byte == SPACE || byte == TAB) {
        byte = takeByte(channel);
    }
    if (byte < 0 || byte == LF || byte == COMMA) {
        return;
    }
    if (byte == CR) {
        finishCarriageReturn(channel);
        return;
    }
    pushBackOne(channel, byte);
}

// Takes the ordinary bytes that follow straight out of the channel's buffer.
void storeBufferedRun(FileChannel& channel, FieldText& field, const std::array<bool, 256>& stops) {
    if (channel.pushedCount != 0) {
        return;
    }
    ChannelStream& stream = channel.stream;
    const std::uint8_t* start = stream.readPosition;
    const std::uint8_t* end = stream.readEnd;
    const std::uint8_t* p = start;
    while (p != end && !stops[*p]) {
        ++p;
    }
    field.storeRun(start, static_cast<std::size_t>(p - start));
    stream.readPosition += p - start;
}

std::size_t readField(FileChannel& channel, std::uint8_t* bytes) {
    FieldText field{bytes};
    int byte = takeByte(channel);
    while (byte == SPACE || byte == TAB || byte == CR || byte == LF) {
        byte = takeByte(channel);
    }
    if (byte < 0) {
        return 0;
    }
    const bool quoted = byte == QUOTE;
    if (quoted) {
        byte = takeByte(channel);
    }
    const std::array<bool, 256>& stops = quoted ? QUOTED_STOPS : UNQUOTED_STOPS;
    while (byte >= 0) {
        if (quoted && byte == QUOTE) {
            byte = takeByte(channel);
            if (byte == QUOTE) { // a doubled quote stands for one quote of the text
                field.store(QUOTE);
                byte = takeByte(channel);
                continue;
            }
            finishQuotedField(channel, byte);
            break;
        }
        if (byte == LF || (!quoted && byte == COMMA)) {
            break;
        }
        if (byte == CR) {
            finishCarriageReturn(channel);
            break;
        }
        field.store(static_cast<std::uint8_t>(byte));
        storeBufferedRun(channel, field, stops);
        byte = takeByte(channel);
    }
    // The text ends at its first NUL byte, if it has one.
    const void* nul = std::memchr(bytes, 0, field.stored);
    return nul != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes)
                          : field.stored;
}

void writeText(int channel, std::string_view text) {
    writeBytes(channel, text);
}

} // namespace

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
    std::size_t length = 0;
    if (FileChannel* channel = openChannelSlot(fieldReader.channel)) {
        length = readField(*channel, fieldReader.text.data());
    }
    setErrorCode(ERR_NONE);
    return {reinterpret_cast<const char*>(fieldReader.text.data()), length};
}

void readRecord(int channel, KnowledgeRecord& record) {
    beginRead(channel);
    record.key.assign(readTextField());
    record.reply.assign(readTextField());
    record.extra.assign(readTextField());
}

void resetFieldReader() { fieldReader.channel = NO_CHANNEL; }

} // namespace ulo
