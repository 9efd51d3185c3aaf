// Network button events through the running server.
//
// 1. One scan request handled, from the datagram sent to the port until the stand-in
//    scan-destination application has printed the event, against the five preference writes
//    that the request makes, on their own. The ratio is printed at the end (target: at most 1.5).
// 2. A flood of 100,000 datagrams, valid events and invalid ones mixed: every valid event must be
//    handled, in order (checked from the unique numbers the server shows on standard error), and
//    the process's private memory is printed before and after.
//
//   build/bench/netport/bench_netport --benchmark_repetitions=5
//
// (the flood runs once whatever the repetitions).
//
// Everything runs in a private temporary view: runtime folder, preferences and file-system
// root. The server's standard error goes to a file there; the figures go to standard output.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/file_growth.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/folders/folders.hpp"
#include "platform/msgport/local_port.hpp"

extern char** environ;

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

struct View {
    std::filesystem::path base;
    std::filesystem::path standinLog;
    std::filesystem::path shown;  // the server's standard error
};
View view;
int figuresOut = -1;  // the benchmark's own standard error, for messages of its own

void Fail(const std::string& message) {
    const std::string line = "bench_netport: " + message + "\n";
    [[maybe_unused]] const auto written = ::write(figuresOut, line.data(), line.size());
    std::exit(1);
}

constexpr std::array<std::uint8_t, 4> kAddress{192, 168, 100, 200};

std::array<std::byte, monitor::NetworkButtonEventSize> ScanRequest() {
    return monitor::MessageBytes(monitor::NetworkButtonEvent{{1, 1, 44, 0, 0, 0, 1, 5}, kAddress});
}

void BM_ScanRequestHandled(benchmark::State& state) {
    bench_support::FileGrowth growth(view.standinLog);
    if (!growth.ok()) Fail("cannot watch " + view.standinLog.string());
    const auto request = ScanRequest();
    auto size = bench_support::file_size_or_zero(view.standinLog);
    for (auto _ : state) {
        if (!platform::msgport::send_message(monitor::ButtonPortName, 0, request)) {
            state.SkipWithError("send failed");
            break;
        }
        if (auto grown = growth.wait_beyond(size)) {
            size = *grown;
        } else {
            Fail("cannot watch the stand-in's log");
        }
    }
}
BENCHMARK(BM_ScanRequestHandled)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The writes a scan request makes, in its order, with the same values.
void BM_ScanRequestPrefWrites(benchmark::State& state) {
    for (auto _ : state) {
        monitor::SetScannerPref(monitor::UNIQUE_NUMBER,
                                Value::integer(kAddress[3], IntegerKind::SInt8));
        monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
        monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(true));
        monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
        monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("192.168.100.200"));
    }
}
BENCHMARK(BM_ScanRequestPrefWrites)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Private memory of the process in KiB, as the kernel counts it for its mappings.
long PrivateKiB() {
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string line;
    long total = 0;
    while (std::getline(rollup, line)) {
        if (line.starts_with("Private_Clean:") || line.starts_with("Private_Dirty:")) {
            total += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
        }
    }
    return total;
}

void SendRaw(const std::filesystem::path& socketPath, std::size_t size) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const std::string bytes(size, '\x01');
    if (::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) < 0) {
        Fail("raw send failed");
    }
    ::close(fd);
}

// The unique number the flood's datagram i carries when it is a valid event, else nothing.
std::optional<int> FloodNumber(int i) {
    if (i % 8 >= 4) return std::nullopt;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(i % 251));
}

// Whether the server showed exactly these numbers, one line each, from the offset on. Read as
// a stream, so that checking allocates next to nothing.
bool ShownInOrder(std::uintmax_t offset, int count) {
    std::ifstream shown(view.shown);
    shown.seekg(static_cast<std::streamoff>(offset));
    long number = 0;
    for (int i = 0; i < count; ++i) {
        const auto expected = FloodNumber(i);
        if (!expected) continue;
        if (!(shown >> number) || number != *expected) return false;
    }
    return !(shown >> number);
}

struct FloodFigures {
    int datagrams = 0;
    int valid = 0;
    bool inOrder = false;
    long privateBefore = 0;
    long privateAfter = 0;
    double seconds = 0;
};
FloodFigures flood;

void BM_Flood(benchmark::State& state) {
    constexpr int count = 100'000;
    const auto socketPath = view.base / "runtime/msgports" / monitor::ButtonPortName;
    const std::vector<std::byte> eleven(11, std::byte{1});
    const std::vector<std::byte> thirteen(13, std::byte{1});
    const std::vector<std::byte> large(4000, std::byte{1});
    for (auto _ : state) {
        flood = {};
        const auto offset = bench_support::file_size_or_zero(view.shown);
        std::uintmax_t shownBytes = 0;  // what the server shows once it has handled every event
        flood.privateBefore = PrivateKiB();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            platform::Result<void> sent;
            if (const auto number = FloodNumber(i)) {
                // Valid events that only record the unique number: an unknown command, or an
                // unknown control operation.
                const auto command = static_cast<std::uint8_t>(i % 2 ? 2 : 3);
                const auto event = monitor::MessageBytes(
                    monitor::NetworkButtonEvent{{1, command, 0, 0, 0, 0, 0x98, 0},
                                                {10, 0, 0, static_cast<std::uint8_t>(i % 251)}});
                sent = platform::msgport::send_message(monitor::ButtonPortName, i, event);
                shownBytes += std::to_string(*number).size() + 1;
                ++flood.valid;
            } else if (i % 8 == 4) {
                // Twelve bytes without the marker: not for the monitor.
                const auto event = monitor::MessageBytes(
                    monitor::NetworkButtonEvent{{0, 1, 0, 0, 0, 0, 1, 0}, {}});
                sent = platform::msgport::send_message(monitor::ButtonPortName, i, event);
            } else if (i % 8 == 5) {
                sent = platform::msgport::send_message(monitor::ButtonPortName, i,
                                                       i % 16 < 8 ? eleven : thirteen);
            } else if (i % 8 == 6) {
                sent = platform::msgport::send_message(
                    monitor::ButtonPortName, i, i % 16 < 8 ? std::span<const std::byte>() : large);
            } else {
                SendRaw(socketPath, static_cast<std::size_t>(i % 4));  // too short for a message ID
            }
            if (!sent) Fail("flood send failed: " + sent.error().message);
        }
        bench_support::FileGrowth growth(view.shown);
        if (!growth.ok()) Fail("cannot watch " + view.shown.string());
        if (!growth.wait_beyond(offset + shownBytes - 1)) Fail("cannot watch the monitor's output");
        flood.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        flood.privateAfter = PrivateKiB();
        flood.datagrams = count;
        flood.inOrder = ShownInOrder(offset, count);
        state.counters["valid_events"] = static_cast<double>(flood.valid);
        state.counters["in_order"] = flood.inOrder ? 1 : 0;
        state.counters["private_KiB_before"] = static_cast<double>(flood.privateBefore);
        state.counters["private_KiB_after"] = static_cast<double>(flood.privateAfter);
    }
}
BENCHMARK(BM_Flood)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond)->UseRealTime();

class FiguresReporter : public benchmark::ConsoleReporter {
public:
    // With --benchmark_repetitions the median stands for a benchmark, else its one run.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            if (run.aggregate_name == "median") {
                times_[name] = run.GetAdjustedRealTime();
                fromMedian_.insert(name);
            } else if (run.aggregate_name.empty() && !fromMedian_.contains(name)) {
                times_[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintFigures() const {
        const auto handled = times_.find("BM_ScanRequestHandled");
        const auto writes = times_.find("BM_ScanRequestPrefWrites");
        if (handled != times_.end() && writes != times_.end() && writes->second > 0) {
            std::printf(
                "\nScan request handled: %.1f us; its preference writes alone: %.1f us\n"
                "Ratio: %.2f (target: at most 1.5)\n",
                handled->second, writes->second, handled->second / writes->second);
        }
        if (flood.datagrams > 0) {
            std::printf(
                "\nFlood: %d datagrams, %d valid events, handled in order: %s, in %.2f s\n"
                "Private memory: %ld KiB before, %ld KiB after (%+ld KiB)\n",
                flood.datagrams, flood.valid, flood.inOrder ? "yes" : "NO", flood.seconds,
                flood.privateBefore, flood.privateAfter, flood.privateAfter - flood.privateBefore);
        }
    }

private:
    std::map<std::string, double> times_;
    std::set<std::string> fromMedian_;
};

void SetUpView() {
    char folder[] = "/tmp/velmora-bench-netport-XXXXXX";
    if (!::mkdtemp(folder)) Fail("cannot make a temporary folder");
    view.base = folder;
    for (const char* sub : {"runtime", "config", "home", "root"})
        std::filesystem::create_directories(view.base / sub);
    std::filesystem::permissions(view.base / "runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    ::setenv("XDG_RUNTIME_DIR", (view.base / "runtime").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (view.base / "config").c_str(), 1);
    ::setenv("HOME", (view.base / "home").c_str(), 1);
    platform::folders::set_root(view.base / "root");
    view.standinLog = view.base / "standin.log";
    view.shown = view.base / "shown.txt";
}

pid_t StartStandIn() {
    const auto pidFile = view.base / "standin.pid";
    std::vector<std::string> arguments{STANDIN_PROGRAM, "--pid-file", pidFile.string(), "--log",
                                       view.standinLog.string()};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        Fail("cannot start the stand-in");
    for (int i = 0; i < 1000 && !std::filesystem::exists(pidFile); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!std::filesystem::exists(pidFile)) Fail("the stand-in does not serve");
    return child;
}

}  // namespace

int main(int argc, char** argv) {
    figuresOut = ::dup(STDERR_FILENO);
    benchmark::Initialize(&argc, argv);
    SetUpView();
    const pid_t standIn = StartStandIn();

    // The server's one line per event goes to a file, where the flood's order is checked.
    const int shownFd = ::open(view.shown.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (shownFd < 0 || ::dup2(shownFd, STDERR_FILENO) < 0) Fail("cannot redirect standard error");
    ::close(shownFd);
    {
        monitor::ButtonPortServer running;
        running.Start();
        FiguresReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.PrintFigures();
        running.Stop();
    }
    benchmark::Shutdown();
    ::kill(standIn, SIGTERM);
    ::waitpid(standIn, nullptr, 0);
    ::dup2(figuresOut, STDERR_FILENO);
    std::error_code ignored;
    std::filesystem::remove_all(view.base, ignored);
    return flood.datagrams > 0 && !flood.inOrder ? 1 : 0;
}
