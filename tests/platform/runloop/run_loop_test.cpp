#include "platform/runloop/run_loop.hpp"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <csignal>
#include <thread>
#include <vector>

#include "tests/support/descriptor_limit.hpp"

namespace {

using platform::UniqueFd;
using platform::runloop::RunLoop;
using platform::runloop::Source;
using namespace std::chrono_literals;

void signal_fd(int fd) {
    const std::uint64_t one = 1;
    ASSERT_EQ(::write(fd, &one, sizeof one), static_cast<ssize_t>(sizeof one));
}

void drain_fd(int fd) {
    std::uint64_t count = 0;
    ASSERT_EQ(::read(fd, &count, sizeof count), static_cast<ssize_t>(sizeof count));
}

TEST(RunLoop, RunFinishesWhenNoSourceIsLeft) {
    RunLoop& loop = RunLoop::current();
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Finished);

    UniqueFd event(::eventfd(0, EFD_NONBLOCK));
    std::vector<int> seen;
    Source source;
    auto added = loop.add_fd(event.get(), EPOLLIN, [&](std::uint32_t events) {
        drain_fd(event.get());
        seen.push_back(static_cast<int>(events));
        if (seen.size() == 2)
            source.reset();  // removing itself from its own callback
        else
            signal_fd(event.get());
    });
    ASSERT_TRUE(added);
    source = std::move(added.value());
    signal_fd(event.get());
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Finished);
    EXPECT_EQ(seen, (std::vector<int>{EPOLLIN, EPOLLIN}));
    EXPECT_FALSE(source.active());
}

TEST(RunLoop, TimersFireOnceAndKeepTheLoopGoingUntilThen) {
    RunLoop& loop = RunLoop::current();
    int fired = 0;
    auto timer = loop.add_timer(1ms, [&] {
        ++fired;
        loop.stop();
    });
    ASSERT_TRUE(timer);
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Stopped);
    EXPECT_EQ(fired, 1);
    timer->reset();
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Finished);
}

TEST(RunLoop, StopFromAnotherThreadAndStopBeforeRun) {
    RunLoop& loop = RunLoop::current();
    UniqueFd idle(::eventfd(0, EFD_NONBLOCK));
    auto source = loop.add_fd(idle.get(), EPOLLIN, [](std::uint32_t) {});
    ASSERT_TRUE(source);

    std::thread stopper([&loop] {
        std::this_thread::sleep_for(20ms);
        loop.stop();
    });
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Stopped);
    stopper.join();

    loop.stop();
    EXPECT_EQ(loop.run(), RunLoop::RunResult::Stopped) << "a stop before run is kept";
}

TEST(RunLoop, PostedTasksRunOnTheLoopThreadInOrder) {
    std::vector<int> order;
    std::thread::id ran_on;
    std::thread worker([&] {
        RunLoop& loop = RunLoop::current();
        EXPECT_NE(&loop, &RunLoop::main());
        UniqueFd idle(::eventfd(0, EFD_NONBLOCK));
        auto keep_alive = loop.add_fd(idle.get(), EPOLLIN, [](std::uint32_t) {});
        ASSERT_TRUE(keep_alive);
        for (int i = 0; i < 100; ++i) {
            loop.post([&order, i] { order.push_back(i); });
        }
        loop.post([&] {
            ran_on = std::this_thread::get_id();
            loop.stop();
        });
        EXPECT_EQ(loop.run(), RunLoop::RunResult::Stopped);
    });
    worker.join();
    ASSERT_EQ(order.size(), 100U);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_NE(ran_on, std::this_thread::get_id());
}

TEST(RunLoop, ALoopMadeWithoutDescriptorsFailsItsCallersAndNotTheProcess) {
    std::thread worker([] {
        RunLoop* loop = nullptr;
        {
            const testing_support::SpareDescriptors none(0);
            loop = &RunLoop::current();
        }
        // Descriptors are there again, but the thread keeps the loop it got.
        EXPECT_EQ(&RunLoop::current(), loop);
        UniqueFd event(::eventfd(0, EFD_NONBLOCK));
        ASSERT_TRUE(event);
        auto watch = loop->add_fd(event.get(), EPOLLIN, [](std::uint32_t) {});
        ASSERT_FALSE(watch);
        EXPECT_NE(watch.error().message.find("Too many open files"), std::string::npos)
            << watch.error().message;
        EXPECT_FALSE(loop->add_timer(0ms, [] {}));

        bool ran = false;
        loop->post([&ran] { ran = true; });
        EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished) << "returns at once";
        EXPECT_FALSE(ran);
    });
    worker.join();

    // Other threads are not affected: a new thread makes a loop of its own that works.
    std::thread other([] {
        UniqueFd event(::eventfd(0, EFD_NONBLOCK));
        auto watch = RunLoop::current().add_fd(event.get(), EPOLLIN, [](std::uint32_t) {});
        EXPECT_TRUE(watch) << (watch ? "" : watch.error().message);
    });
    other.join();
}

TEST(RunLoop, MainLoopIsReachableFromOtherThreads) {
    RunLoop& main_loop = RunLoop::current();
    EXPECT_EQ(&main_loop, &RunLoop::main());
    bool ran_on_main = false;
    std::thread other([&ran_on_main] {
        RunLoop::main().post([&ran_on_main] {
            ran_on_main = true;
            platform::runloop::request_main_quit();
        });
    });
    main_loop.run_until_quit();
    other.join();
    EXPECT_TRUE(ran_on_main);
}

extern "C" void quit_on_signal(int) { platform::runloop::request_main_quit(); }

TEST(RunLoop, QuitRequestsFromSignalHandlersAreNeverLost) {
    ASSERT_NE(std::signal(SIGUSR1, quit_on_signal), SIG_ERR);
    // A request made before the loop runs ends its next run at once.
    std::raise(SIGUSR1);
    RunLoop::main().run_until_quit();

    // One that arrives while it waits wakes it.
    std::thread sender([] {
        std::this_thread::sleep_for(20ms);
        ::kill(::getpid(), SIGUSR1);
    });
    RunLoop::main().run_until_quit();
    sender.join();
    std::signal(SIGUSR1, SIG_DFL);
}

}  // namespace
