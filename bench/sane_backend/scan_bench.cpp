// The test device's largest area (200 x 200 mm) in colour at 300 dpi, 24 bits: by memory
// transfer through twain-source's DS_Entry and the backend, against the same scan read with
// libsane alone. Each iteration opens, scans and closes, both ways doing the same SANE work
// (sane_init to sane_exit). The target is at most 1.1 times the bare loop: MemoryOverBareLoop
// reports the ratio and whether the target is met.
//
//   build/bench/sane_backend/bench_sane_backend --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/sane_backend/scan_world.hpp"

namespace {

using namespace sane_bench;
using namespace twain;

constexpr double kDpi = 300;
// 2362 x 2362 pixels of 3 bytes.
constexpr std::size_t kImageBytes = 2362u * 2362u * 3u;
// The buffer the source prefers for memory transfers (whole lines, about 1 MiB).
constexpr std::size_t kBufferBytes = 1024 * 1024;

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
        if (bare_scan(kDpi, kBufferBytes) != kImageBytes) state.SkipWithError("the bare scan fell short");
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

// Both ways in turn within each iteration, so that both see the same machine load.
void MemoryOverBareLoop(benchmark::State& state) {
    world();
    using Clock = std::chrono::steady_clock;
    Clock::duration bare{};
    Clock::duration backend{};
    for (auto _ : state) {
        auto start = Clock::now();
        if (bare_scan(kDpi, kBufferBytes) != kImageBytes) state.SkipWithError("the bare scan fell short");
        bare += Clock::now() - start;
        start = Clock::now();
        if (through_backend() != kImageBytes) state.SkipWithError("the memory transfer fell short");
        backend += Clock::now() - start;
    }
    const double runs = static_cast<double>(state.iterations());
    const double bare_ms = std::chrono::duration<double, std::milli>(bare).count() / runs;
    const double backend_ms = std::chrono::duration<double, std::milli>(backend).count() / runs;
    state.counters["bare_ms"] = bare_ms;
    state.counters["memory_transfer_ms"] = backend_ms;
    state.counters["ratio"] = backend_ms / bare_ms;
    state.counters["within_target"] = backend_ms <= 1.1 * bare_ms ? 1 : 0;
}
BENCHMARK(MemoryOverBareLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
