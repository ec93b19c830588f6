// The knowledge file under real processes: the program killed at random points of its appends
// and teaching steps, and several instances sharing one folder.
#include "support/child_process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace ulo {
namespace {

using testing::ACKNOWLEDGEMENT_LINES;
using testing::ChildProcess;
using testing::FALLBACK_REPLIES;
using testing::isOneOf;
using testing::readFile;
using testing::record;
using testing::writeFile;

// A starting file: known records with some unknown ones among them.
std::string startingFile(const std::string& name, int records) {
    std::string file;
    for (int i = 0; i < records; ++i) {
        file += record(name + " " + std::to_string(i),
                       i % 97 == 5 ? "&&$&&" : "reply " + std::to_string(i));
    }
    return file;
}

// Lines that are all new sentences; each is either looked up (and stored as unknown) or taken
// as the answer to a teaching question.
std::vector<std::string> scriptLines(const std::string& name, int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(name + " line " + std::to_string(i));
    }
    return lines;
}

// What the program's output shows was stored: sentences whose fallback reply was printed (they
// were appended before it) and taught replies that were acknowledged (saved before it).
struct Stored {
    std::vector<std::string> sentences;
    std::vector<std::pair<std::string, std::string>> taught;
};

Stored readTranscript(const std::string& output, const std::vector<std::string>& script) {
    std::vector<std::string> lines; // complete lines only
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(output.substr(start, end - start));
    }
    Stored stored;
    std::size_t at = 2; // after the banner and the empty line
    std::size_t next = 0;
    while (at < lines.size() && next < script.size()) {
        EXPECT_EQ(lines[at], script[next]) << "transcript:\n" << output;
        if (lines[at] != script[next]) {
            break;
        }
        const std::string sentence = script[next++];
        if (++at == lines.size()) {
            break;
        }
        EXPECT_TRUE(isOneOf(lines[at], FALLBACK_REPLIES)) << lines[at];
        stored.sentences.push_back(sentence);
        if (++at == lines.size() || next == script.size() || lines[at] == script[next]) {
            continue;
        }
        const std::string question = lines[at]; // the key of the oldest unknown record
        if (++at == lines.size()) {
            break;
        }
        EXPECT_EQ(lines[at], script[next]);
        const std::string answer = script[next++];
        if (++at == lines.size()) {
            break;
        }
        if (isOneOf(lines[at], ACKNOWLEDGEMENT_LINES)) {
            stored.taught.emplace_back(question, answer);
        }
        ++at;
    }
    return stored;
}

// The knowledge file's lines: every line but possibly a last one without line end is a whole
// record as the writer writes it. Returns the whole lines; `torn` receives a last, damaged one.
std::vector<std::string> wholeLines(const std::string& file, std::string* torn) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = file.substr(start, end - start + 2);
        const auto quotes = std::count(line.begin(), line.end(), '"');
        EXPECT_TRUE(quotes == 6 && line.front() == '"' && line.find("\",\"") != std::string::npos)
            << "a damaged line inside the file: " << line;
        lines.push_back(line);
    }
    *torn = file.substr(start);
    return lines;
}

bool hasRecord(const std::vector<std::string>& lines, const std::string& key,
               const std::string& reply) {
    return std::find(lines.begin(), lines.end(), record(key, reply)) != lines.end();
}

bool hasKey(const std::vector<std::string>& lines, const std::string& key) {
    const std::string start = "\"" + key + "\",";
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.starts_with(start); });
}

// Nothing stored before is missing: every starting record is there (an unknown one possibly
// taught), every stored sentence is there, every acknowledged reply is there.
void expectNothingLost(const std::vector<std::string>& lines, const std::string& starting,
                       const std::vector<Stored>& stored) {
    std::string unusedTorn;
    for (const std::string& line : wholeLines(starting, &unusedTorn)) {
        const std::string key = line.substr(1, line.find('"', 1) - 1);
        if (line.find("\"&&$&&\",") != std::string::npos) {
            EXPECT_TRUE(hasKey(lines, key)) << "lost: " << key;
        } else {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "lost: " << line;
        }
    }
    for (const Stored& each : stored) {
        for (const std::string& sentence : each.sentences) {
            EXPECT_TRUE(hasKey(lines, sentence)) << "lost: " << sentence;
        }
        for (const auto& [key, reply] : each.taught) {
            EXPECT_TRUE(hasRecord(lines, key, reply))
                << "lost the reply " << reply << " to " << key;
        }
    }
}

class KnowledgeFileProcesses : public ::testing::Test {
protected:
    std::string dir() const { return directory.path().string(); }
    testing::TemporaryDirectory directory;
};

// Killed at random points, the program leaves data.dat whole: at most one damaged last line,
// and nothing that was stored before the kill is missing.
TEST_F(KnowledgeFileProcesses, KilledAtAnyPointLosesNothing) {
    const std::string starting = startingFile("known", 3000);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delay(0, 150);
    int killedWhileWriting = 0;
    std::size_t storedSentences = 0;
    std::size_t taughtReplies = 0;
    for (int round = 0; round < 30; ++round) {
        writeFile("data.dat", starting);
        std::filesystem::remove("temp.dat");
        const auto script = scriptLines("round " + std::to_string(round), 60);
        std::string input;
        for (const std::string& line : script) {
            input += line + "\n";
        }
        ChildProcess ulo(ULO_BINARY, {}, dir());
        ulo.write(input);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ulo.signal(SIGKILL);
        const std::string output = ulo.readAll();
        ulo.wait();

        ASSERT_TRUE(std::filesystem::exists("data.dat")) << "round " << round;
        std::string torn;
        const auto lines = wholeLines(readFile("data.dat"), &torn);
        killedWhileWriting += torn.empty() ? 0 : 1;
        const Stored seen = readTranscript(output, script);
        storedSentences += seen.sentences.size();
        taughtReplies += seen.taught.size();
        expectNothingLost(lines, starting, {seen});
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "round " << round << ", transcript:\n" << output;
            break;
        }
    }
    std::printf("before the kills: %zu sentences stored, %zu replies taught; %d kills tore an "
                "append\n",
                storedSentences, taughtReplies, killedWhileWriting);
}

// Several instances on one folder, each talking and teaching at once: no record is lost or torn
// and every reply that was acknowledged is kept.
TEST_F(KnowledgeFileProcesses, InstancesSharingOneFolderLoseNothing) {
    const std::string starting = startingFile("shared", 5000);
    writeFile("data.dat", starting);
    constexpr int INSTANCES = 4;
    std::vector<std::vector<std::string>> scripts;
    std::vector<std::unique_ptr<ChildProcess>> instances;
    for (int i = 0; i < INSTANCES; ++i) {
        scripts.push_back(scriptLines("instance " + std::to_string(i), 40));
        instances.push_back(
            std::make_unique<ChildProcess>(ULO_BINARY, std::vector<std::string>{}, dir()));
    }
    for (int i = 0; i < INSTANCES; ++i) {
        std::string input;
        for (const std::string& line : scripts[i]) {
            input += line + "\n";
        }
        instances[i]->write(input);
        instances[i]->closeInput();
    }
    std::vector<Stored> stored;
    std::size_t taught = 0;
    for (int i = 0; i < INSTANCES; ++i) {
        const std::string output = instances[i]->readAll(std::chrono::seconds(60));
        EXPECT_EQ(instances[i]->wait(), 0);
        stored.push_back(readTranscript(output, scripts[i]));
        taught += stored.back().taught.size();
    }
    EXPECT_GT(taught, 0u) << "no instance taught anything";
    std::printf("%zu replies taught by %d instances\n", taught, INSTANCES);
    std::string torn;
    const auto lines = wholeLines(readFile("data.dat"), &torn);
    EXPECT_EQ(torn, "");
    expectNothingLost(lines, starting, stored);
}

} // namespace
} // namespace ulo
