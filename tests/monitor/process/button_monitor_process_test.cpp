// The button-monitor program as a whole, in a private file-system view: the quit signals while
// it idles and while its port thread handles a slow event, and a USB watch that cannot start.
// Each case ends with the program's exit status and what it leaves behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/monitor/process/file_events.hpp"
#include "tests/monitor/process/process_fixture.hpp"

namespace {

using namespace std::chrono_literals;
using process_test::MonitorProcessTest;

class ButtonMonitorProcess : public MonitorProcessTest {};
class ButtonMonitorQuitSignal : public MonitorProcessTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(ButtonMonitorQuitSignal, TheIdleMonitorEndsInOrderWithStatusZero) {
    StartMonitor(View());
    ASSERT_TRUE(WaitUntilIdle(2)) << "the event loop and the port thread, waiting";
    EXPECT_TRUE(std::filesystem::exists(ButtonPortSocket()));
    EXPECT_EQ(PublishedScanDataPort(), "OSPREY_READ_MSG_PORT");

    EXPECT_EQ(process_test::DescribeExit(SignalAndWait(GetParam())), "exit 0");
    EXPECT_FALSE(std::filesystem::exists(ButtonPortSocket())) << "the port was released";
    EXPECT_EQ(PublishedScanDataPort(), "OSPREY_READ_MSG_PORT") << "the key stays after exit";
    EXPECT_EQ(monitor_.Output(), "") << "start-up and shutdown write nothing";
}

TEST_P(ButtonMonitorQuitSignal, AnEventBeingHandledIsFinishedBeforeTheExit) {
    scanner_sample::Settings slow;
    slow.parameter_set_delay = 2s;
    InstallSampleLibrary(slow);
    StartMonitor(View());
    ASSERT_TRUE(WaitUntilIdle(2));

    // A destination list refresh from the network: the port thread opens the scanner library
    // and sends the list, which the library takes two seconds over.
    const pid_t sender =
        testing_support::start_program({SENDER_PROGRAM, "--address", "10.0.0.5", "refresh"});
    ASSERT_EQ(process_test::DescribeExit(testing_support::wait_for_exit(sender)), "exit 0");
    ASSERT_TRUE(testing_support::wait_until([&] { return LibraryCallCount("ScanVersion") == 1; }))
        << "the handling did not reach the library";

    ASSERT_EQ(::kill(pid_, GetParam()), 0);
    ASSERT_EQ(LibraryCallCount("DeviceParameterSet"), 0U) << "the signal came too late to test";
    EXPECT_EQ(process_test::DescribeExit(monitor_.WaitForExit()), "exit 0");

    // The handling went to its end on the port thread before the process did.
    std::vector<std::string> names;
    for (const auto& call : LibraryCalls()) {
        names.push_back(call.name);
        EXPECT_NE(call.number("thread"), pid_) << call.name << " on the main thread";
    }
    EXPECT_EQ(names, (std::vector<std::string>{"EnableScannerEx", "ScanVersion",
                                               "DeviceParameterSet", "DisableScanner"}));
    EXPECT_EQ(monitor_.Output(), "5\n") << "the event's unique number, nothing else";
    EXPECT_FALSE(std::filesystem::exists(ButtonPortSocket()));
    EXPECT_EQ(PublishedScanDataPort(), "OSPREY_READ_MSG_PORT");
}

INSTANTIATE_TEST_SUITE_P(Signals, ButtonMonitorQuitSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& signal) {
                             return signal.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

TEST_F(ButtonMonitorProcess, AWatchThatCannotStartEndsTheMonitorAtOnceInOrder) {
    // The ports' folder as the port layer makes it, so that it can be watched from the start.
    const auto ports = env_.runtime_dir() / "msgports";
    ASSERT_EQ(::mkdir(ports.c_str(), 0700), 0);
    process_test::FileEvents events;
    ASSERT_TRUE(events.Watch(ports, IN_CREATE | IN_DELETE, "ports"));

    // Without /sys the USB watch cannot start: the monitor ends by itself, without a signal.
    StartMonitor([&] {
        auto view = View();
        view.withSys = false;
        return view;
    }());
    EXPECT_EQ(process_test::DescribeExit(monitor_.WaitForExit()), "exit 0");

    std::vector<std::string> port;
    for (const auto& event : events.Seen()) {
        if (event.ends_with(" OSPREY_HID_MSG_PORT")) port.push_back(event);
    }
    EXPECT_EQ(port, (std::vector<std::string>{"ports created OSPREY_HID_MSG_PORT",
                                              "ports removed OSPREY_HID_MSG_PORT"}))
        << "the port is served from before the watch starts until the shutdown";
    EXPECT_EQ(PublishedScanDataPort(), "OSPREY_READ_MSG_PORT");
    EXPECT_EQ(monitor_.Output(), "");
}

}  // namespace
