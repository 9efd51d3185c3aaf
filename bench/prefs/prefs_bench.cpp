// Preference costs against their bare counterparts, with the ratios printed after the run:
//
// - the scanner status accessors against replacing the same file by writing a temporary file,
//   syncing it, renaming it over the old one and syncing the folder, as a preference write does;
//   the target for SetScannerPref is at most 3. The same replace without the syncs is measured
//   too, for what the syncs cost;
// - loading a large domain (10,000 and 40,000 keys, and the densest domain under the size cap,
//   argument 0) against libplist's own parse of the same file; the target is at most 2;
// - SetScannerPref on a status domain of 40,000 keys and on the densest one under the cap: every
//   preference access is to take under a second, and loading the domain at the cap (above) is
//   the costliest read.
//
//   build/bench/prefs/bench_prefs --benchmark_repetitions=5
//   --benchmark_enable_random_interleaving=true
//
// Replacing a file on ext4 starts its write-back, so real times vary with the disk; repeated,
// interleaved runs and their medians give the steadier ratio.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "platform/plist/document.hpp"
#include "platform/prefs/domain_file.hpp"
#include "platform/prefs/location.hpp"

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

std::filesystem::path DomainFile() {
    return *platform::prefs::domain_path(monitor::ScannerPrefsDomain,
                                         platform::prefs::Scope::CurrentHost);
}

std::string Contents(const std::filesystem::path& file) {
    std::ostringstream contents;
    contents << std::ifstream(file, std::ios::binary).rdbuf();
    return contents.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// The domain as the monitor leaves it while a network scan runs.
void FillDomain() {
    monitor::SetScannerPref(monitor::SCAN_DATA_MESSAGE_PORT, Value::string("OSPREY_READ_MSG_PORT"));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::UNIQUE_NUMBER, Value::integer(200, IntegerKind::SInt8));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("192.168.1.200"));
}

// The XML document of a domain of that many keys: strings, numbers and flags in turn.
std::string LargeDomain(std::int64_t keys) {
    std::vector<platform::plist::Entry> entries;
    for (std::int64_t i = 0; i < keys; ++i) {
        std::string key = "Key " + std::to_string(i);
        switch (i % 3) {
            case 0:
                entries.emplace_back(key, Value::string("value number " + std::to_string(i)));
                break;
            case 1: entries.emplace_back(key, Value::integer(i)); break;
            default: entries.emplace_back(key, Value::boolean(i % 2 == 0)); break;
        }
    }
    return *platform::plist::to_xml(Value::dictionary(std::move(entries)));
}

// The densest domain of that many keys: one flat dictionary of short keys and flags, the shape
// that costs libplist the most per byte (every key goes through the dictionary's hash table,
// which has a fixed number of buckets).
std::string DenseDomain(std::int64_t keys) {
    std::vector<platform::plist::Entry> entries;
    for (std::int64_t i = 0; i < keys; ++i)
        entries.emplace_back(std::to_string(i), Value::boolean(true));
    return *platform::plist::to_xml(Value::dictionary(std::move(entries)));
}

// The densest domain just under the size cap, the costliest the system still reads, and its
// number of keys.
const std::pair<std::string, std::int64_t>& DomainAtCap() {
    static const auto at_cap = [] {
        // Keys grow longer as they count up: start from an estimate and shrink until it fits.
        const double per_key = static_cast<double>(DenseDomain(100000).size()) / 100000;
        auto keys = static_cast<std::int64_t>(
            static_cast<double>(platform::prefs::max_domain_file_size) / per_key);
        std::string document = DenseDomain(keys);
        while (document.size() > platform::prefs::max_domain_file_size) {
            keys -= keys / 50;
            document = DenseDomain(keys);
        }
        return std::pair(std::move(document), keys);
    }();
    return at_cap;
}

// Benchmark argument: a number of keys, or 0 for the domain at the cap.
std::string DomainDocument(std::int64_t keys) {
    return keys > 0 ? LargeDomain(keys) : DomainAtCap().first;
}

std::filesystem::path DomainDocumentFile(std::int64_t keys) {
    const auto file = DomainFile().parent_path() / ("large." + std::to_string(keys) + ".plist");
    if (!std::filesystem::exists(file)) WriteFile(file, DomainDocument(keys));
    return file;
}

void CountKeys(benchmark::State& state, std::int64_t keys) {
    state.counters["keys"] = static_cast<double>(keys > 0 ? keys : DomainAtCap().second);
}

// Writes the bytes to a new file beside the file and renames it over the file, syncing the new
// file before and the folder after the rename when asked.
bool ReplaceFile(const std::filesystem::path& file, const std::string& bytes, bool sync) {
    std::string name = file.string() + ".tmp.XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
        (!sync || ::fsync(fd) == 0);
    if (::close(fd) != 0 || !written || ::rename(name.c_str(), file.c_str()) != 0) return false;
    if (!sync) return true;
    const int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool entered = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0) ::close(folder);
    return entered;
}

void BareReplace(benchmark::State& state, bool sync) {
    FillDomain();
    const auto file = DomainFile();
    const std::string bytes = Contents(file);
    for (auto _ : state) {
        if (!ReplaceFile(file, bytes, sync)) {
            state.SkipWithError("cannot replace the file");
            break;
        }
    }
}

void BM_BareReplace(benchmark::State& state) { BareReplace(state, true); }
BENCHMARK(BM_BareReplace)->Unit(benchmark::kMicrosecond);

void BM_BareReplaceUnsynced(benchmark::State& state) { BareReplace(state, false); }
BENCHMARK(BM_BareReplaceUnsynced)->Unit(benchmark::kMicrosecond);

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
    for (auto _ : state)
        benchmark::DoNotOptimize(monitor::CopyScannerPref(monitor::RemoteIPAddress));
}
BENCHMARK(BM_CopyScannerPref)->Unit(benchmark::kMicrosecond);

// libplist's own parse of a domain file, read from disk as the domain reader reads it.
void BM_LibplistParse(benchmark::State& state) {
    const auto file = DomainDocumentFile(state.range(0));
    CountKeys(state, state.range(0));
    for (auto _ : state) {
        const std::string bytes = Contents(file);
        plist_t root = nullptr;
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
        if (!root) {
            state.SkipWithError("libplist cannot read the file");
            break;
        }
        plist_free(root);
    }
}
BENCHMARK(BM_LibplistParse)->Arg(10000)->Arg(40000)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_LoadDomain(benchmark::State& state) {
    const auto file = DomainDocumentFile(state.range(0));
    CountKeys(state, state.range(0));
    for (auto _ : state) {
        auto read = platform::prefs::read_domain_file(file);
        if (read.state != platform::prefs::FileState::Loaded) {
            state.SkipWithError("the domain does not load");
            break;
        }
        benchmark::DoNotOptimize(read.values);
    }
}
BENCHMARK(BM_LoadDomain)->Arg(10000)->Arg(40000)->Arg(0)->Unit(benchmark::kMillisecond);

// A network event writes the status domain several times; each write reads and replaces the
// whole file.
void BM_SetScannerPrefOnLargeDomain(benchmark::State& state) {
    WriteFile(DomainFile(), DomainDocument(state.range(0)));
    CountKeys(state, state.range(0));
    bool scanning = false;
    for (auto _ : state) {
        monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(scanning));
        scanning = !scanning;
    }
    std::filesystem::remove(DomainFile());
}
BENCHMARK(BM_SetScannerPrefOnLargeDomain)
    ->Arg(40000)
    ->Arg(0)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

struct Timing {
    double real = 0;
    double cpu = 0;
};

// The console report, remembering each benchmark's time per iteration (the median when the
// run is repeated) by its name with arguments.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                std::string name = run.run_name.function_name;
                if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
                times[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const std::string& name, const std::string& baseline) const {
        const auto found = times.find(name);
        const auto base = times.find(baseline);
        if (found == times.end() || base == times.end() || base->second.real <= 0 ||
            base->second.cpu <= 0) {
            return;
        }
        std::printf("%s / %s: %.2f real time, %.2f CPU time\n", name.c_str() + 3,
                    baseline.c_str() + 3, found->second.real / base->second.real,
                    found->second.cpu / base->second.cpu);
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

    for (const char* name : {"BM_SetScannerPref", "BM_CopyScannerPref"}) {
        reporter.PrintRatio(name, "BM_BareReplace");
    }
    reporter.PrintRatio("BM_SetScannerPref", "BM_BareReplaceUnsynced");
    for (const char* keys : {"10000", "40000", "0"}) {
        reporter.PrintRatio(std::string("BM_LoadDomain/") + keys,
                            std::string("BM_LibplistParse/") + keys);
    }
    std::fflush(stdout);
    std::filesystem::remove_all(folder);
    return 0;
}
