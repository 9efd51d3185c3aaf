// The watcher on the umockdev test bed, inside the view where the buttons' commands are
// recorders (tests/support/command_recording_view.sh), with the sample scanner library
// installed so that every panel refresh is recorded.
//
// A reopened reader is seen from outside: its new queue starts from values of 0, so a report
// that the old queue had already seen (and ignored as no change) runs its command again.

#include "monitor/usb/usb_device_watcher.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/core/service_status.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "platform/folders/folders.hpp"
#include "platform/plist/describe.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/main_loop_wait.hpp"
#include "tests/support/recorded_entries.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/usb_testbed.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace {

using namespace std::chrono_literals;
using monitor::UsbDeviceWatcher;
using platform::plist::Value;
using testing_support::FieldOf;
using testing_support::HidDeviceSpec;
using testing_support::run_main_loop_for;
using testing_support::run_main_loop_until;
using testing_support::TestUsbDevice;
using testing_support::UsbTestbed;

// Short waits keep the tests quick; the waits of a real system are the defaults.
constexpr UsbDeviceWatcher::Timing kQuick{600ms, 200ms};
// An interface "unbind" counts after the hold; a quarter second more for the run loop's timer
// accuracy, and some to spare. The same for a device's wait for its node.
constexpr auto kCloseDelivered = kQuick.unbind_hold + 250ms + 350ms;
constexpr auto kNodeWaitOver = kQuick.node_wait + 250ms + 350ms;
const std::vector<std::uint8_t> kListButton = {0x10, 0x00};

class WatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* record = std::getenv("VELMORA_COMMAND_RECORD");
        ASSERT_NE(record, nullptr) << "run through CTest, in command_recording_view.sh";
        commandRecord_ = record;
        const auto library = platform::folders::system_path(
            "/Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/"
            "SharedSupport/7720ScannerLib.bundle");
        const auto made = scanner_sample::make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, library, {});
        ASSERT_TRUE(made) << made.error().message;
        libraryRecord_ = scanner_sample::record_path(library, {});
    }

    void Start() {
        watcher_ = std::make_unique<UsbDeviceWatcher>(monitor::kAllInOneVendorId,
                                                      monitor::kAllInOneProductId, kQuick);
        ASSERT_EQ(watcher_->Start(), 0);
    }

    TestUsbDevice Plug(bool hidraw = true) {
        HidDeviceSpec wanted;
        wanted.report_descriptor = hid_test::kVendorPanel;
        wanted.extra_interfaces = 1;
        wanted.hidraw = hidraw;
        return testbed_.add_hid_device(wanted);
    }

    void Unplug(const TestUsbDevice& device) {
        testbed_.unplug(device);
        run_main_loop_for(100ms);
    }

    // Panel refreshes so far: each opens the scanner library, which enables the device.
    std::size_t Refreshes() const {
        auto calls = scanner_sample::read_record(libraryRecord_);
        if (!calls) return 0;
        std::size_t count = 0;
        for (const auto& call : *calls)
            if (call.name == "EnableScannerEx") ++count;
        return count;
    }
    bool WaitForRefreshes(std::size_t count) {
        return run_main_loop_until([&] { return Refreshes() >= count; }) && Refreshes() == count;
    }

    std::size_t Commands() const {
        std::istringstream text(testing_support::read_file(commandRecord_));
        std::size_t count = 0;
        for (std::string line; std::getline(text, line);) ++count;
        return count;
    }

    // Presses the list button on a reader that has not seen it yet: its command runs.
    void Press(const TestUsbDevice& device) {
        const std::size_t before = Commands();
        testbed_.send_input(device, kListButton);
        ASSERT_TRUE(run_main_loop_until([&] { return Commands() > before; }))
            << "the reader did not act on the button";
    }

    // Presses the list button again every 100 ms, for as long as given, until it runs its
    // command: which only a reopened reader does.
    bool Reopened(const TestUsbDevice& device, std::chrono::milliseconds within = 5s) {
        const std::size_t before = Commands();
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            testbed_.send_input(device, kListButton);
            if (run_main_loop_until([&] { return Commands() > before; }, 100ms)) return true;
        }
        return false;
    }

    void LetGo(const TestUsbDevice& device, int times) {
        for (int i = 0; i < times; ++i) {
            testbed_.uevent(device.interfaces[static_cast<std::size_t>(i) % 2], "unbind");
        }
    }

    static Value Pref(std::string_view key) { return monitor::CopyScannerPref(key); }

    testing_support::IsolatedEnvironment env_;
    UsbTestbed testbed_;
    std::filesystem::path commandRecord_;
    std::filesystem::path libraryRecord_;
    std::unique_ptr<UsbDeviceWatcher> watcher_;
};

TEST_F(WatcherTest, StartTakesADeviceAlreadyThereAndRefreshesItsPanel) {
    const TestUsbDevice panel = Plug();
    Start();
    EXPECT_EQ(Refreshes(), 1U) << "inside Start, before any loop runs";
    Press(panel);
}

TEST_F(WatcherTest, AHotPluggedDeviceIsTakenOnceAndItsUnplugDiscardsTheReader) {
    Start();
    EXPECT_EQ(Refreshes(), 0U);
    const TestUsbDevice first = Plug();
    ASSERT_TRUE(WaitForRefreshes(1));
    Press(first);
    Unplug(first);
    const TestUsbDevice second = Plug();
    ASSERT_TRUE(WaitForRefreshes(2));
    Press(second);
    run_main_loop_for(kNodeWaitOver);
    EXPECT_EQ(Refreshes(), 2U);
}

TEST_F(WatcherTest, ADeviceWhoseNodeComesLateIsTakenOnceWithAWorkingQueue) {
    Start();
    TestUsbDevice panel = Plug(false);
    run_main_loop_for(200ms);
    EXPECT_EQ(Refreshes(), 0U) << "bound, but without its node it is not ready";
    testbed_.add_hidraw(panel);
    ASSERT_TRUE(WaitForRefreshes(1));
    Press(panel);
    run_main_loop_for(kNodeWaitOver);
    EXPECT_EQ(Refreshes(), 1U) << "not again when the node wait ends";
}

TEST_F(WatcherTest, EveryFifthCloseReopensTheReader) {
    const TestUsbDevice panel = Plug();
    Start();
    Press(panel);
    LetGo(panel, 4);
    EXPECT_FALSE(Reopened(panel, kCloseDelivered + 400ms)) << "four closes";
    LetGo(panel, 1);
    EXPECT_TRUE(Reopened(panel)) << "the fifth";

    LetGo(panel, 10);
    EXPECT_TRUE(Reopened(panel)) << "the tenth";
    LetGo(panel, 4);
    EXPECT_FALSE(Reopened(panel, kCloseDelivered + 400ms)) << "the count began again at ten";
    LetGo(panel, 1);
    EXPECT_TRUE(Reopened(panel));
}

TEST_F(WatcherTest, ClosesAreCountedAcrossADetachAndReattach) {
    const TestUsbDevice first = Plug();
    Start();
    LetGo(first, 3);
    run_main_loop_for(kCloseDelivered);
    Unplug(first);
    const TestUsbDevice second = Plug();
    ASSERT_TRUE(WaitForRefreshes(2));
    Press(second);
    LetGo(second, 2);
    EXPECT_TRUE(Reopened(second));
}

TEST_F(WatcherTest, TheUnbindsOfAnUnplugAreNoCloses) {
    const TestUsbDevice first = Plug();
    Start();
    LetGo(first, 4);
    run_main_loop_for(kCloseDelivered);
    Unplug(first);  // lets go of both interfaces before the device goes
    run_main_loop_for(kCloseDelivered);
    const TestUsbDevice second = Plug();
    ASSERT_TRUE(WaitForRefreshes(2));
    Press(second);
    LetGo(second, 1);
    EXPECT_TRUE(Reopened(second)) << "4 + 1, not 4 + 2 + 1";
}

TEST_F(WatcherTest, ASecondDeviceWhileOneIsHeldIsIgnored) {
    const TestUsbDevice first = Plug();
    Start();
    const TestUsbDevice second = Plug();
    run_main_loop_for(500ms);
    EXPECT_EQ(Refreshes(), 1U);
    Unplug(second);
    Press(first);
    LetGo(first, 5);
    EXPECT_TRUE(Reopened(first)) << "the first keeps its reader and its interest";
}

// Devices that were ignored while another was held are still attached when it goes: the next
// one is taken up as if it had just arrived (no network scan, a reader, interest in it, a
// panel refresh), and when that one goes too, the one after it.
TEST_F(WatcherTest, WhenTheHeldDeviceGoesOneStillAttachedIsTakenUp) {
    const TestUsbDevice first = Plug();
    const TestUsbDevice second = Plug();
    const TestUsbDevice third = Plug();
    Start();
    EXPECT_EQ(Refreshes(), 1U);

    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    Unplug(first);
    ASSERT_TRUE(WaitForRefreshes(2));
    EXPECT_EQ(Pref(monitor::IsNetworkScanning), Value::boolean(false));
    Press(second);
    LetGo(second, 5);
    EXPECT_TRUE(Reopened(second)) << "no interest in the device taken up";

    Unplug(second);
    ASSERT_TRUE(WaitForRefreshes(3));
    Press(third);
}

TEST_F(WatcherTest, StartFailsWithoutSysfsAndTheWatcherStillGoesAwayCleanly) {
    testing_support::TempDir empty("velmora-no-sysfs");
    const std::string saved = std::getenv("UMOCKDEV_DIR");
    ::setenv("UMOCKDEV_DIR", empty.path().c_str(), 1);  // the preload takes /sys from here
    auto watcher =
        std::make_unique<UsbDeviceWatcher>(monitor::kAllInOneVendorId, monitor::kAllInOneProductId);
    testing_support::RecordedEntries recorded;
    EXPECT_EQ(watcher->Start(), -1);
    ::setenv("UMOCKDEV_DIR", saved.c_str(), 1);
    EXPECT_NE(watcher->StartFailure().find("sysfs"), std::string::npos) << watcher->StartFailure();
    const auto failed = recorded.With("EVENT", "USB_WATCH_FAILED");
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(FieldOf(failed[0], "REASON"), watcher->StartFailure());
    watcher.reset();
    EXPECT_EQ(UsbDeviceWatcher(0x10000, 1).Start(), -1) << "no USB identifier";
}

// The network-scan flag after a device is attached, from each scanner status before it.
TEST_F(WatcherTest, AnAttachMarksNoNetworkScanUnlessAScanWasInProgress) {
    const Value yes = Value::boolean(true);
    const Value no = Value::boolean(false);
    struct Row {
        Value scanning;
        Value networkBefore;
        Value networkAfter;
    };
    const std::vector<Row> rows = {
        {Value(), Value(), no},  {Value(), yes, no}, {no, yes, no},
        {yes, Value(), Value()}, {yes, yes, yes},
    };

    // With no device at Start, only the put-back of a scan in progress writes anything.
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, yes);
    Start();
    EXPECT_TRUE(Pref(monitor::IsNetworkScanning).is_null());

    std::size_t attached = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.scanning) + " " +
                     testing::PrintToString(row.networkBefore));
        monitor::SetScannerPref(monitor::IsCurrentlyScanning, row.scanning);
        monitor::SetScannerPref(monitor::IsNetworkScanning, row.networkBefore);
        const TestUsbDevice panel = Plug();
        ASSERT_TRUE(WaitForRefreshes(++attached));
        EXPECT_EQ(Pref(monitor::IsNetworkScanning), row.networkAfter);
        EXPECT_EQ(Pref(monitor::IsCurrentlyScanning), row.scanning) << "never written here";
        Unplug(panel);
    }
}

}  // namespace

namespace {

// "EVENT device" or "CONDITION state device" for each entry, the device by its sysfs path.
std::vector<std::string> DeviceStory(const testing_support::RecordedEntries& recorded) {
    std::vector<std::string> story;
    for (const auto& entry : recorded.All()) {
        const std::string event = FieldOf(entry, "EVENT");
        story.push_back((event.empty()
                             ? FieldOf(entry, "CONDITION") + " " + FieldOf(entry, "CONDITION_STATE")
                             : event) +
                        " " + FieldOf(entry, "DEVICE"));
    }
    return story;
}

TEST_F(WatcherTest, EachDeviceAttachedPassedOverAndRemovedIsToldWithItsSysfsPath) {
    testing_support::RecordedEntries recorded;
    const TestUsbDevice first = Plug();
    Start();
    EXPECT_TRUE(monitor::MonitorStatus().Line().ends_with("; scanner attached"))
        << monitor::MonitorStatus().Line();
    const TestUsbDevice second = Plug();
    run_main_loop_for(500ms);
    Unplug(first);
    ASSERT_TRUE(WaitForRefreshes(2)) << "the second is taken up";
    Unplug(second);
    EXPECT_EQ(DeviceStory(recorded),
              (std::vector<std::string>{
                  "DEVICE_ATTACHED " + first.syspath, "BUTTONS_OPENED " + first.syspath,
                  "DEVICE_PASSED_OVER " + second.syspath, "DEVICE_REMOVED " + first.syspath,
                  "DEVICE_ATTACHED " + second.syspath, "BUTTONS_OPENED " + second.syspath,
                  "DEVICE_REMOVED " + second.syspath}));
    EXPECT_TRUE(monitor::MonitorStatus().Line().ends_with("; no scanner attached"));
}

TEST_F(WatcherTest, ButtonsThatCannotBeReadAreToldOnceUntilTheDeviceGoes) {
    testing_support::RecordedEntries recorded;
    Start();
    // Without a hidraw node it is taken once the node wait is over, and has no buttons to read.
    const TestUsbDevice panel = Plug(false);
    ASSERT_TRUE(run_main_loop_until([&] {
        return !recorded.With("CONDITION", "BUTTONS_NOT_OPENED").empty();
    })) << "no word of the buttons";
    LetGo(panel, 5);  // the fifth close opens again, and fails again
    run_main_loop_for(kCloseDelivered + 200ms);
    Unplug(panel);
    EXPECT_EQ(DeviceStory(recorded),
              (std::vector<std::string>{
                  "DEVICE_ATTACHED " + panel.syspath, "BUTTONS_NOT_OPENED began " + panel.syspath,
                  "BUTTONS_NOT_OPENED ended " + panel.syspath, "DEVICE_REMOVED " + panel.syspath}));
}

}  // namespace
