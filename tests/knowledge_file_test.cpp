#include "conversation/knowledge_file.hpp"
#include "files/channels.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace ulo {
namespace {

using testing::fromHex;
using testing::readFile;
using testing::writeFile;

struct Record {
    std::string key, reply, extra;
    bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "(" << ::testing::PrintToString(r.key) << ", "
               << ::testing::PrintToString(r.reply) << ", " << ::testing::PrintToString(r.extra)
               << ")";
}

// Bytes of a file, and the records read from them.
struct Case {
    std::string bytes;
    std::vector<Record> records;
};

class KnowledgeFile : public ::testing::Test {
protected:
    void SetUp() override {
        resetChannelTable();
        resetFieldReader();
    }
    void TearDown() override { closeChannel(0); }

    static void write(const std::vector<Record>& records) {
        ASSERT_EQ(openChannel("k.dat", OpenMode::WriteNew, AccessMode::Unspecified, 0, 2, 0),
                  ERR_NONE);
        for (const Record& r : records) {
            writeRecord(2, KnowledgeRecord{r.key, r.reply, r.extra});
        }
        closeChannel(2);
    }

    // Reads records the way the engine does: a record, then the end-of-file test.
    static std::vector<Record> readAll(std::string_view bytes) {
        writeFile("r.dat", bytes);
        openChannel("r.dat", OpenMode::ReadExisting, AccessMode::Unspecified, 0, 1, 0);
        std::vector<Record> records;
        KnowledgeRecord record;
        do {
            readRecord(1, record);
            records.push_back(
                {std::string(record.key), std::string(record.reply), std::string(record.extra)});
        } while (atEndOfFile(1) == 0 && records.size() < 10000);
        closeChannel(1);
        return records;
    }

    testing::TemporaryDirectory directory;
};

TEST_F(KnowledgeFile, WriterProducesTheExactBytes) {
    write({{"hi", "hello", "greetings"}});
    const std::string seed = readFile("k.dat");
    EXPECT_EQ(seed, fromHex("22 68 69 22 2C 22 68 65 6C 6C 6F 22 2C 22 67 72 65 65 74 69 6E 67 73 "
                            "22 0D 0A"));
    EXPECT_EQ(seed.size(), 26u);
    write({{"hi", "hello", "greetings"}, {"hello", "&&$&&", "&&$&&"}});
    EXPECT_EQ(readFile("k.dat"),
              seed + fromHex("22 68 65 6C 6C 6F 22 2C 22 26 26 24 26 26 22 2C 22 26 26 24 26 26 22 "
                             "0D 0A"));
    EXPECT_EQ(readAll(readFile("k.dat")),
              (std::vector<Record>{{"hi", "hello", "greetings"}, {"hello", "&&$&&", "&&$&&"}}));
}

TEST_F(KnowledgeFile, TextsSurviveAWriteAndARead) {
    const std::vector<std::string> texts = {
        "a,b",
        " x ",
        "",
        "a\"b",
        "\"",
        "\"\"",
        "say \"hi\", then go",
        " \t inside \t",
        std::string("\xff\x82\x01", 3),
        std::string(MAX_FIELD_LENGTH, 'A'),
        std::string(MAX_FIELD_LENGTH - 1, 'q') + "\"",
    };
    for (const std::string& text : texts) {
        // Each text as key, with single-byte reply and extra, followed by one more record that
        // must stay aligned.
        write({{text, "r", "m"}, {"next", text, ""}, {"x", "y", text}});
        EXPECT_EQ(readAll(readFile("k.dat")),
                  (std::vector<Record>{{text, "r", "m"}, {"next", text, ""}, {"x", "y", text}}))
            << ::testing::PrintToString(text);
    }
    write({{"a\"b", "r", "m"}});
    EXPECT_EQ(readFile("k.dat"), fromHex("22 61 22 22 62 22 2C 22 72 22 2C 22 6D 22 0D 0A"));
}

TEST_F(KnowledgeFile, OverlongFieldsAreCutAndTheRestPassedOver) {
    // Written by hand, as a writer without a length limit would have.
    const std::string longText(MAX_FIELD_LENGTH + 904, 'A');
    const std::string file = "\"" + longText + "\",\"r\",\"m\"\r\n\"k2\",\"r2\",\"m2\"\r\n";
    EXPECT_EQ(readAll(file), (std::vector<Record>{{longText.substr(0, MAX_FIELD_LENGTH), "r", "m"},
                                                  {"k2", "r2", "m2"}}));
    // Unquoted too.
    EXPECT_EQ(readAll(longText + ",r,m\r\n"),
              (std::vector<Record>{{longText.substr(0, MAX_FIELD_LENGTH), "r", "m"}}));
}

// A field longer than MAX_FIELD_LENGTH whose bytes run across a refill of the channel's buffer,
// starting at several places before the refill: the field is cut to its first
// MAX_FIELD_LENGTH bytes and the records after it stay in place.
TEST_F(KnowledgeFile, LongFieldsAcrossABufferRefill) {
    std::string longText;
    for (std::size_t i = 0; i < MAX_FIELD_LENGTH + 1000; ++i) {
        longText.push_back(static_cast<char>('a' + i % 26));
    }
    const Record filler{"x", "y", "z"}; // 13 bytes as a line
    for (const std::size_t before : {1, 2, 31, 100, 4095, 4096, 4097, 5000}) {
        for (const bool quoted : {true, false}) {
            // The long field's first byte stands `before` bytes before the end of the first
            // buffer; one short line of `adjust` bytes (9 to 21) puts it there exactly.
            const std::size_t prefix = FILE_BUFFER_SIZE - before - (quoted ? 1 : 0);
            const std::size_t lines = (prefix - 9) / 13;
            const std::size_t adjust = prefix - 13 * lines;
            std::string file;
            std::vector<Record> expected;
            for (std::size_t i = 0; i < lines; ++i) {
                file += "\"x\",\"y\",\"z\"\r\n";
                expected.push_back(filler);
            }
            file += "\"" + std::string(adjust - 8, 'p') + "\",1,2\r\n";
            expected.push_back({std::string(adjust - 8, 'p'), "1", "2"});
            ASSERT_EQ(file.size(), prefix);
            file += quoted ? "\"" + longText + "\",\"r\",\"e\"\r\n" : longText + ",r,e\r\n";
            file += "\"k2\",\"r2\",\"e2\"\r\n";
            expected.push_back({longText.substr(0, MAX_FIELD_LENGTH), "r", "e"});
            expected.push_back({"k2", "r2", "e2"});
            EXPECT_EQ(readAll(file), expected) << before << " bytes before the refill";
        }
    }
}

TEST_F(KnowledgeFile, ReadsFilesTheWriterDidNotProduce) {
    const std::string seed = fromHex("22 68 69 22 2C 22 68 65 6C 6C 6F 22 2C 22 67 72 65 65 74 69 "
                                     "6E 67 73 22 0D 0A");
    const Record seedRecord{"hi", "hello", "greetings"};
    const std::vector<Case> cases = {
        // A record ends with its line: missing fields are empty.
        {"hi,hello\r\ngreet\r\n", {{"hi", "hello", ""}, {"greet", "", ""}}},
        {"  a , b ,c  \r\n", {{"a ", "b ", "c  "}}},
        {"a,,b\r\n", {{"a", "", "b"}}},
        {"\"a,b\"  ,  \"c d\" ,e\r\n", {{"a,b", "c d", "e"}}},
        // A line end inside quotes ends the field and the record.
        {"\"a\r\nb\",\"c\",\"d\"\r\n", {{"a", "", ""}, {"b\"", "c", "d"}}},
        // Blank lines are no records, at the end and between records.
        {seed + "\r\n", {seedRecord}},
        {"\r\n\r\n" + seed + "  \r\n\t\n\r\n" + seed + "   ", {seedRecord, seedRecord}},
        {seed.substr(0, seed.size() - 2), {seedRecord}},
        {seed.substr(0, seed.size() - 1), {seedRecord}},
        {seed.substr(0, seed.size() - 2) + "\r", {seedRecord}},
        {"", {{"", "", ""}}},
        // A lone LF ends lines as well, blank lines and indentation are passed over.
        {"a,b,c\n\n   \td,e,f\n", {{"a", "b", "c"}, {"d", "e", "f"}}},
        // A lone CR ends a line too.
        {"a\rb,c\r", {{"a", "", ""}, {"b", "c", ""}}},
        // The text ends at its first NUL byte.
        {std::string("\"ab\0cd\",x,y\r\n", 13), {{"ab", "x", "y"}}},
        // A quote inside an unquoted field is an ordinary byte; 0x1A is an ordinary byte.
        {"a\"b,\x1a,c\r\n", {{"a\"b", "\x1a", "c"}}},
        // An unterminated quoted field ends with the data.
        {"\"abc", {{"abc", "", ""}}},
        // After a closing quote anything but a separator is left for the next field; fields
        // after the third are not part of the record.
        {"\"a\"b,c,d\r\n", {{"a", "b", "c"}}},
        {"a,b,c,d,e\r\nf,g,h\r\n", {{"a", "b", "c"}, {"f", "g", "h"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readAll(c.bytes), c.records) << ::testing::PrintToString(c.bytes);
    }
}

// A line cut short, whatever its last byte and its line end, is one record with the fields it
// has; the whole record on the next line reads unchanged.
TEST_F(KnowledgeFile, ShortDamagedLinesLeaveTheNextRecordWhole) {
    const std::vector<Case> shapes = {
        {"\"a\",", {{"a", "", ""}}},          // ends after a separator
        {"\"a\",\"b\",", {{"a", "b", ""}}},   // after the second separator
        {"a,", {{"a", "", ""}}},              // after an unquoted field's separator
        {"\"a\"", {{"a", "", ""}}},           // after one field
        {"\"a\",\"b\"", {{"a", "b", ""}}},    // after two
        {"\"", {{"", "", ""}}},               // after an opening quote
        {"\"a\",\"", {{"a", "", ""}}},        // after the second field's opening quote
        {"\"a\",\"b\",\"", {{"a", "b", ""}}}, // after the third's
        {",", {{"", "", ""}}},                // only separators
        {",,", {{"", "", ""}}},
        {",,,,", {{"", "", ""}}},
    };
    const Record whole{"key", "reply", "extra"};
    for (const Case& shape : shapes) {
        for (const std::string lineEnd : {"\r\n", "\n", "\r"}) {
            const std::string bytes = shape.bytes + lineEnd + "\"key\",\"reply\",\"extra\"\r\n";
            EXPECT_EQ(readAll(bytes), (std::vector<Record>{shape.records[0], whole}))
                << ::testing::PrintToString(bytes);
        }
    }
}

TEST_F(KnowledgeFile, FieldReaderSelection) {
    writeFile("a.dat", "one,two\r\n");
    // Nothing selected at start: fields are empty.
    EXPECT_EQ(readTextField(), "");
    ASSERT_EQ(openChannel("a.dat", OpenMode::ReadExisting, AccessMode::Unspecified, 0, 1, 0),
              ERR_NONE);
    EXPECT_EQ(beginRead(1), ERR_NONE);
    EXPECT_EQ(readTextField(), "one");
    // A failed selection keeps the previous one.
    EXPECT_EQ(beginRead(5), ERR_ILLEGAL_FUNCTION_CALL);
    EXPECT_EQ(readTextField(), "two");
    EXPECT_EQ(lastErrorCode(), ERR_NONE);
    // A closed selected channel reads as the end; reopened, it reads the new file.
    closeChannel(1);
    EXPECT_EQ(readTextField(), "");
    writeFile("b.dat", "three");
    openChannel("b.dat", OpenMode::ReadExisting, AccessMode::Unspecified, 0, 1, 0);
    EXPECT_EQ(readTextField(), "three");
}

TEST_F(KnowledgeFile, WritesToAClosedChannelRecordTheError) {
    writeTextField(4, "x", FieldEnd::RecordEnd);
    EXPECT_EQ(lastErrorCode(), ERR_ILLEGAL_FUNCTION_CALL);
    KnowledgeRecord record{"k", "r", "e"};
    readRecord(4, record); // reading a closed channel gives three empty texts
    EXPECT_TRUE(record.key.empty() && record.reply.empty() && record.extra.empty());
}

} // namespace
} // namespace ulo
