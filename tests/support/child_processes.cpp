#include "tests/support/child_processes.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

pid_t start_program(const std::vector<std::string>& argv,
                    const std::optional<std::filesystem::path>& stdin_file) {
    std::vector<char*> pointers;
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    const std::string input = stdin_file ? stdin_file->string() : "/dev/null";
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int fd = ::open(input.c_str(), O_RDONLY);
    if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0) ::_exit(126);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
}

void adopt_orphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

std::vector<pid_t> child_processes() {
    std::vector<pid_t> children;
    const pid_t self = ::getpid();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: the command may hold spaces and parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == self) children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

void end_all_children(std::chrono::milliseconds grace) {
    for (const pid_t child : child_processes()) ::kill(child, SIGTERM);
    wait_until(
        [] {
            while (::waitpid(-1, nullptr, WNOHANG) > 0) {
            }
            return child_processes().empty();
        },
        grace);
    for (const pid_t child : child_processes()) ::kill(child, SIGKILL);
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::optional<pid_t> read_pid_file(const std::filesystem::path& path) {
    std::ifstream in(path);
    long pid = 0;
    if (!(in >> pid) || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

std::optional<int> wait_for_exit(pid_t child, std::chrono::milliseconds timeout) {
    int status = 0;
    const bool ended =
        wait_until([&] { return ::waitpid(child, &status, WNOHANG) == child; }, timeout);
    if (!ended) return std::nullopt;
    return status;
}

}  // namespace testing_support
