#pragma once
// The real button-monitor program, run by a test inside the private file-system view of
// scripts/run-in-view.sh, with a fixture folder as /Library and the test's runtime,
// configuration and home folders (which lie under /tmp, writable in the view).
//
// The view's script becomes bubblewrap, whose exit status is the monitor's and which passes no
// signal on: signals go to the monitor's own pid, read from bubblewrap's status file. Whatever
// the test does, the monitor and its view are ended and reaped when the object goes away.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace process_test {

// Where the monitor's standard error goes: with its standard output into the output file, or
// into a pipe or a stream socket whose reading end the test holds (CloseErrorReader()).
enum class ErrorStream { OutputFile, Pipe, Socket };

struct ViewOptions {
    std::filesystem::path library;  // seen as /Library
    bool withSys = true;            // false: no /sys, so the monitor cannot watch USB
    // LD_PRELOAD for the monitor alone (umockdev's preload library); the view's script and
    // bubblewrap run without it.
    std::optional<std::string> preload;
    std::filesystem::path users;  // seen as /Users when set
    // Shell commands run in the monitor's own process just before the monitor starts, inside
    // the view: "ulimit -n 8", "exec 2>&-".
    std::string setup;
    ErrorStream errors = ErrorStream::OutputFile;
    // The pipe or socket of standard error holds as little as the system allows, so that a
    // reader that does not read is soon a full stream.
    bool smallErrorStream = false;
    // Seen as /run/systemd/journal (a stand-in journal's folder); none when empty.
    std::filesystem::path journal;
    // "NAME=value" entries added to the monitor's environment (NOTIFY_SOCKET, DISPLAY, ...).
    std::vector<std::string> environment;
    // The monitor's arguments.
    std::vector<std::string> arguments;
};

class MonitorInView {
public:
    // Files of the run (status, output) go into the folder, which must exist.
    explicit MonitorInView(std::filesystem::path folder) : folder_(std::move(folder)) {}
    MonitorInView(const MonitorInView&) = delete;
    MonitorInView& operator=(const MonitorInView&) = delete;
    // Kills a monitor still running and reaps the view.
    ~MonitorInView();

    // Starts the view with the monitor in it; standard output and error go to a file. False
    // when nothing could be started.
    bool Start(const ViewOptions& options);

    // The monitor's pid, once bubblewrap has reported it.
    std::optional<pid_t> Pid(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The view's wait status (its exit status is the monitor's), or nullopt when it has not
    // ended in time.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Whether the monitor is still there: the view has not ended and bubblewrap has not seen
    // the monitor end.
    bool Running();
    // What the monitor (and the view) wrote on standard output, and on standard error when it
    // goes to the output file.
    std::string Output() const;
    // Closes the test's end of the monitor's standard error when that is a pipe or socket: the
    // monitor then writes to a reader that has gone.
    void CloseErrorReader();

private:
    bool MonitorEnded() const;

    std::filesystem::path folder_;
    pid_t view_ = -1;
    std::optional<pid_t> monitor_;
    std::optional<int> waitStatus_;
    int errorReader_ = -1;
};

// Readings of a live process from /proc.
// The number of its threads.
std::size_t ThreadCount(pid_t pid);
// Whether the thread is blocked waiting in epoll, as a run loop does when it has nothing to do.
bool WaitingInEpoll(pid_t pid, pid_t tid);
// Whether every thread of the process waits in epoll.
bool AllThreadsWaitInEpoll(pid_t pid);

}  // namespace process_test
