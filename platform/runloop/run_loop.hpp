#pragma once
// Run loops: one per thread, on sd-event. A loop watches file descriptors and timers and calls
// their callbacks on its own thread, one at a time.
//
// Only a loop's own thread adds, changes or removes its sources and runs it. Any thread may stop
// a loop or post a task to it (both wake it through an eventfd). The main thread's loop is
// reachable from every thread through RunLoop::main().
//
// A loop needs two descriptors (its epoll instance and its eventfd). When they cannot be had
// (no descriptor left) the loop is made all the same, but unusable: adding a source fails with
// the reason, running returns at once and posted tasks are dropped. Callers learn of it from the
// result of add_fd or add_timer, as of any other failure to watch something. A thread keeps the
// loop it got, usable or not.

#include <sys/epoll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"

struct sd_event;
struct sd_event_source;

namespace platform::runloop {

class RunLoop;
struct LoopCore;

// A source on a run loop: an fd watch or a timer. Destroying it (or reset()) removes it from the
// loop, also from inside its own callback. Use on the loop's thread only.
class Source {
public:
    Source() noexcept = default;
    Source(Source&& other) noexcept;
    Source& operator=(Source&& other) noexcept;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source();

    bool active() const noexcept { return source_ != nullptr; }
    void reset() noexcept;

private:
    friend class RunLoop;
    Source(std::shared_ptr<LoopCore> core, sd_event_source* source) noexcept;

    std::shared_ptr<LoopCore> core_;
    sd_event_source* source_ = nullptr;
};

class RunLoop {
public:
    // The calling thread's loop, made on first use; on the main thread it is main().
    static RunLoop& current();
    // The main thread's loop, from any thread.
    static RunLoop& main();

    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;
    ~RunLoop();

    using FdCallback = std::function<void(std::uint32_t epoll_events)>;
    using TimerCallback = std::function<void()>;

    // Watches fd for the epoll events given (EPOLLIN, ...). The fd stays the caller's.
    Result<Source> add_fd(int fd, std::uint32_t events, FdCallback callback);
    // Calls back once after the delay (monotonic clock); the source is then spent, but keeps
    // run() going until it is destroyed, like any other source that is still held.
    Result<Source> add_timer(std::chrono::microseconds delay, TimerCallback callback);

    // The loop's own sd-event object, for platform code that attaches libsystemd's objects to
    // it (a udev monitor), so that a thread has one event loop only. Fails like add_fd when the
    // loop is unusable. Stays the loop's: do not unref it.
    Result<sd_event*> event();
    // Makes a source attached that way one of the loop's sources: it keeps run() going while
    // the returned Source is held, and is disabled when that is destroyed. Takes a reference of
    // its own; the source must be on this loop.
    Source adopt(sd_event_source* source);

    enum class RunResult { Stopped, Finished };
    // Runs until stop() (Stopped) or until no fd or timer source is left (Finished). A stop that
    // came while the loop was not running makes the next run() return at once.
    RunResult run();
    // Any thread.
    void stop();
    // Any thread: the task runs on the loop's thread, after the tasks posted before it, when the
    // loop runs.
    void post(std::function<void()> task);

    // Runs the loop until request_main_quit() (the application event loop). Main thread only.
    void run_until_quit();

private:
    friend void request_main_quit() noexcept;
    RunLoop();
    bool run_once();
    void wake();
    void drain_wakeups();

    std::shared_ptr<LoopCore> core_;
    std::string unusable_;  // why the loop does not work; empty when it does
    UniqueFd wake_fd_;
    sd_event_source* wake_source_ = nullptr;
    std::atomic<bool> stop_requested_{false};
    std::mutex tasks_lock_;
    std::deque<std::function<void()>> tasks_;
};

// Asks the main thread's loop to leave run_until_quit(). Async-signal-safe: a signal handler may
// call it, and a request made before the loop runs is kept.
void request_main_quit() noexcept;

}  // namespace platform::runloop
