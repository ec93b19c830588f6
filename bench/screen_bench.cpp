// Speed of the text screen against the memory routines it is measured by: drawing a full 80 x 30
// screen of glyphs against memset of the same framebuffer bytes, and each pixel converter of
// each routine set against memcpy of its destination bytes. After the usual table it prints
// each one's speed as a ratio of its yardstick's (higher is faster).
#include "console/print.hpp"
#include "screen/blitters.hpp"
#include "screen/screen.hpp"
#include "screen/text_cells.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace ulo;

constexpr std::size_t FRAMEBUFFER_BYTES = 640 * 480 * 4;

void fillWithText(ScreenState& screen) {
    std::vector<std::uint8_t> row(80);
    for (std::int32_t r = 0; r < 30; ++r) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            row[c] = static_cast<std::uint8_t>(32 + (r * 80 + static_cast<std::int32_t>(c)) % 96);
        }
        DirtySpan span;
        drawGlyphs(screen, span, 0, r, row.data(), row.size());
    }
}

void drawScreen(benchmark::State& state) {
    setScreenMode(18, 32, 0, SCREEN_NULL, 0);
    ScreenState& screen = *activeScreen();
    for (auto _ : state) {
        fillWithText(screen);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FRAMEBUFFER_BYTES));
}

void memsetScreen(benchmark::State& state) {
    std::vector<std::uint8_t> bytes(FRAMEBUFFER_BYTES);
    int value = 0;
    for (auto _ : state) {
        std::memset(bytes.data(), value++ & 0xFF, bytes.size());
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FRAMEBUFFER_BYTES));
}

void memcpyBytes(benchmark::State& state, std::size_t size) {
    std::vector<std::uint8_t> from(size, 1);
    std::vector<std::uint8_t> to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

int destinationSize(int bits) {
    return bits == 15 ? 2 : (bits + 7) / 8;
}

void convert(benchmark::State& state, RoutineSet set, int depth, int bits, bool blueFirst) {
    setScreenMode(18, depth, 0, SCREEN_NULL, 0);
    ScreenState& screen = *activeScreen();
    for (std::size_t i = 0; i < static_cast<std::size_t>(screen.pitch * screen.height); ++i) {
        screen.framebuffer[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    }
    std::memset(screen.dirty.get(), 1, static_cast<std::size_t>(screen.height));
    buildBlitterTable(screen, blueFirst);
    const Blitter blit = blitterOfSet(set, depth, bits, blueFirst);
    const std::int32_t pitch = 640 * destinationSize(bits);
    std::vector<std::uint8_t> destination(static_cast<std::size_t>(pitch) * 480);
    for (auto _ : state) {
        blit(screen, destination.data(), pitch);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(destination.size()));
}

const char* setName(RoutineSet set) {
    constexpr const char* NAMES[] = {"plain", "sse2", "avx2", "avx512"};
    return NAMES[static_cast<int>(set)];
}

// Keeps each benchmark's time per iteration while printing the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

struct Pairing {
    std::string name;
    std::string yardstick;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<Pairing> pairings;
    benchmark::RegisterBenchmark("draw/80x30", drawScreen);
    benchmark::RegisterBenchmark("memset/1228800", memsetScreen);
    pairings.push_back({"draw/80x30", "memset/1228800"});
    for (const int bits : {8, 15, 16, 24, 32}) {
        const int bytes = 640 * 480 * destinationSize(bits);
        const std::string yardstick = "memcpy/" + std::to_string(bytes);
        benchmark::RegisterBenchmark(yardstick.c_str(), [bytes](benchmark::State& state) {
            memcpyBytes(state, static_cast<std::size_t>(bytes));
        });
    }
    for (const RoutineSet set : {RoutineSet::Plain, RoutineSet::Sse2, RoutineSet::Avx2}) {
        if (!routineSetSupported(set)) {
            continue;
        }
        for (const int depth : {8, 16, 32}) {
            for (const int bits : {8, 15, 16, 24, 32}) {
                for (const bool blueFirst : {false, true}) {
                    if (blitterOfSet(set, depth, bits, blueFirst) == nullptr ||
                        (bits == 8 && blueFirst)) {
                        continue;
                    }
                    const std::string name = std::string("convert/") + setName(set) + "/" +
                                             std::to_string(depth) + "to" + std::to_string(bits) +
                                             (blueFirst ? "bgr" : "rgb");
                    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                        convert(state, set, depth, bits, blueFirst);
                    });
                    pairings.push_back(
                        {name, "memcpy/" + std::to_string(640 * 480 * destinationSize(bits))});
                }
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nspeed relative to the yardstick (yardstick time / own time):\n");
    for (const Pairing& pairing : pairings) {
        const auto own = reporter.times.find(pairing.name);
        const auto yardstick = reporter.times.find(pairing.yardstick);
        if (own != reporter.times.end() && yardstick != reporter.times.end()) {
            std::printf("  %-28s %6.2f x %s\n", pairing.name.c_str(),
                        yardstick->second / own->second, pairing.yardstick.c_str());
        }
    }
    benchmark::Shutdown();
    setScreenMode(0, 0, 0, 0, 0);
    return 0;
}
