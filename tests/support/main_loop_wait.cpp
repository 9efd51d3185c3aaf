#include "tests/support/main_loop_wait.hpp"

#include <sys/epoll.h>
#include <sys/timerfd.h>

#include <algorithm>

#include "platform/base/unique_fd.hpp"
#include "platform/runloop/run_loop.hpp"

namespace testing_support {

namespace {

constexpr std::chrono::milliseconds kSlice{10};

// One slice of the loop, ended by a timerfd: the loop's own timers may fire up to a quarter
// second late (sd-event's default accuracy), which is too coarse for a test's waits.
void run_slice(std::chrono::milliseconds length) {
    auto& loop = platform::runloop::RunLoop::main();
    const platform::UniqueFd timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    itimerspec when{};
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::max(length, std::chrono::milliseconds(1)))
                        .count();
    when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (!timer || ::timerfd_settime(timer.get(), 0, &when, nullptr) != 0) return;
    auto source = loop.add_fd(timer.get(), EPOLLIN, [&loop](std::uint32_t) { loop.stop(); });
    if (!source) return;
    loop.run();
}

}  // namespace

bool run_main_loop_until(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        run_slice(kSlice);
    }
    return true;
}

void run_main_loop_for(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
        run_slice(std::min(kSlice,
                           std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
    }
}

}  // namespace testing_support
