// Turns of the real program over a large knowledge file (1,000,000 records by default, about
// 44 MB), each against a plain tool doing the same amount of file work in the same run:
//
// - a full lookup scan (the sentence of the last record) against `wc -l` of the file;
// - a turn with an unknown sentence (a full scan and an append) against `wc -l`;
// - a teaching step (the oldest unknown record is the last one, so it is searched through the
//   whole file, then the file is copied without it, synced and renamed) against
//   `dd if=data.dat of=x bs=1M conv=fsync`.
//
// Runs alternate between the program and its tool, so both meet the same load. Each program run
// also holds the program's start-up and end (its screen is made even when it talks through
// pipes); a baseline run of the program that does all but the step measured tells the step's
// own time: the start-up alone for the lookups, the same turn without teaching for the teaching
// step. It prints the medians, their ratios and the program's peak memory.
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
    std::vector<double> program, tool, baseline, programCpu, toolCpu, baselineCpu;

    void add(const Run& programRun, const Run& toolRun) {
        program.push_back(programRun.seconds);
        programCpu.push_back(programRun.cpuSeconds);
        tool.push_back(toolRun.seconds);
        toolCpu.push_back(toolRun.cpuSeconds);
    }
    void addBaseline(const Run& run) {
        baseline.push_back(run.seconds);
        baselineCpu.push_back(run.cpuSeconds);
    }
};

void report(const char* name, const char* tool, const Comparison& c, double goal) {
    const double program = median(c.program);
    const double step = program - median(c.baseline);
    const double stepCpu = median(c.programCpu) - median(c.baselineCpu);
    std::printf("%s\n  whole run %.2f ms, baseline %.2f ms, the step %.2f ms (%.2f ms processor); "
                "%s %.2f ms (%.2f ms processor)\n",
                name, program * 1e3, median(c.baseline) * 1e3, step * 1e3, stepCpu * 1e3, tool,
                median(c.tool) * 1e3, median(c.toolCpu) * 1e3);
    std::printf(
        "  ratio of the step: %.2f (goal: at most %.1f), of its processor time %.2f; of the "
        "whole run %.2f\n",
        step / median(c.tool), goal, stepCpu / median(c.toolCpu), program / median(c.tool));
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
    // by teaching. Its baseline, and the next one's: the program started and ended at once.
    Comparison scan;
    Comparison append;
    run({"wc", "-l", "data.dat"}, lookups, ""); // warm the page cache
    for (int i = 0; i < RUNS; ++i) {
        const Run wc = run({"wc", "-l", "data.dat"}, lookups, "");
        const Run turn = run({ULO_BINARY}, lookups, last + "\n");
        const Run startUp = run({ULO_BINARY}, lookups, "");
        scan.add(turn, wc);
        scan.addBaseline(startUp);
        append.addBaseline(startUp);
        peak = std::max(peak, turn.peakKilobytes);
    }

    // An unknown sentence: a full scan and an append. Turns whose roll also asked for teaching
    // (one more line: the question) are left out.
    for (int i = 0; append.program.size() < RUNS && i < 8 * RUNS; ++i) {
        const Run turn =
            run({ULO_BINARY}, lookups, "a sentence never seen " + std::to_string(i) + "\n");
        peak = std::max(peak, turn.peakKilobytes);
        if (lines(turn.output).size() == 4) { // banner, empty line, echo, reply
            append.add(turn, run({"wc", "-l", "data.dat"}, lookups, ""));
        }
    }

    // A teaching step after the sentence of the first record: its reply, then the question when
    // the roll asks for teaching (other runs are left out). The file is laid anew before each
    // run, outside the timing. The baseline: the same start and reply, without teaching.
    Comparison teach;
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
        if (said.size() >= 7 && said[4] == "the unknown one" && said[5] == "the answer") {
            teach.add(turn, dd);
        }
    }
    for (int i = 0; teach.baseline.size() < RUNS && i < 8 * RUNS; ++i) {
        fs::copy_file(root / "teaching.dat", teaching / "data.dat",
                      fs::copy_options::overwrite_existing);
        ::sync();
        const Run turn = run({ULO_BINARY}, teaching, "what about 0\n");
        if (lines(turn.output).size() == 4) {
            teach.addBaseline(turn);
        }
    }

    report("full lookup scan (the sentence of the last record):", "wc -l", scan, 2.0);
    report("unknown sentence (a full scan and an append):", "wc -l", append, 5.0);
    report("teaching step (the unknown record is the last one):", "dd", teach, 1.5);
    std::printf("peak memory: %.2f MiB (goal: under 8)\n", static_cast<double>(peak) / 1024);
    fs::remove_all(root);
    return 0;
}
