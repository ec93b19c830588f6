#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace ulo::testing {
namespace {

// Fails the test program when a test left a knowledge file in the directory the program started
// in (the build tree, or the source tree when run from there): every test that runs Ulo or opens
// its files does so in a TemporaryDirectory of its own.
class NoKnowledgeFileLeftBehind : public ::testing::Environment {
public:
    void SetUp() override {
        start_ = std::filesystem::current_path();
        for (const char* name : KNOWLEDGE_FILES) {
            if (!std::filesystem::exists(start_ / name)) {
                absent_.push_back(name);
            }
        }
    }
    void TearDown() override {
        for (const std::string& name : absent_) {
            EXPECT_FALSE(std::filesystem::exists(start_ / name))
                << "a test wrote " << name << " into " << start_;
        }
    }

private:
    static constexpr const char* KNOWLEDGE_FILES[] = {"data.dat", "temp.dat"};
    std::filesystem::path start_;
    std::vector<std::string> absent_;
};

[[maybe_unused]] const ::testing::Environment* const knowledgeFileCheck =
    ::testing::AddGlobalTestEnvironment(new NoKnowledgeFileLeftBehind);

} // namespace

TemporaryDirectory::TemporaryDirectory() : previous_(std::filesystem::current_path()) {
    // A name nobody has taken: creating the directory is the test, so two test processes can
    // never share one.
    std::random_device seed;
    std::mt19937_64 names(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "ulo-test-%016llx",
                      static_cast<unsigned long long>(names()));
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) {
            path_ = base / name;
        }
    }
    if (path_.empty()) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    std::filesystem::current_path(path_);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    // Undo permission changes that a test made, so everything can be removed.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void setEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
    ::_putenv_s(name, value != nullptr ? value : ""); // an empty value removes the variable
#else
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
#endif
}

bool writableAnyway(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

namespace {
constexpr const char* DEATH_TEST_DIRECTORY_VARIABLE = "ULO_DEATH_TEST_DIRECTORY";
}

DeathTestDirectory::DeathTestDirectory(const TemporaryDirectory& own) {
    if (const char* inherited = std::getenv(DEATH_TEST_DIRECTORY_VARIABLE)) {
        path_ = inherited;
        return;
    }
    path_ = own.path();
    setEnvironment(DEATH_TEST_DIRECTORY_VARIABLE, path_.string().c_str());
    handedDown_ = true;
}

DeathTestDirectory::~DeathTestDirectory() {
    if (handedDown_) {
        setEnvironment(DEATH_TEST_DIRECTORY_VARIABLE, nullptr);
    }
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string fromHex(std::string_view hex) {
    std::string bytes;
    int high = -1;
    for (const char c : hex) {
        if (c == ' ') {
            continue;
        }
        const int digit =
            std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

std::string record(std::string_view key, std::string_view reply, std::string_view extra) {
    std::string line = "\"";
    line.append(key).append("\",\"").append(reply).append("\",\"").append(extra).append("\"\r\n");
    return line;
}

ScriptedRandom::ScriptedRandom(std::vector<std::int32_t> values)
    : values_(values.begin(), values.end()) {
    const RandomSource source{seed, next, this};
    previous_ = useRandomSource(&source);
}

ScriptedRandom::~ScriptedRandom() {
    useRandomSource(&previous_);
}

void ScriptedRandom::append(std::vector<std::int32_t> values) {
    values_.insert(values_.end(), values.begin(), values.end());
}

std::int32_t ScriptedRandom::next(void* context) {
    auto* self = static_cast<ScriptedRandom*>(context);
    ++self->draws_;
    if (self->values_.empty()) {
        ADD_FAILURE() << "the script of random values ran out at draw " << self->draws_;
        return 0;
    }
    const std::int32_t value = self->values_.front();
    self->values_.pop_front();
    return value;
}

std::int32_t kForRoll(int outcomes, int result) {
    // The smallest k with floor(outcomes * k / 32768) + 1 == result.
    return ((result - 1) * 32768 + outcomes - 1) / outcomes;
}

namespace {

struct ConsoleScript {
    std::deque<std::string> input;
    std::string output;
    std::size_t linesRead = 0;
    std::int32_t column = 1;
    std::int32_t row = 1;
    std::function<void()> beforeLine;
    std::size_t beforeLineNumber = 0;
};
ConsoleScript script;

void scriptPrint(const std::uint8_t* bytes, std::size_t length, std::int32_t) {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] != '\r') {
            script.output.push_back(static_cast<char>(bytes[i]));
        }
    }
}

void scriptClear(std::uint32_t) {}
void scriptGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = script.column;
    *row = script.row;
}
void scriptGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    *columns = 80;
    *rows = 30;
}
std::int32_t scriptSetCursor(std::int32_t, std::int32_t, std::int32_t) {
    return 0;
}

RuntimeErrorCode scriptInputLine(const std::string_view*, std::string& destination, std::int32_t,
                                 std::int32_t, std::int32_t, std::int32_t addNewline) {
    if (script.beforeLine && script.linesRead == script.beforeLineNumber) {
        const auto action = std::move(script.beforeLine);
        script.beforeLine = nullptr;
        action();
    }
    if (script.input.empty()) {
        return ERR_INPUT_ENDED;
    }
    destination = script.input.front();
    script.input.pop_front();
    ++script.linesRead;
    script.output += destination;
    if (addNewline != 0) {
        script.output += "\n";
    }
    return ERR_NONE;
}

} // namespace

ScriptedConsole::ScriptedConsole() {
    script = ConsoleScript{};
    ConsoleHooks hooks{};
    hooks.printBuffer = scriptPrint;
    hooks.clear = scriptClear;
    hooks.getCursor = scriptGetCursor;
    hooks.getTextSize = scriptGetTextSize;
    hooks.setCursor = scriptSetCursor;
    hooks.inputLine = scriptInputLine;
    installConsoleHooks(hooks);
}

ScriptedConsole::~ScriptedConsole() {
    clearConsoleHooks();
}

void ScriptedConsole::whileWaiting(std::size_t linesFromNow, std::function<void()> action) {
    script.beforeLine = std::move(action);
    script.beforeLineNumber = script.linesRead + linesFromNow;
}

void ScriptedConsole::type(std::vector<std::string> lines) {
    script.input.insert(script.input.end(), lines.begin(), lines.end());
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

std::vector<std::string> ScriptedConsole::lines() const {
    return splitLines(script.output);
}

const std::string& ScriptedConsole::output() const {
    return script.output;
}
std::size_t ScriptedConsole::linesRead() const {
    return script.linesRead;
}

} // namespace ulo::testing
