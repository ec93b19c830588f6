// Shared pieces of the tests: a private working directory, file helpers, a scripted random
// source and an in-memory console. A test program that links them fails when one of its tests
// leaves data.dat or temp.dat in the directory it was started in.
#pragma once

#include "console/console_hooks.hpp"
#include "runtime/random.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::testing {

// What Ulo says when it has no learned reply, and after it was taught one: the lines a test of the
// whole program expects to see.
inline const std::array<std::string, 6> FALLBACK_REPLIES = {"I don't know.",
                                                            "I'm not sure.",
                                                            "I don't understand.",
                                                            "No clue what you're talking about.",
                                                            "No idea.",
                                                            "I don't know how to respond to that."};
inline const std::array<std::string, 4> ACKNOWLEDGEMENT_LINES = {"Interesting.", "Okay.", "I see.",
                                                                 "Really."};

template <typename Texts>
bool isOneOf(const std::string& text, const Texts& texts) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Makes a fresh directory, makes it the working directory, and removes it again at the end.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// Sets the environment variable `name` to `value`, or removes it when `value` is null.
void setEnvironment(const char* name, const char* value);

// True when `path` opens for writing although its permissions say it should not (a test running
// with the power to write anything: as root on Linux, or under Wine, which lets root do so).
bool writableAnyway(const std::filesystem::path& path);

// Runs `body`, a test of what read-only files and folders do, where their permissions bind: as
// is for a user without the power to write anything; as root, in a child process that becomes
// the system user nobody, with the working directory handed over to it. The child's failures are
// this test's; a body that skips there fails. (Windows has no such user: there `body` runs as is,
// and skips where it finds that it can write anything.)
void runWherePermissionsBind(const std::function<void()>& body);

// The directory that a death test's dying statement should work in: the test's own. On Windows
// the statement runs in a new process that starts the test again with a temporary directory of
// its own, so the first process hands its directory down through the environment.
class DeathTestDirectory {
public:
    explicit DeathTestDirectory(const TemporaryDirectory& own);
    ~DeathTestDirectory();
    DeathTestDirectory(const DeathTestDirectory&) = delete;
    DeathTestDirectory& operator=(const DeathTestDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool handedDown_ = false;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// Bytes from a hex text such as "22 68 69"; spaces are ignored.
std::string fromHex(std::string_view hex);
// One knowledge-file line as Ulo writes it: three quoted fields and CR LF. The texts are taken
// as they are (no quote doubled).
std::string record(std::string_view key, std::string_view reply, std::string_view extra = "&&$&&");

// Hands out the integers it was given as the random source's values and counts the draws.
// Running out of values fails the test.
class ScriptedRandom {
public:
    explicit ScriptedRandom(std::vector<std::int32_t> values = {});
    ~ScriptedRandom();
    void append(std::vector<std::int32_t> values);
    std::size_t draws() const { return draws_; }
    std::size_t remaining() const { return values_.size(); }

private:
    static void seed(void*, std::int32_t) {}
    static std::int32_t next(void* context);
    std::deque<std::int32_t> values_;
    std::size_t draws_ = 0;
    RandomSource previous_;
};

// k values that make a roll with `outcomes` outcomes come out as `result`.
std::int32_t kForRoll(int outcomes, int result);

// The lines of `text`, each ended by LF, and the unfinished last one if any.
std::vector<std::string> splitLines(const std::string& text);

// An in-memory console installed into the console hooks: lines to type, and the screen as plain
// text lines (CR ignored, LF ends a line). Input running out reads as the end of input.
class ScriptedConsole {
public:
    ScriptedConsole();
    ~ScriptedConsole();
    void type(std::vector<std::string> lines);
    // Runs `action` once, when the program asks for a line after `linesFromNow` more lines were
    // read, before that line is handed out: what happens while the user thinks.
    void whileWaiting(std::size_t linesFromNow, std::function<void()> action);
    // Every finished line printed so far, and the unfinished one if any.
    std::vector<std::string> lines() const;
    const std::string& output() const;
    std::size_t linesRead() const;
};

} // namespace ulo::testing
