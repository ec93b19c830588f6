// Throughput of the knowledge-file reader: whole records read the way a turn reads them.
#include "conversation/knowledge_file.hpp"
#include "files/channels.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string makeFile(int records, int keyLength) {
    const auto path = std::filesystem::temp_directory_path() / "ulo-field-reader-bench.dat";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string padding(static_cast<std::size_t>(keyLength), 'k');
    for (int i = 0; i < records; ++i) {
        out << '"' << padding << i << "\",\"reply " << i << "\",\"&&$&&\"\r\n";
    }
    return path.string();
}

void BM_ReadRecords(benchmark::State& state) {
    const int records = 100'000;
    const std::string path = makeFile(records, static_cast<int>(state.range(0)));
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    ulo::resetChannelTable();
    ulo::KnowledgeRecord record;
    for (auto _ : state) {
        ulo::openChannel(path, ulo::OpenMode::ReadExisting, ulo::AccessMode::Unspecified, 0, 1, 0);
        int count = 0;
        do {
            ulo::readRecord(1, record);
            ++count;
        } while (ulo::atEndOfFile(1) == 0);
        ulo::closeChannel(1);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadRecords)->Arg(8)->Arg(40)->Arg(400)->Unit(benchmark::kMillisecond);

} // namespace
