#include "tests/support/private_bus.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/child_processes.hpp"
#include "tests/support/temp_dir.hpp"

namespace testing_support {

namespace {

std::string Config(const std::filesystem::path& socket) {
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
           socket.string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

// Runs the program with its output into the file; -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& output) {
    std::vector<char*> pointers;
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
        ::dup2(out, STDERR_FILENO) < 0) {
        ::_exit(126);
    }
    ::execvp(pointers[0], pointers.data());
    ::_exit(127);
}

}  // namespace

PrivateBus::PrivateBus(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
    const auto socket = folder_ / "bus";
    write_file(folder_ / "bus.conf", Config(socket));
    // The daemon prints its address once it listens; the socket's file is there earlier, from
    // bind(), and a client that connects in between is refused.
    const auto log = folder_ / "dbus-daemon.log";
    daemon_ = Spawn({"dbus-daemon", "--config-file=" + (folder_ / "bus.conf").string(), "--nofork",
                     "--print-address"},
                    log);
    if (daemon_ <= 0) return;
    const auto listening = [&] {
        std::ifstream printed(log);
        for (std::string line; std::getline(printed, line);) {
            if (line.find("unix:path=" + socket.string()) != std::string::npos) return true;
        }
        return false;
    };
    bool ended = false;  // and reaped: not installed, or it refused the configuration
    if (!wait_until(
            [&] { return listening() || (ended = wait_for_exit(daemon_, {}).has_value()); }) ||
        !listening()) {
        if (ended) daemon_ = -1;
        Stop(daemon_);
        return;
    }
    address_ = "unix:path=" + socket.string();
    if (const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS")) savedAddress_ = saved;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateBus::~PrivateBus() {
    Stop(manager_);
    Stop(daemon_);
    if (address_.empty()) return;
    if (savedAddress_) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_->c_str(), 1);
    } else {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

void PrivateBus::Stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::kill(pid, SIGCONT);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool PrivateBus::StartManager(const StandInManagerOptions& options) {
    if (!available() || manager_ > 0) return false;
    const auto ready = folder_ / "manager.ready";
    std::vector<std::string> argv{STANDIN_USER_MANAGER, "--record",
                                  (folder_ / "manager.calls").string(), "--ready", ready.string()};
    if (options.refuse) argv.emplace_back("--refuse");
    for (const auto& entry : options.environment) argv.insert(argv.end(), {"--environment", entry});
    manager_ = Spawn(argv, folder_ / "manager.log");
    if (manager_ <= 0) return false;
    return wait_until([&] { return std::filesystem::exists(ready); });
}

std::vector<std::string> PrivateBus::ManagerCalls() const {
    std::vector<std::string> calls;
    std::ifstream record(folder_ / "manager.calls");
    for (std::string line; std::getline(record, line);) calls.push_back(line);
    return calls;
}

void PrivateBus::SilenceManager() {
    if (manager_ > 0) ::kill(manager_, SIGSTOP);
}

void PrivateBus::SilenceBus() {
    if (daemon_ > 0) ::kill(daemon_, SIGSTOP);
}

}  // namespace testing_support
