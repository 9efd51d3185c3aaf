#include "platform/runloop/run_loop.hpp"

#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "platform/base/errno_text.hpp"

namespace platform::runloop {

// The sd-event object and the count of the sources that keep run() going. Sources hold it too,
// so a source that outlives its loop object still finds what it needs to remove itself.
struct LoopCore {
    sd_event* event = nullptr;
    int user_sources = 0;
    ~LoopCore() { sd_event_unref(event); }
};

namespace {

std::atomic<bool> quit_requested{false};
std::atomic<int> main_wake_fd{-1};

bool on_main_thread() { return ::syscall(SYS_gettid) == ::getpid(); }

// The callbacks live on the heap, owned by their sd-event source through its destroy callback.
template <class Callback>
void destroy_callback(void* userdata) {
    delete static_cast<Callback*>(userdata);  // NOLINT: owned by the sd-event source
}

int dispatch_fd(sd_event_source*, int, std::uint32_t events, void* userdata) {
    // Copy first: the callback may remove its own source, which destroys the stored one.
    auto callback = *static_cast<RunLoop::FdCallback*>(userdata);
    callback(events);
    return 0;
}

int dispatch_timer(sd_event_source*, std::uint64_t, void* userdata) {
    auto callback = *static_cast<RunLoop::TimerCallback*>(userdata);
    callback();
    return 0;
}

Error sd_error(const char* what, int negative_errno) {
    return Error{errno_text(what, -negative_errno)};
}

}  // namespace

Source::Source(std::shared_ptr<LoopCore> core, sd_event_source* source) noexcept
    : core_(std::move(core)), source_(source) {}

Source::Source(Source&& other) noexcept
    : core_(std::move(other.core_)), source_(std::exchange(other.source_, nullptr)) {}

Source& Source::operator=(Source&& other) noexcept {
    if (this != &other) {
        reset();
        core_ = std::move(other.core_);
        source_ = std::exchange(other.source_, nullptr);
    }
    return *this;
}

Source::~Source() { reset(); }

void Source::reset() noexcept {
    if (!source_) return;
    sd_event_source_disable_unref(std::exchange(source_, nullptr));
    --core_->user_sources;
    core_.reset();
}

RunLoop& RunLoop::main() {
    // Never destroyed: other threads may still reach it while the process exits.
    static RunLoop* const loop = [] {
        auto* made = new RunLoop();  // NOLINT: lives as long as the process
        main_wake_fd.store(made->wake_fd_.get());
        return made;
    }();
    return *loop;
}

RunLoop& RunLoop::current() {
    if (on_main_thread()) return main();
    thread_local std::unique_ptr<RunLoop> loop(new RunLoop());  // NOLINT: private constructor
    return *loop;
}

RunLoop::RunLoop() : core_(std::make_shared<LoopCore>()) {
    sd_event* event = nullptr;
    if (const int made = sd_event_new(&event); made < 0) {
        unusable_ = errno_text("cannot make a run loop", -made);
        return;
    }
    wake_fd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_fd_) {
        unusable_ = errno_text("cannot make a run loop's wake-up descriptor", errno);
        sd_event_unref(event);
        return;
    }
    const int added = sd_event_add_io(
        event, &wake_source_, wake_fd_.get(), EPOLLIN,
        [](sd_event_source*, int, std::uint32_t, void* self) {
            static_cast<RunLoop*>(self)->drain_wakeups();
            return 0;
        },
        this);
    if (added < 0) {
        unusable_ = errno_text("cannot watch a run loop's wake-up descriptor", -added);
        sd_event_unref(event);
        wake_fd_.reset();
        return;
    }
    core_->event = event;
}

RunLoop::~RunLoop() { sd_event_source_disable_unref(wake_source_); }

Result<Source> RunLoop::add_fd(int fd, std::uint32_t events, FdCallback callback) {
    if (!core_->event) return Error{unusable_};
    auto owned = std::make_unique<FdCallback>(std::move(callback));
    sd_event_source* source = nullptr;
    const int added = sd_event_add_io(core_->event, &source, fd, events, dispatch_fd, owned.get());
    if (added < 0) return sd_error("cannot watch file descriptor", added);
    sd_event_source_set_destroy_callback(source, destroy_callback<FdCallback>);
    owned.release();
    ++core_->user_sources;
    return Source(core_, source);
}

Result<Source> RunLoop::add_timer(std::chrono::microseconds delay, TimerCallback callback) {
    if (!core_->event) return Error{unusable_};
    auto owned = std::make_unique<TimerCallback>(std::move(callback));
    sd_event_source* source = nullptr;
    const auto usec = static_cast<std::uint64_t>(std::max<std::int64_t>(delay.count(), 0));
    const int added = sd_event_add_time_relative(core_->event, &source, CLOCK_MONOTONIC, usec, 0,
                                                 dispatch_timer, owned.get());
    if (added < 0) return sd_error("cannot add timer", added);
    sd_event_source_set_destroy_callback(source, destroy_callback<TimerCallback>);
    owned.release();
    ++core_->user_sources;
    return Source(core_, source);
}

Result<sd_event*> RunLoop::event() {
    if (!core_->event) return Error{unusable_};
    return core_->event;
}

Source RunLoop::adopt(sd_event_source* source) {
    ++core_->user_sources;
    return Source(core_, sd_event_source_ref(source));
}

bool RunLoop::run_once() {
    if (!core_->event) return false;
    const int result = sd_event_run(core_->event, std::numeric_limits<std::uint64_t>::max());
    return result >= 0 || result == -EINTR;
}

RunLoop::RunResult RunLoop::run() {
    for (;;) {
        if (stop_requested_.exchange(false)) return RunResult::Stopped;
        if (core_->user_sources == 0) return RunResult::Finished;
        if (!run_once()) return RunResult::Finished;
    }
}

void RunLoop::run_until_quit() {
    while (!quit_requested.exchange(false)) {
        if (!run_once()) break;
    }
}

void RunLoop::stop() {
    stop_requested_.store(true);
    wake();
}

void RunLoop::post(std::function<void()> task) {
    if (!core_->event) return;  // it would never run
    {
        const std::lock_guard guard(tasks_lock_);
        tasks_.push_back(std::move(task));
    }
    wake();
}

void RunLoop::wake() {
    if (!wake_fd_) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_fd_.get(), &one, sizeof one);
}

void RunLoop::drain_wakeups() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read_bytes = ::read(wake_fd_.get(), &count, sizeof count);
    std::deque<std::function<void()>> ready;
    {
        const std::lock_guard guard(tasks_lock_);
        ready.swap(tasks_);
    }
    for (auto& task : ready) task();
}

void request_main_quit() noexcept {
    const int saved_errno = errno;
    quit_requested.store(true);
    const int fd = main_wake_fd.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    }
    errno = saved_errno;
}

}  // namespace platform::runloop
