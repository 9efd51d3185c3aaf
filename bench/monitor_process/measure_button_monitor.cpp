// The button-monitor program as it runs, measured from outside, in a private file-system view
// (scripts/run-in-view.sh) with its own runtime, configuration and home folders, and as on a
// desktop: a journal socket in the view and a notification socket (stand-ins of this program's),
// so that it runs with the journal's socket open and reports itself ready:
//
// 1. Idle for ten seconds: its wake-ups (the context switches of all its threads, voluntary and
//    not) and the CPU time it used. Target: no wake-up at all; a program that polls two or
//    three times a second wakes 20 to 30 times in that window.
// 2. Its memory when idle, from /proc/<pid>/smaps_rollup: private (Private_Clean +
//    Private_Dirty; target: under 2 MiB) and resident (Rss), before and after the scan requests.
// 3. A network scan request end to end: from the datagram sent to "OSPREY_HID_MSG_PORT" until
//    the stand-in scan-destination application, already serving 'QH06', has logged the event;
//    repeated, with median, minimum and maximum.
//
//   build/bench/monitor_process/measure_button_monitor
//
// The figures and a verdict on each target are printed at the end.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/support/file_growth.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/msgport/local_port.hpp"

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr auto kIdleWindow = 10s;
constexpr int kScanRequests = 200;
constexpr long kPrivateTargetKiB = 2 * 1024;

struct World {
    std::filesystem::path base;
    std::filesystem::path standinLog;
    std::filesystem::path status;  // bubblewrap's JSON status
    pid_t standIn = -1;
    pid_t view = -1;
    pid_t monitor = -1;
    int journal = -1;  // the stand-in journal's socket, seen in the view
    int notify = -1;   // the stand-in notification socket
};
World world;

void EndChildren() {
    if (world.monitor > 0) ::kill(world.monitor, SIGTERM);
    if (world.view > 0) ::waitpid(world.view, nullptr, 0);
    if (world.standIn > 0) {
        ::kill(world.standIn, SIGTERM);
        ::waitpid(world.standIn, nullptr, 0);
    }
    world.monitor = world.view = world.standIn = -1;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "measure_button_monitor: %s\n", message.c_str());
    EndChildren();
    std::exit(1);
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitUntil(const auto& condition, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

pid_t Spawn(std::vector<std::string> arguments, const std::filesystem::path& output) {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) Fail("cannot start " + arguments.front());
    return child;
}

void SetUpWorld() {
    char folder[] = "/tmp/velmora-measure-monitor-XXXXXX";
    if (!::mkdtemp(folder)) Fail("cannot make a temporary folder");
    world.base = folder;
    for (const char* sub : {"runtime", "config", "home", "Library"}) {
        std::filesystem::create_directories(world.base / sub);
    }
    std::filesystem::permissions(world.base / "runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    ::setenv("XDG_RUNTIME_DIR", (world.base / "runtime").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (world.base / "config").c_str(), 1);
    ::setenv("HOME", (world.base / "home").c_str(), 1);
    world.standinLog = world.base / "standin.log";
    world.status = world.base / "view-status.json";
}

// A datagram socket bound at the path; Fail when it cannot be made.
int BindDatagram(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.native().size() >= sizeof address.sun_path) Fail("cannot make a socket");
    std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Fail("cannot bind " + path.string());
    }
    return fd;
}

// The next datagram of the socket, or nothing within the time.
std::optional<std::string> Receive(int fd, std::chrono::milliseconds timeout) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    std::string buffer(64 * 1024, '\0');
    const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(got));
    return buffer;
}

void SetUpDesktop() {
    std::filesystem::create_directories(world.base / "journal");
    world.journal = BindDatagram(world.base / "journal/socket");
    world.notify = BindDatagram(world.base / "notify");
    ::setenv("NOTIFY_SOCKET", (world.base / "notify").c_str(), 1);
}

void StartStandIn() {
    const auto pidFile = world.base / "standin.pid";
    world.standIn =
        Spawn({STANDIN_PROGRAM, "--pid-file", pidFile.string(), "--log", world.standinLog.string()},
              world.base / "standin-output.txt");
    if (!WaitUntil([&] { return std::filesystem::exists(pidFile); }))
        Fail("the stand-in does not serve");
}

std::optional<long> StatusNumber(std::string_view key) {
    const std::string status = ReadAll(world.status);
    const std::string quoted = "\"" + std::string(key) + "\":";
    const auto at = status.find(quoted);
    if (at == std::string::npos) return std::nullopt;
    return std::strtol(status.c_str() + at + quoted.size(), nullptr, 10);
}

std::vector<pid_t> Threads(pid_t pid) {
    std::vector<pid_t> threads;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/task", error),
         end;
         !error && it != end; it.increment(error)) {
        threads.push_back(static_cast<pid_t>(std::stol(it->path().filename().string())));
    }
    return threads;
}

std::filesystem::path TaskFile(pid_t tid, const char* name) {
    return "/proc/" + std::to_string(world.monitor) + "/task/" + std::to_string(tid) + "/" + name;
}

bool WaitingInEpoll(pid_t tid) {
    std::ifstream syscall(TaskFile(tid, "syscall"));
    long number = -1;
    if (!(syscall >> number)) return false;
#ifdef SYS_epoll_pwait2
    if (number == SYS_epoll_pwait2) return true;
#endif
    return number == SYS_epoll_wait || number == SYS_epoll_pwait;
}

// Every thread of the monitor waits in its run loop with nothing to do.
bool Idle() {
    const auto threads = Threads(world.monitor);
    return !threads.empty() && std::all_of(threads.begin(), threads.end(), WaitingInEpoll);
}

void StartMonitor() {
    world.view = Spawn({RUN_IN_VIEW_SCRIPT, "--library", (world.base / "Library").string(),
                        "--journal", (world.base / "journal").string(), "--status-file",
                        world.status.string(), "--", MONITOR_PROGRAM},
                       world.base / "monitor-output.txt");
    if (!WaitUntil([] { return StatusNumber("child-pid").has_value(); }))
        Fail("the view reports no pid");
    world.monitor = static_cast<pid_t>(*StatusNumber("child-pid"));
    const auto ready = Receive(world.notify, 10s);
    if (!ready || !ready->starts_with("READY=1\n")) Fail("the monitor did not report itself ready");
    if (!WaitUntil(Idle)) Fail("the monitor does not settle into its event loop");
}

// The monitor's context switches, by thread.
std::map<pid_t, long> ContextSwitches() {
    std::map<pid_t, long> switches;
    for (const pid_t tid : Threads(world.monitor)) {
        std::ifstream status(TaskFile(tid, "status"));
        long total = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:")) {
                total += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
            }
        }
        switches[tid] = total;
    }
    return switches;
}

// CPU time of all the monitor's threads: the process CPU clock, to the nanosecond.
double CpuSeconds() {
    clockid_t clock{};
    timespec time{};
    if (::clock_getcpuclockid(world.monitor, &clock) != 0 || ::clock_gettime(clock, &time) != 0) {
        Fail("cannot read the monitor's CPU clock");
    }
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// utime + stime of /proc/<pid>/stat, in clock ticks.
long CpuTicks() {
    const std::string stat = ReadAll("/proc/" + std::to_string(world.monitor) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    // After "pid (comm)": state is field 3, utime 14 and stime 15.
    for (int number = 3; number <= 13 && fields >> field; ++number) {
    }
    fields >> utime >> stime;
    return utime + stime;
}

struct Memory {
    long privateKiB = 0;
    long rssKiB = 0;
};

Memory ReadMemory() {
    std::ifstream rollup("/proc/" + std::to_string(world.monitor) + "/smaps_rollup");
    Memory memory;
    for (std::string line; std::getline(rollup, line);) {
        const long value = std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
        if (line.starts_with("Private_Clean:") || line.starts_with("Private_Dirty:"))
            memory.privateKiB += value;
        if (line.starts_with("Rss:")) memory.rssKiB = value;
    }
    return memory;
}

struct IdleFigures {
    bool measured = false;
    int threads = 0;
    long wakeUps = 0;
    double cpuMs = 0;
    long cpuTicks = 0;
    Memory memory;
};
IdleFigures idle;

void BM_IdleMonitor(benchmark::State& state) {
    for (auto _ : state) {
        const auto switchesBefore = ContextSwitches();
        const double cpuBefore = CpuSeconds();
        const long ticksBefore = CpuTicks();
        std::this_thread::sleep_for(kIdleWindow);
        const auto switchesAfter = ContextSwitches();
        idle.cpuMs = (CpuSeconds() - cpuBefore) * 1000;
        idle.cpuTicks = CpuTicks() - ticksBefore;
        idle.wakeUps = 0;
        for (const auto& [tid, count] : switchesAfter) {
            const auto before = switchesBefore.find(tid);
            idle.wakeUps += count - (before == switchesBefore.end() ? 0 : before->second);
        }
        idle.threads = static_cast<int>(switchesAfter.size());
        idle.memory = ReadMemory();
        idle.measured = true;
    }
    state.counters["wake_ups"] = static_cast<double>(idle.wakeUps);
    state.counters["cpu_ms"] = idle.cpuMs;
    state.counters["private_KiB"] = static_cast<double>(idle.memory.privateKiB);
    state.counters["rss_KiB"] = static_cast<double>(idle.memory.rssKiB);
}
BENCHMARK(BM_IdleMonitor)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

std::vector<double> requestMicroseconds;

void BM_ScanRequestThroughMonitor(benchmark::State& state) {
    const auto request = monitor::MessageBytes(
        monitor::NetworkButtonEvent{{1, 1, 44, 0, 0, 0, 1, 5}, {192, 168, 100, 200}});
    bench_support::FileGrowth growth(world.standinLog);
    if (!growth.ok()) Fail("cannot watch " + world.standinLog.string());
    auto size = bench_support::file_size_or_zero(world.standinLog);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!platform::msgport::send_message(monitor::ButtonPortName, 0, request)) {
            state.SkipWithError("the monitor's port is not served");
            break;
        }
        if (auto grown = growth.wait_beyond(size)) {
            size = *grown;
        } else {
            Fail("cannot watch the stand-in's log");
        }
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(taken.count());
        requestMicroseconds.push_back(taken.count() * 1e6);
    }
}
BENCHMARK(BM_ScanRequestThroughMonitor)
    ->Iterations(kScanRequests)
    ->Repetitions(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

// The journal entries the whole run made, by message.
std::vector<std::string> JournalMessages() {
    std::vector<std::string> messages;
    while (const auto entry = Receive(world.journal, 0ms)) {
        const auto at = entry->find("MESSAGE=");
        messages.push_back(
            at == std::string::npos ? "?" : entry->substr(at + 8, entry->find('\n', at) - at - 8));
    }
    return messages;
}

void PrintFigures(const Memory& afterRequests) {
    std::printf("\nbutton-monitor, pid %d, measured from outside\n",
                static_cast<int>(world.monitor));
    if (idle.measured) {
        std::printf(
            "Idle for %lld s: %ld wake-ups over %d threads (target: 0, %s; a program "
            "polling 2-3 times a second: 20-30)\n",
            static_cast<long long>(kIdleWindow.count()), idle.wakeUps, idle.threads,
            Verdict(idle.wakeUps == 0));
        std::printf("Idle CPU time: %.3f ms (%ld clock ticks in /proc/<pid>/stat)\n", idle.cpuMs,
                    idle.cpuTicks);
        std::printf("Idle memory: private %ld KiB (target: under %ld KiB, %s), resident %ld KiB\n",
                    idle.memory.privateKiB, kPrivateTargetKiB,
                    Verdict(idle.memory.privateKiB < kPrivateTargetKiB), idle.memory.rssKiB);
    }
    if (!requestMicroseconds.empty()) {
        auto sorted = requestMicroseconds;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        std::printf(
            "Network scan request, datagram sent to event logged by the stand-in, %zu "
            "times: median %.1f us, min %.1f us, max %.1f us\n",
            n, median, sorted.front(), sorted.back());
        std::printf("Memory when idle again after them: private %ld KiB, resident %ld KiB\n",
                    afterRequests.privateKiB, afterRequests.rssKiB);
    }
    const auto messages = JournalMessages();
    std::printf("Journal entries of the run: %zu", messages.size());
    for (const auto& message : messages) std::printf(" [%s]", message.c_str());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SetUpWorld();
    StartStandIn();
    SetUpDesktop();
    StartMonitor();

    benchmark::RunSpecifiedBenchmarks();
    if (!WaitUntil(Idle)) Fail("the monitor does not settle after the requests");
    PrintFigures(ReadMemory());
    benchmark::Shutdown();

    // The monitor's own end: SIGTERM, and the exit status it reports through the view.
    ::kill(world.monitor, SIGTERM);
    int status = 0;
    ::waitpid(world.view, &status, 0);
    world.monitor = world.view = -1;
    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::printf("Exit after SIGTERM: %s\n", clean ? "status 0" : "NOT status 0");
    EndChildren();
    std::error_code ignored;
    std::filesystem::remove_all(world.base, ignored);
    return clean ? 0 : 1;
}
