// The knowledge-file reader on arbitrary bytes, and the writer's records read back after them.
//
// Any bytes read as records of at most MAX_FIELD_LENGTH bytes a field, each from its own line,
// in order, and the reading ends. A record that the writer appends after any bytes and a line end
// reads back exactly: damage stays inside its own lines. Searching for a record by its key or its
// reply finds what reading record by record finds, after as many records.
#include "conversation/knowledge_file.hpp"
#include "conversation/record_search.hpp"
#include "files/channels.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::filesystem::path folder;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "knowledge file: %s\n", what);
        std::abort();
    }
}

void writeBytes(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

// A text as a user can type it: bytes 0x20 to 0xFF, at most MAX_FIELD_LENGTH of them.
std::string typedText(FuzzedDataProvider& data) {
    std::string text = data.ConsumeRandomLengthString(ulo::MAX_FIELD_LENGTH);
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return text;
}

struct ReadRecord {
    std::string key, reply;
    ulo::RecordLine line;
};

// The search for `wanted` as `field` on r.dat against the records read one by one.
void checkSearch(const std::vector<ReadRecord>& records, ulo::RecordField field,
                 const std::string& wanted) {
    std::size_t match = 0;
    while (match < records.size() &&
           (field == ulo::RecordField::Key ? records[match].key : records[match].reply) != wanted) {
        ++match;
    }
    check(ulo::openChannel("r.dat", ulo::OpenMode::ReadExisting, ulo::AccessMode::Unspecified, 0, 1,
                           0) == ulo::ERR_NONE,
          "search open");
    ulo::KnowledgeRecord record;
    const ulo::RecordSearch search = ulo::searchRecords(1, field, wanted, record);
    ulo::closeChannel(1);
    check(search.found == (match < records.size()), "the search finds what reading finds");
    check(search.recordsExamined == static_cast<std::int64_t>(std::min(match + 1, records.size())),
          "the search examines as many records as reading");
    if (search.found) {
        const ulo::RecordLine line = ulo::lastRecordLine();
        check(record.key == records[match].key && record.reply == records[match].reply &&
                  line.start == records[match].line.start && line.end == records[match].line.end,
              "the search finds the record reading finds");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Memory-backed where there is such a folder: the target writes and reads a file per input.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "ulo-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    folder = pattern;
    std::filesystem::current_path(folder);
    std::atexit(removeFolder);
    ulo::resetChannelTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string junk = data.ConsumeRandomLengthString(size);
    const std::string key = typedText(data);
    const std::string reply = typedText(data);
    const std::string extra = typedText(data);

    // The writer's record after the arbitrary bytes.
    writeBytes("r.dat", junk + "\r\n");
    check(ulo::openChannel("r.dat", ulo::OpenMode::WriteAppend, ulo::AccessMode::Unspecified, 0, 2,
                           0) == ulo::ERR_NONE,
          "append open");
    ulo::writeRecord(2, ulo::KnowledgeRecord{key, reply, extra});
    ulo::closeChannel(2);
    const auto fileSize = static_cast<std::int64_t>(std::filesystem::file_size("r.dat"));

    ulo::resetFieldReader();
    check(ulo::openChannel("r.dat", ulo::OpenMode::ReadExisting, ulo::AccessMode::Unspecified, 0, 1,
                           0) == ulo::ERR_NONE,
          "read open");
    ulo::KnowledgeRecord record;
    std::int64_t lineEnd = 0;
    std::int64_t records = 0;
    std::vector<ReadRecord> read;
    do {
        ulo::readRecord(1, record);
        const ulo::RecordLine line = ulo::lastRecordLine();
        read.push_back({std::string(record.key), std::string(record.reply), line});
        check(line.start >= lineEnd && line.start <= line.end && line.end <= fileSize,
              "record lines in order");
        check(record.key.size() <= ulo::MAX_FIELD_LENGTH &&
                  record.reply.size() <= ulo::MAX_FIELD_LENGTH &&
                  record.extra.size() <= ulo::MAX_FIELD_LENGTH,
              "field length");
        lineEnd = line.end;
        check(++records <= fileSize + 1, "reading ends");
    } while (ulo::atEndOfFile(1) == 0);
    ulo::closeChannel(1);
    check(lineEnd == fileSize, "the last record ends the file");
    check(record.key == key && record.reply == reply && record.extra == extra,
          "the written record reads back");

    checkSearch(read, ulo::RecordField::Key, key);
    checkSearch(read, ulo::RecordField::Key, read.front().key);
    checkSearch(read, ulo::RecordField::Key, read[read.size() / 2].key);
    checkSearch(read, ulo::RecordField::Reply, std::string(ulo::UNKNOWN_REPLY_MARKER));
    checkSearch(read, ulo::RecordField::Reply, reply);
    return 0;
}
