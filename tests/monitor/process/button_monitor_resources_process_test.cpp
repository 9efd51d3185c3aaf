// The button-monitor program as a whole when its process is short of something: few file
// descriptors, closed standard streams, a standard error whose reader has gone. Whatever it
// lacks, it either ends in order with status 0 or runs until it is asked to end.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "platform/msgport/named_socket.hpp"
#include "tests/monitor/process/process_fixture.hpp"

namespace {

using process_test::DescribeExit;
using process_test::ErrorStream;
using process_test::MonitorInView;
using process_test::MonitorProcessTest;

class ButtonMonitorResources : public MonitorProcessTest {
protected:
    // A network destination list refresh; its unique number, 5, goes to standard error first.
    void SendRefresh() {
        const pid_t sender =
            testing_support::start_program({SENDER_PROGRAM, "--address", "10.0.0.5", "refresh"});
        ASSERT_EQ(DescribeExit(testing_support::wait_for_exit(sender)), "exit 0");
    }

    // Whether the refresh went on to its end, the scanner library closed again.
    bool RefreshHandled() {
        testing_support::wait_until(
            [&] { return LibraryCallCount("DisableScanner") == 1 || !monitor_.Running(); });
        return LibraryCallCount("DisableScanner") == 1;
    }
};

// A network event with a command the monitor does not know: it writes only its unique number
// (-56, of the address's last octet 200), as a datagram of the port (message ID 0 first).
std::vector<std::byte> UnknownCommandDatagram() {
    const std::uint8_t bytes[] = {0, 0, 0, 0, 1, 3, 0, 0, 0, 0, 0, 0, 10, 0, 0, 200};
    std::vector<std::byte> datagram;
    for (const auto byte : bytes) datagram.push_back(static_cast<std::byte>(byte));
    return datagram;
}

// What one run under a descriptor limit came to.
struct LimitedRun {
    int limit = 0;
    bool endedByItself = false;
    std::size_t threads = 0;  // in the event loop, when it ran
    std::string exit;
};

TEST_F(ButtonMonitorResources, UnderAnyDescriptorLimitItEndsInOrderOrRunsUntilAsked) {
    // From one descriptor beyond the standard streams (the least its libraries load with, one at
    // a time) up to plenty. Which step fails at a tight limit depends on how the main and port
    // threads meet, so each run is judged only by how it ends.
    constexpr int kLowest = 4;
    constexpr int kPlenty = 24;
    std::vector<LimitedRun> runs;
    for (int limit = kLowest; limit <= kPlenty; ++limit) {
        const auto folder = env_.base() / ("limit-" + std::to_string(limit));
        std::filesystem::create_directories(folder);
        LimitedRun run;
        run.limit = limit;
        MonitorInView monitor(folder);
        auto view = View();
        view.setup = "ulimit -n " + std::to_string(limit);
        ASSERT_TRUE(monitor.Start(view));
        const auto pid = monitor.Pid();
        ASSERT_TRUE(pid) << monitor.Output();
        // Either it ends, or it reaches its event loop: every thread then waits in epoll.
        ASSERT_TRUE(testing_support::wait_until([&] {
            return !monitor.Running() || process_test::AllThreadsWaitInEpoll(*pid);
        })) << "limit "
            << limit << ": neither ended nor idle";
        run.endedByItself = !monitor.Running();
        if (!run.endedByItself) {
            run.threads = process_test::ThreadCount(*pid);
            ASSERT_EQ(::kill(*pid, SIGTERM), 0);
        }
        run.exit = DescribeExit(monitor.WaitForExit());
        EXPECT_EQ(run.exit, "exit 0")
            << "limit " << limit << (run.endedByItself ? ", ended by itself" : ", ran")
            << "; output:\n"
            << monitor.Output();
        EXPECT_EQ(monitor.Output(), "") << "limit " << limit;
        EXPECT_FALSE(std::filesystem::exists(ButtonPortSocket())) << "limit " << limit;
        runs.push_back(run);
    }
    // The range covers both ends: with nothing to spare the watch cannot start; with plenty the
    // monitor runs with its port served.
    EXPECT_TRUE(runs.front().endedByItself);
    EXPECT_FALSE(runs.back().endedByItself);
    EXPECT_EQ(runs.back().threads, 2U);
}

TEST_F(ButtonMonitorResources, ClosedStandardStreamsBecomeNullAndNoFileTakesTheirPlace) {
    InstallSampleLibrary();
    auto view = View();
    view.setup = "exec 0<&- 1>&- 2>&-";
    StartMonitor(view);
    ASSERT_TRUE(WaitUntilIdle(2));
    for (int fd = 0; fd <= 2; ++fd) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(
            "/proc/" + std::to_string(pid_) + "/fd/" + std::to_string(fd), error);
        EXPECT_EQ(target, "/dev/null") << "descriptor " << fd << ": " << error.message();
    }

    // The unique number goes to /dev/null; the event is handled all the same.
    SendRefresh();
    EXPECT_TRUE(RefreshHandled());
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
}

class ButtonMonitorErrorReader : public ButtonMonitorResources,
                                 public ::testing::WithParamInterface<ErrorStream> {};

TEST_P(ButtonMonitorErrorReader, AStandardErrorWhoseReaderHasGoneDoesNotEndTheMonitor) {
    InstallSampleLibrary();
    auto view = View();
    view.errors = GetParam();
    StartMonitor(view);
    ASSERT_TRUE(WaitUntilIdle(2));
    monitor_.CloseErrorReader();

    SendRefresh();
    EXPECT_TRUE(RefreshHandled()) << "the handling goes on after the failed write; "
                                  << DescribeExit(monitor_.WaitForExit(std::chrono::seconds(0)));
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
    EXPECT_FALSE(std::filesystem::exists(ButtonPortSocket())) << "no stale socket is left";
}

TEST_P(ButtonMonitorErrorReader, AReaderThatStopsReadingHoldsUpNeitherTheEventsNorTheQuit) {
    auto view = View();
    view.errors = GetParam();
    view.smallErrorStream = true;
    StartMonitor(view);
    ASSERT_TRUE(WaitUntilIdle(2));

    // More unique numbers ("-56") than the stream holds; the reader keeps its end and reads
    // nothing. Each send waits while the port's queue is full: the port thread must go on.
    const std::vector<std::byte> unknownCommand = UnknownCommandDatagram();
    for (int event = 0; event < 1500; ++event) {
        const auto sent = platform::msgport::send_to_name("msgports", process_test::kButtonPort,
                                                          unknownCommand, std::chrono::seconds(20));
        ASSERT_TRUE(sent) << "event " << event << ": " << sent.error().message;
    }
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
}

INSTANTIATE_TEST_SUITE_P(Streams, ButtonMonitorErrorReader,
                         ::testing::Values(ErrorStream::Pipe, ErrorStream::Socket),
                         [](const auto& stream) {
                             return stream.param == ErrorStream::Pipe ? "Pipe" : "Socket";
                         });

}  // namespace
