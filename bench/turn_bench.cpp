// Turns of the real program over a large knowledge file (1,000,000 records by default, about
// 44 MB), each against a plain tool doing the same amount of file work in the same run:
//
// - a full lookup scan (the sentence of the last record) against `wc -l` of the file;
// - a turn with an unknown sentence (a full scan and an append) against `wc -l`;
// - a teaching step (the oldest unknown record is the last one, so it is searched through the
//   whole file, then the file is copied without it, synced and renamed) against
//   `dd if=data.dat of=x bs=1M conv=fsync`.
//
// Runs alternate between the program and its tool, so both meet the same load. It prints the
// medians, their ratios and the program's peak memory.
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

namespace fs = std::filesystem;

constexpr int RUNS = 11;

struct Run {
    double seconds;
    double cpuSeconds;
    long peakKilobytes;
    std::string output;
};

// Runs `argv` in `directory` with `input` on standard input.
Run run(const std::vector<std::string>& argv, const fs::path& directory, const std::string& input) {
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
    result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.peakKilobytes = usage.ru_maxrss;
    return result;
}

std::vector<std::string> lines(const std::string& output) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        result.push_back(output.substr(start, end - start));
    }
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void writeKnowledgeFile(const fs::path& path, long records, bool unknownLast) {
    std::ofstream file(path, std::ios::binary);
    for (long i = 0; i < records; ++i) {
        file << "\"what about " << i << "\",\"it is " << i << "\",\"&&$&&\"\r\n";
    }
    if (unknownLast) {
        file << "\"the unknown one\",\"&&$&&\",\"&&$&&\"\r\n";
    }
}

struct Comparison {
    std::vector<double> program, tool, programCpu, toolCpu;
};

void report(const char* name, const char* tool, const Comparison& c, double goal, int leftOut) {
    std::printf("%-17s %8.2f ms median (%.2f ms processor); %s %.2f ms (%.2f ms processor)", name,
                median(c.program) * 1e3, median(c.programCpu) * 1e3, tool, median(c.tool) * 1e3,
                median(c.toolCpu) * 1e3);
    if (leftOut > 0) {
        std::printf("; %d runs of another path left out", leftOut);
    }
    std::printf("\n%-17s %8.2f of the medians (goal: at most %.1f), %.2f of processor time\n", "",
                median(c.program) / median(c.tool), goal, median(c.programCpu) / median(c.toolCpu));
}

} // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    char pattern[] = "/tmp/ulo-turn-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const fs::path lookups = root / "lookups";
    const fs::path teaching = root / "teaching";
    fs::create_directories(lookups);
    fs::create_directories(teaching);
    writeKnowledgeFile(lookups / "data.dat", records, false);
    writeKnowledgeFile(root / "teaching.dat", records, true);
    std::printf("knowledge file: %ld records, %.1f MB\n", records,
                static_cast<double>(fs::file_size(lookups / "data.dat")) / 1e6);
    long peak = 0;
    const std::string last = "what about " + std::to_string(records - 1);

    // A full scan: the sentence of the last record, whose reply is printed and never followed
    // by teaching.
    Comparison scan;
    run({"wc", "-l", "data.dat"}, lookups, ""); // warm the page cache
    for (int i = 0; i < RUNS; ++i) {
        const Run wc = run({"wc", "-l", "data.dat"}, lookups, "");
        const Run turn = run({ULO_BINARY}, lookups, last + "\n");
        scan.tool.push_back(wc.seconds);
        scan.toolCpu.push_back(wc.cpuSeconds);
        scan.program.push_back(turn.seconds);
        scan.programCpu.push_back(turn.cpuSeconds);
        peak = std::max(peak, turn.peakKilobytes);
    }

    // An unknown sentence: a full scan and an append. Turns whose roll also asked for teaching
    // (one more line: the question) are left out.
    Comparison append;
    int appendLeftOut = 0;
    for (int i = 0; append.program.size() < RUNS && i < 8 * RUNS; ++i) {
        const Run turn =
            run({ULO_BINARY}, lookups, "a sentence never seen " + std::to_string(i) + "\n");
        peak = std::max(peak, turn.peakKilobytes);
        if (lines(turn.output).size() != 4) { // banner, empty line, echo, reply
            ++appendLeftOut;
            continue;
        }
        const Run wc = run({"wc", "-l", "data.dat"}, lookups, "");
        append.tool.push_back(wc.seconds);
        append.toolCpu.push_back(wc.cpuSeconds);
        append.program.push_back(turn.seconds);
        append.programCpu.push_back(turn.cpuSeconds);
    }

    // A teaching step after the sentence of the first record (its reply, then the question when
    // the roll asks for teaching; other runs are left out). The file is laid anew before each
    // run, outside the timing.
    Comparison teach;
    int teachLeftOut = 0;
    for (int i = 0; teach.program.size() < RUNS && i < 8 * RUNS; ++i) {
        fs::copy_file(root / "teaching.dat", teaching / "data.dat",
                      fs::copy_options::overwrite_existing);
        ::sync();
        const Run dd =
            run({"dd", "if=data.dat", "of=x", "bs=1M", "conv=fsync", "status=none"}, teaching, "");
        fs::remove(teaching / "x");
        ::sync();
        const Run turn = run({ULO_BINARY}, teaching, "what about 0\nthe answer\n");
        peak = std::max(peak, turn.peakKilobytes);
        const auto said = lines(turn.output);
        if (said.size() < 7 || said[4] != "the unknown one" || said[5] != "the answer") {
            ++teachLeftOut;
            continue;
        }
        teach.tool.push_back(dd.seconds);
        teach.toolCpu.push_back(dd.cpuSeconds);
        teach.program.push_back(turn.seconds);
        teach.programCpu.push_back(turn.cpuSeconds);
    }

    report("full lookup scan:", "wc -l", scan, 2.0, 0);
    report("unknown sentence:", "wc -l", append, 5.0, appendLeftOut);
    report("teaching step:", "dd", teach, 1.5, teachLeftOut);
    std::printf("peak memory:      %8.2f MiB (goal: under 8)\n", static_cast<double>(peak) / 1024);
    fs::remove_all(root);
    return 0;
}
