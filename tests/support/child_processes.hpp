#pragma once
// Processes a test starts. Every one of them is ended by the test: ChildProcessGuard ends and
// reaps all children of the test process when it goes away, and adopt_orphans() makes programs
// that detach (double fork) children of the test too.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Starts the program (argv[0] is its path) with the test's environment. Standard input is the
// file when one is given, else /dev/null; output goes where the test's goes. -1 on failure.
pid_t start_program(const std::vector<std::string>& argv,
                    const std::optional<std::filesystem::path>& stdin_file = std::nullopt);

// Orphaned descendants become children of this process (a child subreaper), so that a test
// can end and reap what a launcher left running.
void adopt_orphans();

// The children of this process now, from /proc.
std::vector<pid_t> child_processes();

// Sends SIGTERM to every child, SIGKILL to those still there after the grace time, and reaps
// them all.
void end_all_children(std::chrono::milliseconds grace = std::chrono::seconds(5));

class ChildProcessGuard {
public:
    ChildProcessGuard() = default;
    ChildProcessGuard(const ChildProcessGuard&) = delete;
    ChildProcessGuard& operator=(const ChildProcessGuard&) = delete;
    ~ChildProcessGuard() { end_all_children(); }
};

// Polls until the condition holds or the time is up; the condition's last answer.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The process ID in a pid file, once the file exists and holds one.
std::optional<pid_t> read_pid_file(const std::filesystem::path& path);

// Waits for the child to end; its wait status, or nullopt after the timeout.
std::optional<int> wait_for_exit(pid_t child,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testing_support
