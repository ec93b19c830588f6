// Runs a program as a child process with pipes on its standard input and output, for the tests
// that talk to the built program the way a script would.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ulo::testing {

class ChildProcess {
public:
    // Starts `program` with `arguments` in `directory`, with the test's own environment less
    // what would give it a window (DISPLAY, WAYLAND_DISPLAY, SDL_VIDEODRIVER, VXGFX), so that it
    // talks through its console; `environment` entries (NAME=value) are added to that.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& directory, const std::vector<std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void write(const std::string& bytes);
    void closeInput();
    // Closes the reading end of the child's output, as a reader that exits does: the child's
    // next write finds no reader.
    void closeOutput();
    // The next line of standard output without its LF; nothing if none came within `timeout`
    // or the output ended.
    std::optional<std::string>
    readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything the child writes until it closes its output.
    std::string readAll(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits for the end of the child and returns its exit code (-1 for a signal or a time-out).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void signal(int number);

private:
    bool fill(std::chrono::milliseconds timeout);
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    bool ended_ = false;
    std::optional<int> status_;
};

// Runs `program` to its end with `input` on standard input; returns its output and exit code.
struct RunResult {
    std::string output;
    int exitCode;
};
RunResult runWithInput(const std::string& program, const std::string& directory,
                       const std::string& input, const std::vector<std::string>& environment = {});

} // namespace ulo::testing
