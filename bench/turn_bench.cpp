// Turns of the real program over large knowledge files, each against a plain tool doing the same
// amount of file work in the same run:
//
// - a full lookup (the sentence of the last record) against `wc -l` of the file;
// - a turn with an unknown sentence (a full scan and an append) against `wc -l`;
// - a teaching step (the oldest unknown record is the last one, so it is searched through the
//   whole file, then the file is copied without it, synced and renamed) against
//   `dd if=data.dat of=x bs=1M conv=fsync`.
//
// Two files of 1,000,000 records (any number): short records (`"what about N","it is N",...`,
// about 44 MB) and records with sentences of about 40 bytes (`"what do you think about topic
// number N","I like topic N",...`, about 77 MB). Runs alternate between the program and its tool,
// so both meet the same load; the machine's load is printed before and after. The whole run is
// what the user waits for and is compared with the whole tool; a baseline run of the program that
// does all but the step measured (the start-up alone for the lookups, the same turn without
// teaching for the teaching step) tells the step's own time as well. Medians of 11 runs, the
// ratios, and the program's peak memory.
//
//   ulo_turn_bench [--records N] [--program COMMAND...]
//       COMMAND: the program to time instead of this build's, with the words that start it
//       (`--program wine64 build/windows64/src/ulo.exe`, the last argument).
//   ulo_turn_bench --large [FOLDER]
//       A knowledge file over 4 GiB in FOLDER (default /tmp), read to its end: its last record's
//       sentence is answered and an unknown sentence is stored after it. Takes minutes and twice
//       the file's size on the disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The lines of the output; CR before a line end dropped (the Windows build ends lines with CR LF
// in a pipe).
std::vector<std::string> lines(const std::string& output) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        result.push_back(line);
    }
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// The two shapes of records the files are made of.
struct Shape {
    const char* name;
    std::string (*sentence)(long i);
    std::string (*reply)(long i);
};

const Shape SHAPES[] = {
    {"short records", [](long i) { return "what about " + std::to_string(i); },
     [](long i) { return "it is " + std::to_string(i); }},
    {"sentences of about 40 bytes",
     [](long i) { return "what do you think about topic number " + std::to_string(i); },
     [](long i) { return "I like topic " + std::to_string(i); }},
};

// Writes `records` records of `shape` (and, with `unknownLast`, an unknown record after them),
// a megabyte at a time.
void writeKnowledgeFile(const fs::path& path, const Shape& shape, long records, bool unknownLast) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::string chunk;
    for (long i = 0; i < records; ++i) {
        chunk += "\"" + shape.sentence(i) + "\",\"" + shape.reply(i) + "\",\"&&$&&\"\r\n";
        if (chunk.size() >= (1 << 20) || i + 1 == records) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    if (unknownLast) {
        std::fputs("\"the unknown one\",\"&&$&&\",\"&&$&&\"\r\n", file);
    }
    std::fclose(file);
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
    std::printf("%s (%zu runs)\n  whole run %.2f ms (%.2f ms processor), baseline %.2f ms, the "
                "step %.2f ms (%.2f ms processor); %s %.2f ms (%.2f ms processor)\n",
                name, c.program.size(), program * 1e3, median(c.programCpu) * 1e3,
                median(c.baseline) * 1e3, step * 1e3, stepCpu * 1e3, tool, median(c.tool) * 1e3,
                median(c.toolCpu) * 1e3);
    std::printf("  whole run / %s: %.2f (goal: at most %.2f); the step / %s: %.2f, of its "
                "processor time %.2f\n",
                tool, program / median(c.tool), goal, tool, step / median(c.tool),
                stepCpu / median(c.toolCpu));
}

// The three turns on files of one shape.
long compareTurns(const std::vector<std::string>& program, const Shape& shape, long records,
                  const fs::path& root) {
    const fs::path lookups = root / "lookups";
    const fs::path teaching = root / "teaching";
    fs::create_directories(lookups);
    fs::create_directories(teaching);
    writeKnowledgeFile(lookups / "data.dat", shape, records, false);
    writeKnowledgeFile(root / "teaching.dat", shape, records, true);
    std::printf("\n== %s: %ld records, %.1f MB\n", shape.name, records,
                static_cast<double>(fs::file_size(lookups / "data.dat")) / 1e6);
    const std::vector<std::string> wc = {"wc", "-l", "data.dat"};
    long peak = 0;

    // A full scan: the sentence of the last record, whose reply is printed and never followed
    // by teaching. Its baseline, and the next one's: the program started and ended at once.
    Comparison scan;
    Comparison append;
    run(wc, lookups, ""); // the page cache
    run(program, lookups, "");
    const std::string last = shape.sentence(records - 1) + "\n";
    for (int i = 0; i < RUNS; ++i) {
        const Run counted = run(wc, lookups, "");
        const Run turn = run(program, lookups, last);
        const Run startUp = run(program, lookups, "");
        if (lines(turn.output).size() < 4 || lines(turn.output)[3] != shape.reply(records - 1)) {
            std::fprintf(stderr, "the lookup did not answer: %s\n", turn.output.c_str());
        }
        scan.add(turn, counted);
        scan.addBaseline(startUp);
        append.addBaseline(startUp);
        peak = std::max(peak, turn.peakKilobytes);
    }

    // An unknown sentence: a full scan and an append. Turns whose roll also asked for teaching
    // (one more line: the question) are left out.
    for (int i = 0; append.program.size() < RUNS && i < 8 * RUNS; ++i) {
        const Run counted = run(wc, lookups, "");
        const Run turn = run(program, lookups, "a sentence never seen " + std::to_string(i) + "\n");
        peak = std::max(peak, turn.peakKilobytes);
        if (lines(turn.output).size() == 4) { // banner, empty line, echo, reply
            append.add(turn, counted);
        }
    }

    // A teaching step after the sentence of the first record: its reply, then the question when
    // the roll asks for teaching (other runs are left out). The file is laid anew before each
    // run, outside the timing. The baseline: the same start and reply, without teaching.
    Comparison teach;
    const std::string first = shape.sentence(0) + "\n";
    for (int i = 0; teach.program.size() < RUNS && i < 8 * RUNS; ++i) {
        fs::copy_file(root / "teaching.dat", teaching / "data.dat",
                      fs::copy_options::overwrite_existing);
        ::sync();
        const Run dd =
            run({"dd", "if=data.dat", "of=x", "bs=1M", "conv=fsync", "status=none"}, teaching, "");
        fs::remove(teaching / "x");
        ::sync();
        const Run turn = run(program, teaching, first + "the answer\n");
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
        const Run turn = run(program, teaching, first);
        if (lines(turn.output).size() == 4) {
            teach.addBaseline(turn);
        }
    }

    report("full lookup (the sentence of the last record)", "wc -l", scan, 1.5);
    report("unknown sentence (a full scan and an append)", "wc -l", append, 1.6);
    report("teaching step (the unknown record is the last one)", "dd conv=fsync", teach, 1.25);
    fs::remove_all(lookups);
    fs::remove_all(teaching);
    fs::remove(root / "teaching.dat");
    return peak;
}

// A knowledge file over 4 GiB, read to its end by the program.
int largeFile(const std::vector<std::string>& program, const fs::path& folder) {
    const fs::path root = folder / "ulo-large-file";
    fs::create_directories(root);
    const long records = 100'000'000; // about 4.6 GB
    std::printf("writing %ld records into %s\n", records, (root / "data.dat").c_str());
    writeKnowledgeFile(root / "data.dat", SHAPES[0], records, false);
    const auto size = static_cast<std::uintmax_t>(fs::file_size(root / "data.dat"));
    std::printf("knowledge file: %.2f GiB\n", static_cast<double>(size) / (1 << 30));
    bool passed = true;
    const Run found = run(program, root, SHAPES[0].sentence(records - 1) + "\n");
    const auto said = lines(found.output);
    passed = passed && said.size() >= 4 && said[3] == SHAPES[0].reply(records - 1);
    std::printf("the last record's sentence: %s in %.2f s (peak memory %.2f MiB)\n",
                passed ? "answered" : "NOT answered", found.seconds,
                static_cast<double>(found.peakKilobytes) / 1024);
    const std::string unknown = "a sentence after four gigabytes";
    const Run stored = run(program, root, unknown + "\n");
    const std::string record = "\"" + unknown + "\",\"&&$&&\",\"&&$&&\"\r\n";
    std::string tail(record.size(), '\0');
    std::ifstream in(root / "data.dat", std::ios::binary);
    in.seekg(static_cast<std::streamoff>(size));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    const bool appended =
        in.gcount() == static_cast<std::streamsize>(tail.size()) && tail == record;
    std::printf("an unknown sentence: %s in %.2f s\n",
                appended ? "stored at the end" : "NOT stored", stored.seconds);
    fs::remove_all(root);
    return passed && appended ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    long records = 1'000'000;
    std::vector<std::string> program = {ULO_BINARY};
    bool large = false;
    fs::path largeFolder = "/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--records" && i + 1 < argc) {
            records = std::atol(argv[++i]);
        } else if (word == "--program" && i + 1 < argc) {
            program.assign(argv + i + 1, argv + argc);
            break;
        } else if (word == "--large") {
            large = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                largeFolder = argv[++i];
            }
        } else {
            std::fprintf(stderr,
                         "usage: %s [--records N] [--program COMMAND...] | --large "
                         "[FOLDER]\n",
                         argv[0]);
            return 2;
        }
    }
    if (large) {
        return largeFile(program, largeFolder);
    }
    char pattern[] = "/tmp/ulo-turn-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    std::printf("load average before: %s\n", loadAverage().c_str());
    long peak = 0;
    for (const Shape& shape : SHAPES) {
        peak = std::max(peak, compareTurns(program, shape, records, root));
    }
    std::printf("\npeak memory: %.2f MiB (goal: at most 8)\nload average after: %s\n",
                static_cast<double>(peak) / 1024, loadAverage().c_str());
    fs::remove_all(root);
    return 0;
}
