// The button-monitor program with the all-in-one on USB, on the umockdev test bed: the monitor
// runs in its private file-system view with umockdev's preload library, so that its /sys, /dev
// and uevent socket are the test bed of this test process.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/msgport/local_port.hpp"
#include "tests/monitor/process/file_events.hpp"
#include "tests/monitor/process/process_fixture.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using process_test::kButtonPort;
using testing_support::TestUsbDevice;

class ButtonMonitorOnUsb : public process_test::MonitorProcessTest {
protected:
    void SetUp() override {
        MonitorProcessTest::SetUp();
        InstallSampleLibrary();
    }

    process_test::ViewOptions UsbView() const {
        auto view = View();
        const char* preload = std::getenv("LD_PRELOAD");
        if (preload) view.preload = preload;
        return view;
    }

    TestUsbDevice Plug() {
        testing_support::HidDeviceSpec wanted;
        wanted.report_descriptor = hid_test::kVendorPanel;
        wanted.extra_interfaces = 1;
        return testbed_.add_hid_device(wanted);
    }

    // One panel refresh done: the library enabled for the all-in-one, sent the list and
    // disabled, all on the monitor's main thread.
    void ExpectOneRefreshOnTheMainThread() {
        const auto calls = LibraryCalls();
        ASSERT_EQ(calls.size(), 4U);
        EXPECT_EQ(calls[0].name, "EnableScannerEx");
        EXPECT_EQ(calls[0].number("vendor"), 7731);
        EXPECT_EQ(calls[0].number("product"), 183);
        EXPECT_EQ(calls[2].name, "DeviceParameterSet");
        EXPECT_EQ(calls[3].name, "DisableScanner");
        for (const auto& call : calls) EXPECT_EQ(call.number("thread"), pid_) << call.name;
    }

    testing_support::UsbTestbed testbed_;
};

TEST_F(ButtonMonitorOnUsb, ADeviceThereAtStartHasItsPanelRefreshedAndTheWatcherEndsFirst) {
    const TestUsbDevice device = Plug();
    StartMonitor(UsbView());
    ASSERT_TRUE(testing_support::wait_until([&] {
        return LibraryCallCount("DisableScanner") == 1;
    })) << "no panel refresh; output:\n"
        << monitor_.Output();
    ExpectOneRefreshOnTheMainThread();
    ASSERT_TRUE(WaitUntilIdle(2));

    // The node the button reader has open (the test bed's /dev entry leads to it), and the
    // port's socket, watched together so that their order shows.
    process_test::FileEvents events;
    ASSERT_TRUE(events.Watch(std::filesystem::canonical(testbed_.root() / device.devnode.substr(1)),
                             IN_CLOSE_WRITE | IN_CLOSE_NOWRITE, "reader"));
    ASSERT_TRUE(events.Watch(env_.runtime_dir() / "msgports", IN_DELETE, "ports"));

    EXPECT_EQ(process_test::DescribeExit(SignalAndWait(SIGTERM)), "exit 0") << monitor_.Output();
    const auto& seen = events.Seen();
    const auto removed = std::find(seen.begin(), seen.end(), "ports removed OSPREY_HID_MSG_PORT");
    ASSERT_NE(removed, seen.end()) << "the port was not released";
    EXPECT_NE(std::find(seen.begin(), removed, "reader closed"), removed)
        << "the watcher, with its button reader, goes before the port server";
    EXPECT_EQ(LibraryCalls().size(), 4U) << "shutdown does not touch the library";
}

TEST_F(ButtonMonitorOnUsb, WithThePortServedElsewhereTheMonitorRunsWithoutPortThreadAndWatchesUsb) {
    // This process serves the name, as another instance of the monitor would.
    auto created = platform::msgport::LocalPort::create(
        kButtonPort, [](std::int32_t, std::span<const std::byte>) {});
    ASSERT_TRUE(created) << created.error().message;

    StartMonitor(UsbView());
    ASSERT_TRUE(WaitUntilIdle(1)) << "the main thread alone, in its event loop; threads: "
                                  << process_test::ThreadCount(pid_);
    EXPECT_EQ(PublishedScanDataPort(), "OSPREY_READ_MSG_PORT");

    // A device plugged in now is seen by the running event loop.
    Plug();
    ASSERT_TRUE(testing_support::wait_until([&] {
        return LibraryCallCount("DisableScanner") == 1;
    })) << "the monitor did not take the device; output:\n"
        << monitor_.Output();
    ExpectOneRefreshOnTheMainThread();
    EXPECT_EQ(process_test::ThreadCount(pid_), 1U);

    EXPECT_EQ(process_test::DescribeExit(SignalAndWait(SIGTERM)), "exit 0") << monitor_.Output();
    // The monitor left the other server's socket alone.
    EXPECT_TRUE(platform::msgport::send_message(kButtonPort, 0, process_test::RefreshRequest()));
}

}  // namespace
