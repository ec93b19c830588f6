// Builds a knowledge file of many records (1,000,000 by default, about 40 MB), then times
// `wc -l` over it and one turn of the real program with a sentence it does not know (a scan of
// the whole file and an append), and prints both, their ratio and the program's peak memory.
//
//   ulo_turn_bench [records]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run {
    double seconds;
    long peakKilobytes;
    std::string output;
};

// Runs `argv` in `directory` with `input` on standard input.
Run run(const std::vector<std::string>& argv, const std::filesystem::path& directory,
        const std::string& input) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::close(in[1]);
        ::close(out[0]);
        if (::chdir(directory.c_str()) != 0) {
            ::_exit(126);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (::write(in[1], input.data(), input.size()) < 0) {
        std::perror("write");
    }
    ::close(in[1]);
    Run result{};
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) > 0;) {
        result.output.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakKilobytes = usage.ru_maxrss;
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    char pattern[] = "/tmp/ulo-turn-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path directory = pattern;
    {
        std::ofstream file(directory / "data.dat", std::ios::binary);
        for (long i = 0; i < records; ++i) {
            file << "\"what about " << i << "\",\"it is " << i << "\",\"&&$&&\"\r\n";
        }
    }
    const auto bytes = std::filesystem::file_size(directory / "data.dat");
    std::printf("knowledge file: %ld records, %.1f MB\n", records,
                static_cast<double>(bytes) / 1e6);

    // Warm the page cache, then time each side several times.
    run({"wc", "-l", "data.dat"}, directory, "");
    std::vector<double> wcTimes;
    for (int i = 0; i < 11; ++i) {
        wcTimes.push_back(run({"wc", "-l", "data.dat"}, directory, "").seconds);
    }
    // A turn whose roll asks for teaching also copies the file before asking its question; such
    // runs are told apart by their output (the question is one more line) and left out.
    std::vector<double> turnTimes;
    long peak = 0;
    int taughtRuns = 0;
    for (int i = 0; turnTimes.size() < 11 && i < 80; ++i) {
        const std::string sentence = "a sentence never seen " + std::to_string(i);
        const Run turn = run({ULO_BINARY}, directory, sentence + "\n");
        peak = std::max(peak, turn.peakKilobytes);
        const auto lines = std::count(turn.output.begin(), turn.output.end(), '\n');
        if (lines == 4) { // banner, empty line, echo, reply
            turnTimes.push_back(turn.seconds);
        } else {
            ++taughtRuns;
        }
    }
    const double wc = median(wcTimes);
    const double turn = median(turnTimes);
    std::printf("wc -l:            %8.2f ms median, %8.2f ms fastest of %zu\n", wc * 1e3,
                fastest(wcTimes) * 1e3, wcTimes.size());
    std::printf("turn, unknown:    %8.2f ms median, %8.2f ms fastest of %zu"
                " (%d runs with teaching left out)\n",
                turn * 1e3, fastest(turnTimes) * 1e3, turnTimes.size(), taughtRuns);
    std::printf("ratio turn / wc:  %8.2f of the medians, %.2f of the fastest (goal: at most 5)\n",
                turn / wc, fastest(turnTimes) / fastest(wcTimes));
    std::printf("peak memory:      %8.2f MiB (goal: under 8)\n", static_cast<double>(peak) / 1024);
    std::filesystem::remove_all(directory);
    return 0;
}
