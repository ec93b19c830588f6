#include "support/child_process.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ulo::testing {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& directory,
                           const std::vector<std::string>& environment) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        // The child starts with SIGPIPE's default action, as from a shell: this process ignores
        // it for its own writes, and an ignored signal would stay ignored across the exec.
        std::signal(SIGPIPE, SIG_DFL);
        if (::chdir(directory.c_str()) != 0) {
            ::_exit(126);
        }
        for (const char* windowVariable :
             {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "VXGFX"}) {
            ::unsetenv(windowVariable);
        }
        for (const std::string& entry : environment) {
            ::putenv(const_cast<char*>(entry.c_str()));
        }
        std::vector<char*> pointers;
        for (std::string& a : argv) {
            pointers.push_back(a.data());
        }
        pointers.push_back(nullptr);
        ::execv(program.c_str(), pointers.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
    std::signal(SIGPIPE, SIG_IGN);
}

ChildProcess::~ChildProcess() {
    closeInput();
    if (output_ >= 0) {
        ::close(output_);
    }
    if (!status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

void ChildProcess::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(input_, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;
        }
        done += static_cast<std::size_t>(put);
    }
}

void ChildProcess::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

void ChildProcess::closeOutput() {
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    ended_ = true;
}

bool ChildProcess::fill(std::chrono::milliseconds timeout) {
    if (ended_) {
        return false;
    }
    pollfd entry{output_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t got = ::read(output_, chunk, sizeof chunk);
    if (got <= 0) {
        ended_ = true;
        return false;
    }
    buffered_.append(chunk, static_cast<std::size_t>(got));
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !fill(left)) {
            return std::nullopt;
        }
    }
}

std::string ChildProcess::readAll(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ended_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        fill(left);
    }
    std::string all;
    all.swap(buffered_);
    return all;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!status_) {
        int status = 0;
        const int done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        ::usleep(5000);
    }
    return *status_;
}

void ChildProcess::signal(int number) {
    ::kill(pid_, number);
}

RunResult runWithInput(const std::string& program, const std::string& directory,
                       const std::string& input, const std::vector<std::string>& environment) {
    ChildProcess child(program, {}, directory, environment);
    child.write(input);
    child.closeInput();
    RunResult result;
    result.output = child.readAll();
    result.exitCode = child.wait();
    return result;
}

} // namespace ulo::testing
