// button-monitor on a desktop, as a whole in its private view: what it tells the journal (a
// stand-in socket bound into the view) under a flood of requests, what it tells its service
// manager (a stand-in notification socket), Scan Hub launched with the manager's display into a
// scope of its own (a stand-in manager on a private bus), and the two arguments it answers.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/msgport/local_port.hpp"
#include "platform/msgport/named_socket.hpp"
#include "platform/plist/document.hpp"
#include "platform/plist/value.hpp"
#include "tests/monitor/process/process_fixture.hpp"
#include "tests/support/journal_standin.hpp"
#include "tests/support/notify_standin.hpp"
#include "tests/support/private_bus.hpp"

namespace {

using namespace std::chrono_literals;
using process_test::DescribeExit;
using process_test::kButtonPort;
using process_test::MonitorInView;
using testing_support::JournalEntry;

// A datagram of the button port: message ID 0, then the eight report bytes and the address.
std::vector<std::byte> Datagram(std::array<std::uint8_t, 8> report, std::uint8_t lastOctet) {
    std::vector<std::byte> datagram(4, std::byte{0});
    for (const auto byte : report) datagram.push_back(static_cast<std::byte>(byte));
    for (const std::uint8_t byte :
         {std::uint8_t{10}, std::uint8_t{0}, std::uint8_t{0}, lastOctet}) {
        datagram.push_back(static_cast<std::byte>(byte));
    }
    return datagram;
}

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The port served by this process, as by another monitor of the user.
std::unique_ptr<platform::msgport::LocalPort> ServePortHere() {
    auto created = platform::msgport::LocalPort::create(
        kButtonPort, [](std::int32_t, std::span<const std::byte>) {});
    return created ? std::move(created).value() : nullptr;
}

class ButtonMonitorDesktop : public process_test::MonitorProcessTest {
protected:
    void SetUp() override {
        MonitorProcessTest::SetUp();
        std::filesystem::create_directories(journalFolder_);
    }

    std::filesystem::path journalFolder_ = env_.base() / "journal";
};

TEST_F(ButtonMonitorDesktop,
       AFloodMakesOneJournalEntryPerConditionWithThePortTakenAndNothingInstalled) {
    testing_support::JournalStandIn journal(journalFolder_);
    ASSERT_TRUE(journal.listening());
    auto view = View();
    view.journal = journalFolder_;
    // This one serves the port; nothing it needs is installed (neither Scan Hub nor the
    // scanner library).
    StartMonitor(view);
    ASSERT_TRUE(WaitUntilIdle(2));
    // A second monitor of the same user finds the port served.
    const auto secondFolder = env_.base() / "second";
    std::filesystem::create_directories(secondFolder);
    MonitorInView second(secondFolder);
    ASSERT_TRUE(second.Start(view));
    const auto secondPid = second.Pid();
    ASSERT_TRUE(secondPid);
    ASSERT_TRUE(testing_support::wait_until([&] {
        return process_test::ThreadCount(*secondPid) == 1 &&
               process_test::AllThreadsWaitInEpoll(*secondPid);
    })) << "the second monitor runs without a port thread";

    // Scan requests, destination list refreshes and ends of a network scan, in turn.
    constexpr int kRequests = 1000;
    for (int request = 0; request < kRequests; ++request) {
        const std::array<std::array<std::uint8_t, 8>, 3> reports{
            {{1, 1, 44, 0, 0, 0, 1, 5}, {1, 2, 0, 0, 0, 0, 1, 0}, {1, 2, 0, 0, 0, 0, 0x99, 0}}};
        const auto sent =
            platform::msgport::send_to_name("msgports", kButtonPort,
                                            Datagram(reports[static_cast<std::size_t>(request % 3)],
                                                     static_cast<std::uint8_t>(request % 100)),
                                            20s);
        ASSERT_TRUE(sent) << "request " << request << ": " << sent.error().message;
    }
    ASSERT_TRUE(testing_support::wait_until(
        [&] { return LineCount(monitor_.Output()) == kRequests; }, 100s))
        << LineCount(monitor_.Output()) << " handled";
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
    ASSERT_EQ(::kill(*secondPid, SIGTERM), 0);
    EXPECT_EQ(DescribeExit(second.WaitForExit()), "exit 0");

    std::map<std::string, std::vector<JournalEntry>> conditions;
    const auto entries = journal.Entries();
    for (const auto& entry : entries) {
        EXPECT_EQ(entry["SYSLOG_IDENTIFIER"], "button-monitor");
        EXPECT_FALSE(entry["MESSAGE"].empty());
        EXPECT_FALSE(entry["PRIORITY"].empty());
        if (!entry["VELMORA_CONDITION"].empty())
            conditions[entry["VELMORA_CONDITION"]].push_back(entry);
    }
    EXPECT_LT(entries.size(), 10U) << "a flood must not fill the journal";
    std::vector<std::string> names;
    for (const auto& [name, reported] : conditions) {
        names.push_back(name);
        EXPECT_EQ(reported.size(), 1U) << name;
        EXPECT_EQ(reported.front()["VELMORA_CONDITION_STATE"], "began") << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"PORT_NAME_TAKEN", "SCANNER_LIBRARY_MISSING",
                                               "SCAN_HUB_MISSING"}));
    ASSERT_EQ(conditions["PORT_NAME_TAKEN"].size(), 1U);
    const auto& taken = conditions["PORT_NAME_TAKEN"].front();
    EXPECT_EQ(taken.sender, *secondPid);
    EXPECT_EQ(taken["VELMORA_PORT"], "OSPREY_HID_MSG_PORT");
    EXPECT_EQ(conditions["SCAN_HUB_MISSING"].front().sender, pid_);
    EXPECT_EQ(conditions["SCAN_HUB_MISSING"].front()["VELMORA_OS_STATUS"], "-4960");
    EXPECT_EQ(conditions["SCANNER_LIBRARY_MISSING"].front().sender, pid_);
    EXPECT_EQ(journal.EntriesWith("VELMORA_EVENT", "STARTED").size(), 2U);

    // Standard error still carries the unique numbers and nothing else.
    std::istringstream numbers(monitor_.Output());
    int expected = 0;
    for (std::string line; std::getline(numbers, line); ++expected) {
        ASSERT_EQ(line, std::to_string(expected % 100)) << "line " << expected;
    }
    EXPECT_EQ(second.Output(), "");
}

class ButtonMonitorNotify : public ButtonMonitorDesktop,
                            public ::testing::WithParamInterface<bool> {
protected:
    testing_support::NotifyStandIn manager_{(env_.base() / "notify").string()};
};

TEST_P(ButtonMonitorNotify, TellsItsManagerWhenItIsReadyWhatItServesAndWhenItStops) {
    ASSERT_TRUE(manager_.listening());
    const bool portTaken = GetParam();
    const auto otherServer = portTaken ? ServePortHere() : nullptr;
    ASSERT_EQ(otherServer != nullptr, portTaken);
    auto view = View();
    view.environment = {"NOTIFY_SOCKET=" + manager_.address()};
    StartMonitor(view);

    EXPECT_EQ(manager_.Next(),
              portTaken
                  ? "READY=1\nSTATUS=OSPREY_HID_MSG_PORT is served by another process, no network "
                    "scan requests here; no scanner attached"
                  : "READY=1\nSTATUS=serving OSPREY_HID_MSG_PORT; no scanner attached");
    ASSERT_TRUE(WaitUntilIdle(portTaken ? 1 : 2));
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
    EXPECT_EQ(manager_.Next(), "STOPPING=1\nSTATUS=stopping on a quit signal");
    EXPECT_EQ(manager_.Next(0ms), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Port, ButtonMonitorNotify, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "TakenElsewhere" : "Free"; });

TEST_F(ButtonMonitorDesktop, WhenUsbCannotBeWatchedItSaysWhyAndIsNeverReady) {
    testing_support::NotifyStandIn manager((env_.base() / "notify").string());
    ASSERT_TRUE(manager.listening());
    testing_support::JournalStandIn journal(journalFolder_);
    auto view = View();
    view.withSys = false;
    view.journal = journalFolder_;
    view.environment = {"NOTIFY_SOCKET=" + manager.address()};
    StartMonitor(view);
    EXPECT_EQ(DescribeExit(monitor_.WaitForExit()), "exit 0");
    EXPECT_EQ(
        manager.Next(),
        "STATUS=cannot watch USB (no device tree at /sys/bus (sysfs is not mounted)); ending, "
        "to be started again by the service manager");
    EXPECT_EQ(manager.Next(0ms), std::nullopt) << "no READY";
    ASSERT_TRUE(testing_support::wait_until(
        [&] { return !journal.EntriesWith("VELMORA_EVENT", "USB_WATCH_FAILED").empty(); }));
    EXPECT_EQ(journal.EntriesWith("VELMORA_EVENT", "USB_WATCH_FAILED").front()["PRIORITY"], "3");
    EXPECT_EQ(monitor_.Output(), "");
}

TEST_F(ButtonMonitorDesktop, ScanHubGetsTheManagersDisplayAScopeOfItsOwnAndNotTheNotifySocket) {
    testing_support::PrivateBus bus(env_.base() / "bus");
    ASSERT_TRUE(bus.available())
        << "dbus-daemon did not start (scripts/install-deps.sh installs it)";
    ASSERT_TRUE(bus.StartManager({{"DISPLAY=:7", "XAUTHORITY=/run/user/xauth"}}));
    testing_support::NotifyStandIn manager((env_.base() / "notify").string());
    ASSERT_TRUE(manager.listening());

    // Scan Hub: a program that reports how it was started.
    const auto scanHub = library_ / "Printers/Velmora/2006/Velmora Scan Hub.app";
    const auto info = platform::plist::Value::dictionary(
        {{"CFBundleExecutable", platform::plist::Value::string("ScanHub")},
         {"CFBundleIdentifier", platform::plist::Value::string("com.example.scanhub")}});
    testing_support::write_file(scanHub / "Contents/Info.plist", *platform::plist::to_xml(info));
    std::filesystem::create_directories(scanHub / "Contents/MacOS");
    std::filesystem::copy_file(LAUNCH_PROBE, scanHub / "Contents/MacOS/ScanHub");
    const auto report = env_.base() / "scanhub-report";

    auto view = View();
    view.environment = {"NOTIFY_SOCKET=" + manager.address(), "DISPLAY=:3",
                        "LAUNCH_PROBE_REPORT=" + report.string(),
                        "LAUNCH_PROBE_VARIABLES=DISPLAY XAUTHORITY NOTIFY_SOCKET"};
    StartMonitor(view);
    ASSERT_TRUE(manager.Next()) << "ready";
    const pid_t sender = testing_support::start_program(
        {SENDER_PROGRAM, "--address", "10.0.0.5", "scan", "--type", "1", "--direct", "5"});
    ASSERT_EQ(DescribeExit(testing_support::wait_for_exit(sender)), "exit 0");
    ASSERT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(report); }))
        << "Scan Hub was not launched; output:\n"
        << monitor_.Output();

    std::map<std::string, std::string> started;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        started[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    EXPECT_EQ(started["env-DISPLAY"], ":7");
    EXPECT_EQ(started["env-XAUTHORITY"], "/run/user/xauth");
    EXPECT_TRUE(started.contains("unset-NOTIFY_SOCKET"))
        << "the monitor's notifications are its own";
    const std::string pid = started["pid"];
    ASSERT_TRUE(testing_support::wait_until([&] { return !bus.ManagerCalls().empty(); }));
    EXPECT_EQ(bus.ManagerCalls(),
              (std::vector<std::string>{
                  "StartTransientUnit name=app-buttonmonitor-com.example.scanhub-" + pid +
                  ".scope mode=fail Description=Velmora Scan Hub, launched by "
                  "buttonmonitor Slice=app.slice CollectMode=inactive-or-failed "
                  "PIDs=" +
                  pid}));
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
}

TEST_F(ButtonMonitorDesktop, HelpAndVersionArePrintedAndAnyOtherArgumentIsIgnored) {
    for (const auto& [argument, start] : std::vector<std::pair<std::string, std::string>>{
             {"--version", "button-monitor " PROJECT_VERSION "\n"},
             {"--help", "Usage: button-monitor"}}) {
        const auto folder = env_.base() / argument.substr(2);
        std::filesystem::create_directories(folder);
        MonitorInView answering(folder);
        auto view = View();
        view.arguments = {argument};
        ASSERT_TRUE(answering.Start(view));
        EXPECT_EQ(DescribeExit(answering.WaitForExit()), "exit 0") << argument;
        EXPECT_TRUE(answering.Output().starts_with(start)) << answering.Output();
        EXPECT_FALSE(std::filesystem::exists(ButtonPortSocket())) << argument << " starts nothing";
    }

    auto view = View();
    view.arguments = {"--verbose", "-h"};
    StartMonitor(view);
    ASSERT_TRUE(WaitUntilIdle(2)) << "it runs as without arguments";
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0");
    EXPECT_EQ(monitor_.Output(), "");
}

}  // namespace
