// The scanner status accessors against the bare cost of replacing the same file by writing a
// temporary file and renaming it over the old one (no fsync on either side). After the run, the
// ratios to the bare replace are printed; the target for SetScannerPref is at most 3.
//
//   build/bench/prefs/bench_prefs --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
//
// Replacing a file on ext4 starts its write-back, so real times vary with the disk; repeated,
// interleaved runs and their medians give the steadier ratio.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "platform/prefs/location.hpp"

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

std::filesystem::path DomainFile() {
    return *platform::prefs::domain_path(monitor::ScannerPrefsDomain,
                                         platform::prefs::Scope::CurrentHost);
}

// The domain as the monitor leaves it while a network scan runs.
void FillDomain() {
    monitor::SetScannerPref(monitor::SCAN_DATA_MESSAGE_PORT, Value::string("OSPREY_READ_MSG_PORT"));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::UNIQUE_NUMBER, Value::integer(200, IntegerKind::SInt8));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("192.168.1.200"));
}

void BM_BareReplace(benchmark::State& state) {
    FillDomain();
    const auto file = DomainFile();
    std::ostringstream contents;
    contents << std::ifstream(file, std::ios::binary).rdbuf();
    const std::string bytes = contents.str();
    const std::string pattern = file.string() + ".tmp.XXXXXX";
    for (auto _ : state) {
        std::string name = pattern;
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            ::close(fd) != 0 || ::rename(name.c_str(), file.c_str()) != 0) {
            state.SkipWithError("cannot replace the file");
            break;
        }
    }
}
BENCHMARK(BM_BareReplace)->Unit(benchmark::kMicrosecond);

void BM_SetScannerPref(benchmark::State& state) {
    FillDomain();
    bool scanning = false;
    for (auto _ : state) {
        monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(scanning));
        scanning = !scanning;
    }
}
BENCHMARK(BM_SetScannerPref)->Unit(benchmark::kMicrosecond);

void BM_CopyScannerPref(benchmark::State& state) {
    FillDomain();
    for (auto _ : state) benchmark::DoNotOptimize(monitor::CopyScannerPref(monitor::RemoteIPAddress));
}
BENCHMARK(BM_CopyScannerPref)->Unit(benchmark::kMicrosecond);

struct Timing {
    double real = 0;
    double cpu = 0;
};

// The console report, remembering each benchmark's time per iteration (the median when the
// run is repeated).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Timing> times;
};

}  // namespace

int main(int argc, char** argv) {
    // A private configuration folder: the benchmark never touches the user's preferences.
    std::string folder = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto bare = reporter.times.find("BM_BareReplace");
    if (bare != reporter.times.end() && bare->second.real > 0 && bare->second.cpu > 0) {
        for (const char* name : {"BM_SetScannerPref", "BM_CopyScannerPref"}) {
            const auto found = reporter.times.find(name);
            if (found == reporter.times.end()) continue;
            std::printf("%s / bare replace: %.2f real time, %.2f CPU time\n", name + 3,
                        found->second.real / bare->second.real, found->second.cpu / bare->second.cpu);
        }
    }
    std::fflush(stdout);
    std::filesystem::remove_all(folder);
    return 0;
}
