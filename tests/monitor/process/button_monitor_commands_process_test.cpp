// What a command run by a panel button inherits from the running button-monitor: the monitor
// catches SIGPIPE for itself, and the command must still get its default handling and an empty
// mask, even when the monitor was started with SIGPIPE ignored. The all-in-one is on the umockdev
// test bed, and the scan button's command is a stand-in in the view's /Users.

#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/monitor/process/process_fixture.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using process_test::DescribeExit;

// The scan button's command: becomes grep, which records what it inherited from /proc (the
// shell itself blocks signals while it waits for a child, so it does not read its own).
constexpr const char* kScanCommandStandIn = R"(#!/bin/sh
exec grep -E '^Sig(Blk|Ign)' /proc/self/status > "$(dirname "$0")/signals"
)";

// "SigIgn:\t0000000000001000" and the like, as numbers by name (grep writes them at once).
std::map<std::string, std::uint64_t> SignalMasks(const std::filesystem::path& file) {
    std::map<std::string, std::uint64_t> masks;
    std::istringstream text(testing_support::read_file(file));
    std::string name;
    std::string hex;
    while (text >> name >> hex) masks[name] = std::stoull(hex, nullptr, 16);
    return masks;
}

std::uint64_t Bit(int signalNumber) { return std::uint64_t{1} << (signalNumber - 1); }

class ButtonMonitorCommands : public process_test::MonitorProcessTest {
protected:
    void SetUp() override {
        MonitorProcessTest::SetUp();
        InstallSampleLibrary();
        users_ = env_.root() / "Users";
        std::filesystem::create_directories(users_ / "benchuser");
        const auto command = users_ / "benchuser" / "scanprobe";
        testing_support::write_file(command, kScanCommandStandIn);
        std::filesystem::permissions(command, std::filesystem::perms::owner_all);
    }

    std::filesystem::path users_;
    testing_support::UsbTestbed testbed_;
};

TEST_F(ButtonMonitorCommands, TheScanButtonsCommandGetsDefaultSignalHandlingAndAnEmptyMask) {
    testing_support::HidDeviceSpec wanted;
    wanted.report_descriptor = hid_test::kVendorPanel;
    wanted.extra_interfaces = 1;
    const auto panel = testbed_.add_hid_device(wanted);

    auto view = View();
    view.users = users_;
    if (const char* preload = std::getenv("LD_PRELOAD")) view.preload = preload;
    // Started as by a parent that ignores SIGPIPE (GLib, for one, ignores it in this process).
    const auto saved = std::signal(SIGPIPE, SIG_IGN);
    StartMonitor(view);
    std::signal(SIGPIPE, saved);
    ASSERT_TRUE(testing_support::wait_until([&] {
        return LibraryCallCount("DisableScanner") == 1;
    })) << "the monitor did not take the device; output:\n"
        << monitor_.Output();
    ASSERT_TRUE(WaitUntilIdle(2));

    // The scan button (code 2), then its release.
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x00, 0x2F, 0x00, 0x00});
    const auto record = users_ / "benchuser" / "signals";
    std::map<std::string, std::uint64_t> masks;
    ASSERT_TRUE(testing_support::wait_until([&] {
        std::error_code error;
        if (!std::filesystem::exists(record, error)) return false;
        masks = SignalMasks(record);
        return masks.size() == 2;
    })) << "the command did not run; output:\n"
        << monitor_.Output();
    EXPECT_EQ(masks.at("SigIgn:") & Bit(SIGPIPE), 0U) << "SIGPIPE is not ignored in the command";
    EXPECT_EQ(masks.at("SigBlk:"), 0U) << "nothing is blocked in the command";
    EXPECT_EQ(DescribeExit(SignalAndWait(SIGTERM)), "exit 0") << monitor_.Output();
}

}  // namespace
