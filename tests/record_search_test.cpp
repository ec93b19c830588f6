// The search through the knowledge file against the plain reading of its rules, byte by byte, on
// generated files of every shape: what a lookup finds and how many records it examines, and
// which record a teaching step asks about, must be the same.
#include "conversation/record_search.hpp"
#include "conversation/record_store.hpp"
#include "files/channels.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace ulo {
namespace {

using testing::writeFile;

// A record as the rules read it, and the line it stands on.
struct PlainRecord {
    std::string key, reply, extra;
    std::int64_t start = 0, end = 0;
};

// The next field of `line` from `at`: spaces and tabs before it passed over; quoted (a doubled
// quote stores one) or up to the next comma; at most MAX_FIELD_LENGTH bytes kept, the text ending
// at its first NUL. `ended` when the line ended with it.
std::string plainField(std::string_view line, std::size_t& at, bool& ended) {
    std::string stored;
    const auto store = [&stored](char byte) {
        if (stored.size() < MAX_FIELD_LENGTH) {
            stored.push_back(byte);
        }
    };
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    if (at < line.size() && line[at] == '"') {
        for (++at;; ++at) {
            if (at == line.size()) {
                ended = true;
                break;
            }
            if (line[at] != '"') {
                store(line[at]);
            } else if (at + 1 < line.size() && line[at + 1] == '"') {
                store('"');
                ++at;
            } else {
                for (++at; at < line.size() && (line[at] == ' ' || line[at] == '\t'); ++at) {
                }
                ended = at == line.size();
                at += !ended && line[at] == ',' ? 1 : 0;
                break;
            }
        }
    } else {
        for (; at < line.size() && line[at] != ','; ++at) {
            store(line[at]);
        }
        ended = at == line.size();
        ++at;
    }
    return stored.substr(0, stored.find('\0'));
}

// Every record of `bytes`: one a line that is not blank (lines end at CR LF, LF or CR).
std::vector<PlainRecord> plainRecords(std::string_view bytes) {
    std::vector<PlainRecord> records;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        std::size_t next = end;
        if (next < bytes.size()) {
            next += bytes.substr(next, 2) == "\r\n" ? 2 : 1;
        }
        const std::string_view line = bytes.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            PlainRecord record;
            std::size_t at = 0;
            bool ended = false;
            for (std::string* field : {&record.key, &record.reply, &record.extra}) {
                if (!ended) {
                    *field = plainField(line, at, ended);
                }
            }
            record.start = static_cast<std::int64_t>(start);
            record.end = static_cast<std::int64_t>(next);
            records.push_back(std::move(record));
        }
        start = next;
    }
    return records;
}

// Files of every shape, made from a few texts so that keys repeat, stand in other fields, and
// begin or end like other keys.
class FileMaker {
public:
    explicit FileMaker(std::uint32_t seed) : random_(seed) {}

    std::string text() {
        static const std::vector<std::string> pieces = {"hello",
                                                        "hello there",
                                                        "there",
                                                        "&&$&&",
                                                        "a",
                                                        "&&",
                                                        "say \"hi\"",
                                                        "x,y",
                                                        " pad ",
                                                        "\t",
                                                        "",
                                                        "\"",
                                                        "caf\xe9",
                                                        std::string("nu\0l", 4),
                                                        "what about 12",
                                                        "it is 12"};
        std::string text = pieces[pick(pieces.size())];
        if (pick(8) == 0) {
            text += pieces[pick(pieces.size())];
        }
        if (pick(60) == 0) {
            text = std::string(MAX_FIELD_LENGTH - 2 + pick(5), 'L') + text;
        }
        return text;
    }

    // One line of the file, without its line end.
    std::string line() {
        switch (pick(16)) {
        case 0: // blank
            return std::string(pick(3), pick(2) == 0 ? ' ' : '\t');
        case 1: // unquoted, spaced
            return " " + unquoted(text()) + " , " + unquoted(text()) + "," + unquoted(text());
        case 2: { // cut short after a separator, a field or an opening quote
            const std::string whole = written(text(), text(), text());
            return whole.substr(0, pick(whole.size() + 1));
        }
        case 3: // fields beyond the third, or a stray quote
            return written(text(), text(), text()) + (pick(2) == 0 ? ",\"more\"" : "x\"y");
        case 4: // separators only
            return std::string(1 + pick(4), ',');
        case 5: // a line longer than the channel's buffer, beginning with spaces or a field
            if (pick(6) == 0) {
                const std::string filler(FILE_BUFFER_SIZE + pick(3000), pick(2) ? ' ' : 'w');
                return pick(2) ? filler + written(text(), "&&$&&", text())
                               : "\"" + filler + "\"," + written(text(), "&&$&&", text());
            }
            [[fallthrough]];
        default:
            return written(text(), pick(3) == 0 ? "&&$&&" : text(), text());
        }
    }

    std::string file() {
        static const char* const LINE_ENDS[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
        std::string bytes;
        const std::size_t size = 1000 + pick(3 * FILE_BUFFER_SIZE);
        while (bytes.size() < size) {
            bytes += line();
            bytes += LINE_ENDS[pick(5)];
        }
        if (pick(2) == 0) { // a last line without its line end
            bytes += line();
        }
        return bytes;
    }

    std::size_t pick(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
    }

private:
    static std::string unquoted(std::string text) {
        std::erase_if(text, [](char c) { return c == ',' || c == '\r' || c == '\n'; });
        return text;
    }
    static std::string quoted(const std::string& text) {
        std::string field = "\"";
        for (const char c : text) {
            field += c == '"' ? "\"\"" : std::string(1, c);
        }
        return field + "\"";
    }
    static std::string written(const std::string& key, const std::string& reply,
                               const std::string& extra) {
        return quoted(key) + "," + quoted(reply) + "," + quoted(extra);
    }

    std::mt19937 random_;
};

std::string show(std::string_view text) {
    return ::testing::PrintToString(std::string(text.substr(0, 60)));
}

// Writes `bytes` as data.dat and checks that reading record by record, looking up each of
// `sentences` and finding the oldest unknown record give what the plain reading gives.
void expectThePlainReading(const std::string& bytes, std::vector<std::string> sentences,
                           const std::string& context) {
    writeFile("data.dat", bytes);
    const std::vector<PlainRecord> records = plainRecords(bytes);
    startRecordStore();
    openChannel("data.dat", OpenMode::ReadExisting, AccessMode::Unspecified, 0, 1, 0);
    for (const PlainRecord& plain : records) {
        KnowledgeRecord read;
        readRecord(1, read);
        const RecordLine line = lastRecordLine();
        ASSERT_TRUE(read.key == plain.key && read.reply == plain.reply &&
                    read.extra == plain.extra && line.start == plain.start && line.end == plain.end)
            << context << ", line at " << plain.start << ": " << show(plain.key);
    }
    EXPECT_NE(atEndOfFile(1), 0) << context;
    closeChannel(1);
    // The keys of the last record and of records on lines longer than the buffer, besides those
    // asked for.
    for (const PlainRecord& record : records) {
        if (record.end - record.start > static_cast<std::int64_t>(FILE_BUFFER_SIZE) ||
            &record == &records.back()) {
            sentences.push_back(record.key);
        }
    }
    for (const std::string& sentence : sentences) {
        std::size_t match = 0;
        while (match < records.size() && records[match].key != sentence) {
            ++match;
        }
        KnowledgeRecord record;
        const Lookup found = lookUpSentence(sentence, record);
        ASSERT_EQ(found.matched, match < records.size() || (records.empty() && sentence.empty()))
            << context << ", " << show(sentence);
        ASSERT_EQ(
            found.recordsExamined,
            static_cast<std::int64_t>(records.empty() ? 1 : std::min(match + 1, records.size())))
            << context << ", " << show(sentence);
        if (match < records.size()) {
            EXPECT_EQ(found.lastRecord, match + 1 == records.size()) << context;
            EXPECT_TRUE(record.reply == records[match].reply &&
                        record.extra == records[match].extra)
                << context << ", " << show(sentence);
        }
    }
    std::size_t unknown = 0;
    while (unknown < records.size() && records[unknown].reply != UNKNOWN_REPLY_MARKER) {
        ++unknown;
    }
    KnowledgeRecord record;
    AskedRecord asked;
    ASSERT_EQ(findOldestUnknownRecord(record, asked), unknown < records.size()) << context;
    if (unknown < records.size()) {
        EXPECT_TRUE(record.key == records[unknown].key &&
                    asked.line.start == records[unknown].start &&
                    asked.line.end == records[unknown].end)
            << context << ", the unknown record on the line at " << records[unknown].start;
    }
}

// With the processor's vector units where it has them, and byte by byte.
TEST(RecordSearch, FindsWhatThePlainReadingFindsInFilesOfEveryShape) {
    testing::TemporaryDirectory directory;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        letSearchUseVectorUnits(seed % 2 == 0);
        FileMaker maker(seed);
        const std::string bytes = maker.file();
        // Keys picked at random; texts of the file that are no key; texts that can only be
        // looked for record by record (no run without quotes that is not blank).
        std::vector<std::string> sentences = {"never there", "\"", " ", "\" \t\"", "&&$&&"};
        const std::vector<PlainRecord> records = plainRecords(bytes);
        for (int i = 0; i < 20 && !records.empty(); ++i) {
            sentences.push_back(records[maker.pick(records.size())].key);
        }
        for (int i = 0; i < 8; ++i) {
            sentences.push_back(maker.text());
        }
        expectThePlainReading(bytes, sentences, "seed " + std::to_string(seed));
    }
    letSearchUseVectorUnits(true);
}

// Lines longer than the channel's buffer, beginning with spaces or with a long field, their
// record starting on every byte around the end of the first buffer.
TEST(RecordSearch, FindsWhatThePlainReadingFindsAfterLinesLongerThanTheBuffer) {
    testing::TemporaryDirectory directory;
    std::string letters;
    for (std::size_t i = 0; i < FILE_BUFFER_SIZE + 200; ++i) {
        letters.push_back(static_cast<char>('a' + i % 23));
    }
    const std::string next = "\"next\",\"&&$&&\",\"x\"\r\n";
    for (std::size_t length = FILE_BUFFER_SIZE - 80; length < FILE_BUFFER_SIZE + 80; ++length) {
        const std::string spaced = std::string(length, ' ') + "\"key\",\"&&$&&\",\"x\"\r\n";
        const std::string field = "\"" + letters.substr(0, length) + "\",\"&&$&&\",\"x\"\r\n";
        for (const std::string& line : {spaced, field}) {
            expectThePlainReading("\"a\",\"b\",\"c\"\r\n" + line + next, {"key", "next"},
                                  "line of " + std::to_string(line.size()) + " bytes");
        }
    }
}

} // namespace
} // namespace ulo
