// What DS_Entry adds to a triplet once the backend exists: the same DG_CONTROL/DAT_STATUS/MSG_GET
// through DS_Entry (called through a pointer, as a host calls it) and straight to the backend.
// The target is at most 1.2 times the direct call plus 20 ns; DSEntryOverDirect reports the
// ratio and whether the target is met.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/folders/folders.hpp"
#include "twain/entry/data_source_entry.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

using namespace twain;

// A private file-system view holding the sample backend at its fixed path, for the life of the
// program.
class BackendView {
public:
    BackendView() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "twain-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        const auto frameworks = root_ / "Library/Printers/Velmora/Frameworks";
        std::filesystem::create_directories(frameworks);
        std::filesystem::create_directory_symlink(SAMPLE_BACKEND_BUNDLE,
                                                  frameworks / "VelDataSourceBackend.bundle");
        platform::folders::set_root(root_);
        TW_STATUS status{};
        if (DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS ||
            !gDataSource) {
            std::abort();
        }
    }
    BackendView(const BackendView&) = delete;
    BackendView& operator=(const BackendView&) = delete;
    ~BackendView() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

private:
    std::filesystem::path root_;
};

void ensure_backend() { static const BackendView view; }

// DS_Entry as a host reaches it: through the pointer it looked up.
DSENTRYPROC entry_point() {
    DSENTRYPROC entry = &DS_Entry;
    benchmark::DoNotOptimize(entry);
    return entry;
}

TW_UINT32 direct(TW_IDENTITY& origin, TW_STATUS& status) {
    return gDataSource->sendTripletWithSource(&origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
}

void DirectBackendCall(benchmark::State& state) {
    ensure_backend();
    TW_IDENTITY origin{};
    TW_STATUS status{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(direct(origin, status));
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(DirectBackendCall);

void DSEntryCall(benchmark::State& state) {
    ensure_backend();
    const auto entry = entry_point();
    TW_IDENTITY origin{};
    TW_STATUS status{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(&origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status));
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(DSEntryCall);

// Both ways in alternating batches, so that both see the same machine load.
void DSEntryOverDirect(benchmark::State& state) {
    ensure_backend();
    const auto entry = entry_point();
    TW_IDENTITY origin{};
    TW_STATUS status{};
    constexpr int kBatch = 4096;
    using Clock = std::chrono::steady_clock;
    Clock::duration direct_time{};
    Clock::duration entry_time{};
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            benchmark::DoNotOptimize(direct(origin, status));
            benchmark::DoNotOptimize(status);
        }
        direct_time += Clock::now() - start;
        start = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            benchmark::DoNotOptimize(entry(&origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status));
            benchmark::DoNotOptimize(status);
        }
        entry_time += Clock::now() - start;
    }
    const double calls = static_cast<double>(state.iterations()) * kBatch;
    const double direct_ns = std::chrono::duration<double, std::nano>(direct_time).count() / calls;
    const double entry_ns = std::chrono::duration<double, std::nano>(entry_time).count() / calls;
    state.counters["direct_ns"] = direct_ns;
    state.counters["ds_entry_ns"] = entry_ns;
    state.counters["ratio"] = entry_ns / direct_ns;
    state.counters["budget_ns"] = 1.2 * direct_ns + 20.0;
    state.counters["within_target"] = entry_ns <= 1.2 * direct_ns + 20.0 ? 1 : 0;
}
BENCHMARK(DSEntryOverDirect);

}  // namespace

BENCHMARK_MAIN();
