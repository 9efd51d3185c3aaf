// The button-monitor program as a whole when its process is short of something: closed standard
// streams, a standard error whose reader has gone. It runs on until it is asked to end.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "tests/monitor/process/process_fixture.hpp"

namespace {

using process_test::DescribeExit;
using process_test::ErrorStream;
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

INSTANTIATE_TEST_SUITE_P(Streams, ButtonMonitorErrorReader,
                         ::testing::Values(ErrorStream::Pipe, ErrorStream::Socket),
                         [](const auto& stream) {
                             return stream.param == ErrorStream::Pipe ? "Pipe" : "Socket";
                         });

}  // namespace
