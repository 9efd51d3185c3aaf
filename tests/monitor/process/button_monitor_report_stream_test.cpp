// The button-monitor program asked to quit while its panel sends reports without pause, on the
// umockdev test bed (see button_monitor_usb_process_test.cpp). "killall" is a recorder found
// first on the monitor's PATH: each report of button 65 that the monitor handles runs it and
// adds a line to the record, and the recorder itself sends the monitor SIGTERM at a set line,
// while the monitor waits for that command, so that the test knows exactly which reports came
// before the quit request.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/monitor/process/process_fixture.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

// The command that sends SIGTERM is the fifth; 400 reports of button 65 are waiting by then.
// The monitor's panel reader handles at most one report per wake-up of its event loop, and
// the loop ends before its next wake-up once asked to.
constexpr int kQuitAtCommand = 5;
constexpr int kButtonReports = 400;
constexpr int kReportsPerWakeUp = 1;

class ButtonMonitorUnderReports : public process_test::MonitorProcessTest {
protected:
    void SetUp() override {
        MonitorProcessTest::SetUp();
        InstallSampleLibrary();
        const auto bin = env_.base() / "recorders";
        std::filesystem::create_directories(bin);
        record_ = env_.base() / "commands.log";
        pidFile_ = env_.base() / "monitor.pid";
        std::ofstream killall(bin / "killall");
        killall << "#!/bin/sh\n"
                << "echo \"killall $*\" >> '" << record_.string() << "'\n"
                << "if [ \"$(wc -l < '" << record_.string() << "')\" -eq " << kQuitAtCommand
                << " ]; then kill -TERM \"$(cat '" << pidFile_.string() << "')\"; fi\n";
        killall.close();
        std::filesystem::permissions(bin / "killall", std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        ::setenv("PATH", (bin.string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    }

    std::size_t Commands() const {
        std::error_code error;
        if (!std::filesystem::exists(record_, error)) return 0;
        std::istringstream text(testing_support::read_file(record_));
        std::size_t count = 0;
        for (std::string line; std::getline(text, line);) ++count;
        return count;
    }

    testing_support::UsbTestbed testbed_;
    std::filesystem::path record_;
    std::filesystem::path pidFile_;
};

TEST_F(ButtonMonitorUnderReports, StopsHandlingReportsOnceAskedToQuitAndExitsWithZero) {
    testing_support::HidDeviceSpec wanted;
    wanted.report_descriptor = hid_test::kVendorPanel;
    const testing_support::TestUsbDevice panel = testbed_.add_hid_device(wanted);

    auto view = View();
    if (const char* preload = std::getenv("LD_PRELOAD")) view.preload = preload;
    StartMonitor(view);
    testing_support::write_file(pidFile_, std::to_string(pid_));
    ASSERT_TRUE(testing_support::wait_until([&] {
        return LibraryCallCount("DisableScanner") == 1;
    })) << "the monitor did not take the device; output:\n"
        << monitor_.Output();

    // Button 65 ("killall -USR1 scanprobe"), then no button, again and again: every report
    // changes both values, so each is handled on its own. All of them wait in the node at once.
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < kButtonReports; ++i) stream.insert(stream.end(), {0x04, 0x10, 0x00, 0x00});
    testbed_.send_input(panel, stream);

    EXPECT_EQ(process_test::DescribeExit(monitor_.WaitForExit()), "exit 0") << monitor_.Output();
    const std::size_t handled = Commands();
    EXPECT_GE(handled, static_cast<std::size_t>(kQuitAtCommand)) << "the quit request never came";
    EXPECT_LE(handled, static_cast<std::size_t>(kQuitAtCommand + kReportsPerWakeUp))
        << "reports handled after SIGTERM";
}

}  // namespace
