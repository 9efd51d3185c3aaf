#include "tests/monitor/process/monitor_in_view.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "tests/support/child_processes.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

namespace process_test {

namespace {

constexpr const char* kStatusFile = "view-status.json";
constexpr const char* kOutputFile = "monitor-output.txt";

// The number after "key": in bubblewrap's JSON status lines, e.g. { "child-pid": 41, ... }.
std::optional<long> StatusNumber(const std::string& status, std::string_view key) {
    const std::string quoted = "\"" + std::string(key) + "\":";
    const auto at = status.find(quoted);
    if (at == std::string::npos) return std::nullopt;
    std::istringstream rest(status.substr(at + quoted.size()));
    long value = 0;
    if (!(rest >> value)) return std::nullopt;
    return value;
}

std::string ReadIfThere(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return {};
    return testing_support::read_file(path);
}

}  // namespace

MonitorInView::~MonitorInView() {
    CloseErrorReader();
    if (view_ <= 0) return;
    // The pid is the monitor's until bubblewrap reports its end; bubblewrap then exits too.
    if (Running() && Pid(std::chrono::seconds(1)) && !MonitorEnded()) ::kill(*monitor_, SIGKILL);
    if (!WaitForExit(std::chrono::seconds(5))) {
        ::kill(view_, SIGKILL);
        ::waitpid(view_, nullptr, 0);
    }
}

bool MonitorInView::Start(const ViewOptions& options) {
    std::vector<std::string> arguments{RUN_IN_VIEW_SCRIPT, "--library", options.library.string(),
                                       "--status-file", (folder_ / kStatusFile).string()};
    if (!options.withSys) arguments.emplace_back("--without-sys");
    if (!options.journal.empty())
        arguments.insert(arguments.end(), {"--journal", options.journal.string()});
    if (!options.users.empty())
        arguments.insert(arguments.end(), {"--users", options.users.string()});
    arguments.emplace_back("--");
    if (!options.setup.empty()) {
        arguments.insert(arguments.end(), {"/bin/sh", "-c", options.setup + "\nexec \"$@\"", "sh"});
    }
    if (options.preload) {
        arguments.insert(arguments.end(), {"/usr/bin/env", "LD_PRELOAD=" + *options.preload});
    }
    arguments.emplace_back(MONITOR_PROGRAM);
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());

    // The test's environment (private runtime, configuration and home folders) less the
    // test's own preload, which is for the test process only.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) != 0) environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());

    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    // The test keeps one end of a pipe or socket for the monitor's standard error; the
    // monitor gets the other (both close-on-exec here, dup2 clears that on the monitor's copy).
    int ends[2] = {-1, -1};
    if (options.errors == ErrorStream::Pipe && ::pipe2(ends, O_CLOEXEC) != 0) return false;
    if (options.errors == ErrorStream::Socket &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    if (options.smallErrorStream && options.errors == ErrorStream::Pipe) {
        (void)::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    }
    if (options.smallErrorStream && options.errors == ErrorStream::Socket) {
        const int least = 1;  // raised to the system's least
        (void)::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &least, sizeof least);
        (void)::setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &least, sizeof least);
    }

    const std::string output = (folder_ / kOutputFile).string();
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (ends[1] >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
    } else {
        ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    const int spawned = ::posix_spawn(&view_, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (ends[1] >= 0) ::close(ends[1]);
    errorReader_ = ends[0];
    if (spawned != 0) view_ = -1;
    return view_ > 0;
}

void MonitorInView::CloseErrorReader() {
    if (errorReader_ >= 0) ::close(errorReader_);
    errorReader_ = -1;
}

std::optional<pid_t> MonitorInView::Pid(std::chrono::milliseconds timeout) {
    if (!monitor_) {
        testing_support::wait_until(
            [&] {
                if (const auto pid =
                        StatusNumber(ReadIfThere(folder_ / kStatusFile), "child-pid")) {
                    monitor_ = static_cast<pid_t>(*pid);
                }
                return monitor_.has_value() || !Running();
            },
            timeout);
    }
    return monitor_;
}

std::optional<int> MonitorInView::WaitForExit(std::chrono::milliseconds timeout) {
    if (!waitStatus_ && view_ > 0) waitStatus_ = testing_support::wait_for_exit(view_, timeout);
    return waitStatus_;
}

bool MonitorInView::Running() {
    if (view_ <= 0 || waitStatus_) return false;
    int status = 0;
    if (::waitpid(view_, &status, WNOHANG) == view_) {
        waitStatus_ = status;
        return false;
    }
    return !MonitorEnded();
}

bool MonitorInView::MonitorEnded() const {
    return StatusNumber(ReadIfThere(folder_ / kStatusFile), "exit-code").has_value();
}

std::string MonitorInView::Output() const { return ReadIfThere(folder_ / kOutputFile); }

std::size_t ThreadCount(pid_t pid) {
    std::error_code error;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/task", error),
         end;
         !error && it != end; it.increment(error)) {
        ++count;
    }
    return count;
}

bool WaitingInEpoll(pid_t pid, pid_t tid) {
    // The first field is the number of the system call the thread is blocked in, or "running".
    std::ifstream syscall("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) +
                          "/syscall");
    long number = -1;
    if (!(syscall >> number)) return false;
    if (number == SYS_epoll_wait || number == SYS_epoll_pwait) return true;
#ifdef SYS_epoll_pwait2
    if (number == SYS_epoll_pwait2) return true;
#endif
    return false;
}

bool AllThreadsWaitInEpoll(pid_t pid) {
    std::error_code error;
    bool any = false;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/task", error),
         end;
         !error && it != end; it.increment(error)) {
        if (!WaitingInEpoll(pid, static_cast<pid_t>(std::stol(it->path().filename().string())))) {
            return false;
        }
        any = true;
    }
    return any && !error;
}

}  // namespace process_test
