// The knowledge-file reader on arbitrary bytes, and the writer's records read back after them.
//
// Any bytes read as records of at most MAX_FIELD_LENGTH bytes a field, each from its own line,
// in order, and the reading ends. A record that the writer appends after any bytes and a line end
// reads back exactly: damage stays inside its own lines.
#include "conversation/knowledge_file.hpp"
#include "files/channels.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

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
    check(ulo::openChannel("r.dat", ulo::OpenMode::WriteAppend, ulo::AccessMode::Unspecified, 0,
                           2, 0) == ulo::ERR_NONE,
          "append open");
    ulo::writeRecord(2, ulo::KnowledgeRecord{key, reply, extra});
    ulo::closeChannel(2);
    const auto fileSize = static_cast<std::int64_t>(std::filesystem::file_size("r.dat"));

    ulo::resetFieldReader();
    check(ulo::openChannel("r.dat", ulo::OpenMode::ReadExisting, ulo::AccessMode::Unspecified, 0,
                           1, 0) == ulo::ERR_NONE,
          "read open");
    ulo::KnowledgeRecord record;
    std::int64_t lineEnd = 0;
    std::int64_t records = 0;
    do {
        ulo::readRecord(1, record);
        const ulo::RecordLine line = ulo::lastRecordLine();
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
    return 0;
}
