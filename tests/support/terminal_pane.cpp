#include "support/terminal_pane.hpp"

#include "support/child_process.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace ulo::testing {
namespace {

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const std::filesystem::path candidate =
            std::filesystem::path(directories.substr(start, end - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        start = end + 1;
    }
    throw std::runtime_error(name + " is not installed");
}

std::string trimRight(std::string text) {
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

} // namespace

TerminalPane::TerminalPane(const std::string& directory, int columns, int rows)
    : directory_(directory) {
    static std::atomic<int> sessions{0};
    server_ = "ulo-test-" + std::to_string(::getpid()) + "-" + std::to_string(sessions++);
    tmux({"new-session", "-d", "-s", "main", "-x", std::to_string(columns), "-y",
          std::to_string(rows), "-c", directory, "sh"});
    socket_ = tmux({"display-message", "-p", "#{socket_path}"});
    socket_.erase(socket_.find_last_not_of('\n') + 1);
    // The shell's prompt is there once the pane shows anything.
    waitFor([](const Screen& screen) { return !screen.empty() && !screen[0].empty(); });
}

TerminalPane::~TerminalPane() {
    tmux({"kill-server"});
    if (!socket_.empty()) {
        ::unlink(socket_.c_str()); // the server leaves its socket behind
    }
}

std::string TerminalPane::tmux(const std::vector<std::string>& arguments) {
    static const std::string program = findProgram("tmux");
    std::vector<std::string> all = {"-u", "-L", server_, "-f", "/dev/null"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    // A UTF-8 locale, so that the pane's characters come back as they are.
    ChildProcess child(program, all, directory_, {"LC_ALL=C.UTF-8"});
    child.closeInput();
    std::string output = child.readAll();
    child.wait();
    return output;
}

void TerminalPane::keys(const std::vector<std::string>& names) {
    std::vector<std::string> arguments = {"send-keys", "-t", "main"};
    arguments.insert(arguments.end(), names.begin(), names.end());
    tmux(arguments);
}

void TerminalPane::type(const std::string& text) {
    tmux({"send-keys", "-t", "main", "-l", text});
}

void TerminalPane::run(const std::string& commandLine) {
    type(commandLine);
    keys({"Enter"});
}

TerminalPane::Screen TerminalPane::screen() {
    const std::string text = tmux({"capture-pane", "-p", "-t", "main"});
    Screen rows;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        rows.push_back(trimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    return rows;
}

bool TerminalPane::waitFor(const std::function<bool(const Screen&)>& holds,
                           std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (holds(screen())) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool TerminalPane::waitForRow(const std::string& row) {
    return waitFor([&](const Screen& screen) {
        return std::find(screen.begin(), screen.end(), row) != screen.end();
    });
}

void TerminalPane::resize(int columns, int rows) {
    tmux(
        {"resize-window", "-t", "main", "-x", std::to_string(columns), "-y", std::to_string(rows)});
    // The server gives the pane's terminal its size a little later; the program in it learns of the
    // change then, and only keys typed after that are meant for the new size.
    std::string tty = tmux({"display-message", "-p", "-t", "main", "#{pane_tty}"});
    tty.erase(tty.find_last_not_of('\n') + 1);
    const int descriptor = ::open(tty.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        throw std::runtime_error("cannot open the pane's terminal " + tty);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    winsize size{};
    while (::ioctl(descriptor, TIOCGWINSZ, &size) == 0 &&
           (size.ws_col != columns || size.ws_row != rows) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(descriptor);
}

std::pair<int, int> TerminalPane::cursor() {
    const std::string text =
        tmux({"display-message", "-p", "-t", "main", "#{cursor_x} #{cursor_y}"});
    const std::size_t space = text.find(' ');
    return {std::atoi(text.substr(0, space).c_str()), std::atoi(text.substr(space + 1).c_str())};
}

bool TerminalPane::bellRang() {
    return tmux({"display-message", "-p", "-t", "main", "#{window_bell_flag}"}) == "1\n";
}

int TerminalPane::shellProcess() {
    return std::atoi(tmux({"display-message", "-p", "-t", "main", "#{pane_pid}"}).c_str());
}

std::string showScreen(const TerminalPane::Screen& screen) {
    std::string text;
    for (const std::string& row : screen) {
        text += "|" + row + "\n";
    }
    return text;
}

} // namespace ulo::testing
