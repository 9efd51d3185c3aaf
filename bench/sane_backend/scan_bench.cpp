// The test device's largest area (200 x 200 mm) in colour at 300 dpi, 24 bits: by memory
// transfer through twain-source's DS_Entry and the backend, against the same scan read with
// libsane alone. Each iteration opens, scans and closes, both ways doing the same SANE work
// (sane_init to sane_exit). The target is at most 1.1 times the bare loop: MemoryOverBareLoop
// reports the ratio and whether the target is met.
//
//   build/bench/sane_backend/bench_sane_backend --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true

#include <time.h>

#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/sane_backend/scan_world.hpp"

namespace {

using namespace sane_bench;
using namespace twain;

constexpr double kDpi = 300;
// 2362 x 2362 pixels of 3 bytes.
constexpr std::size_t kImageBytes = 2362u * 2362u * 3u;
// The buffer the source prefers for memory transfers: whole lines (7086 bytes), about 1 MiB.
// The bare loop reads into the same buffer.
constexpr std::size_t kBufferBytes = 148u * 2362u * 3u;

void world() { static const ScanWorld scan_world({}); }

std::size_t through_backend() {
    if (!open_source(kDpi, TWSX_MEMORY)) return 0;
    const auto received = memory_scan();
    close_source();
    return received;
}

void BareLibsaneLoop(benchmark::State& state) {
    world();
    for (auto _ : state) {
        if (bare_scan(kDpi, kBufferBytes) != kImageBytes)
            state.SkipWithError("the bare scan fell short");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kImageBytes));
}
BENCHMARK(BareLibsaneLoop)->Unit(benchmark::kMillisecond);

void MemoryTransfer(benchmark::State& state) {
    world();
    for (auto _ : state) {
        if (through_backend() != kImageBytes) state.SkipWithError("the memory transfer fell short");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kImageBytes));
}
BENCHMARK(MemoryTransfer)->Unit(benchmark::kMillisecond);

// The process's CPU time (all threads: the test device reads on one of its own).
double cpu_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Both ways in turn within each iteration, so that both see the same machine load. The ratio is
// of elapsed time; cpu_ratio, of CPU time, is steadier on a busy machine.
void MemoryOverBareLoop(benchmark::State& state) {
    world();
    using Clock = std::chrono::steady_clock;
    Clock::duration bare{};
    Clock::duration backend{};
    double bare_cpu = 0;
    double backend_cpu = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        double cpu = cpu_ms();
        if (bare_scan(kDpi, kBufferBytes) != kImageBytes)
            state.SkipWithError("the bare scan fell short");
        bare += Clock::now() - start;
        bare_cpu += cpu_ms() - cpu;
        start = Clock::now();
        cpu = cpu_ms();
        if (through_backend() != kImageBytes) state.SkipWithError("the memory transfer fell short");
        backend += Clock::now() - start;
        backend_cpu += cpu_ms() - cpu;
    }
    const double runs = static_cast<double>(state.iterations());
    const double bare_ms = std::chrono::duration<double, std::milli>(bare).count() / runs;
    const double backend_ms = std::chrono::duration<double, std::milli>(backend).count() / runs;
    state.counters["bare_ms"] = bare_ms;
    state.counters["memory_transfer_ms"] = backend_ms;
    state.counters["ratio"] = backend_ms / bare_ms;
    state.counters["cpu_ratio"] = backend_cpu / bare_cpu;
    state.counters["within_target"] = backend_ms <= 1.1 * bare_ms ? 1 : 0;
}
BENCHMARK(MemoryOverBareLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
