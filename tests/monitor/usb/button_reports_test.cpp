// Panel button reports written to an emulated hidraw node, read by the reader and acted on by
// the dispatch. Runs on the umockdev test bed inside a private file-system view where the
// commands the buttons run are recorders (tests/support/command_recording_view.sh).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "monitor/usb/button_dispatch.hpp"
#include "monitor/usb/hid_button_device.hpp"
#include "platform/plist/describe.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/main_loop_wait.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using namespace std::chrono_literals;
using monitor::HidButtonDevice;
using platform::plist::Value;
using testing_support::HidDeviceSpec;
using testing_support::run_main_loop_for;
using testing_support::run_main_loop_until;
using testing_support::TestUsbDevice;
using testing_support::UsbTestbed;
using Lines = std::vector<std::string>;

const std::string kScan =
    "/Users/benchuser/scanprobe [-l] [/var/tmp/scan.log] [-sp_exec] [1] [usb] [-a] "
    "[/var/tmp/scanprobe.log]";
const std::string kSignal = "killall [-USR1] [scanprobe]";
const std::string kList = "/Users/benchuser/scanprobe [-sp_list] [usb]";
const std::string kImageCapture = "open [/Applications/Image Capture.app]";

// A panel that reports only the button code (usage 166), in one byte.
const hid_test::Bytes kCodeOnlyPanel = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
    0x00, 0x75, 0x08, 0x95, 0x01, 0x09, 0xA6, 0x81, 0x02, 0xC0,
};

// Descriptors open on emulated device nodes (pseudo-terminals under umockdev). Only these are
// counted: the test bed's own threads open and close sockets at any time.
int OpenNodeDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string().starts_with("/dev/pts/")) {
            ++count;
        }
    }
    return count;
}

class ButtonReports : public ::testing::Test {
protected:
    void SetUp() override {
        const char* record = std::getenv("VELMORA_COMMAND_RECORD");
        ASSERT_NE(record, nullptr) << "run through CTest, in command_recording_view.sh";
        record_ = record;
    }

    TestUsbDevice Plug(const hid_test::Bytes& descriptor = hid_test::kVendorPanel,
                       const std::string& product = "00b7") {
        HidDeviceSpec wanted;
        wanted.product_id = product;
        wanted.report_descriptor = descriptor;
        wanted.extra_interfaces = 1;
        TestUsbDevice device = testbed_.add_hid_device(wanted);
        run_main_loop_for(20ms);  // nobody listens here, but keep the uevents flowing
        return device;
    }

    Lines Commands() const {
        Lines lines;
        std::istringstream text(testing_support::read_file(record_));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }

    // Runs the loop until that many commands ran, and a little longer to catch any extra one.
    Lines WaitForCommands(std::size_t count) {
        run_main_loop_until([&] { return Commands().size() >= count; });
        run_main_loop_for(100ms);
        return Commands();
    }

    static Value Pref(std::string_view key) { return monitor::CopyScannerPref(key); }

    testing_support::IsolatedEnvironment env_;
    UsbTestbed testbed_;
    std::filesystem::path record_;
    HidButtonDevice reader_{monitor::kAllInOneVendorId, monitor::kAllInOneProductId,
                            monitor::kButtonCodeUsage, monitor::kButtonParameterUsage, 0};
};

TEST_F(ButtonReports, EachButtonRunsItsCommandLineAndOtherCodesRunNothing) {
    const TestUsbDevice panel = Plug();
    ASSERT_EQ(reader_.Open(), 0);
    EXPECT_EQ(reader_.cookies(), (std::array<std::uint32_t, 3>{2, 3, 0}));
    // Each press is followed by its release (code 0). 35 and 0x3F0 have no command.
    testbed_.send_input(
        panel, std::vector<std::uint8_t>{0x00, 0x2F, 0, 0, 0x04, 0x1F, 0, 0, 0x04, 0x2A, 0, 0,
                                         0x10, 0x00, 0, 0, 0x02, 0x30, 0, 0, 0x3F, 0x00, 0, 0});
    EXPECT_EQ(WaitForCommands(4), (Lines{kScan, kSignal, kSignal, kList}));
    EXPECT_EQ(Pref(monitor::IsCurrentlyScanning), Value::boolean(true));
    EXPECT_EQ(Pref(monitor::IsNetworkScanning), Value::boolean(false));
}

TEST_F(ButtonReports, AZeroByteLeavesItsSlotAsItWasInTheSameRead) {
    const TestUsbDevice panel = Plug();
    ASSERT_EQ(reader_.Open(), 0);
    reader_.Close();  // events wait in the node while nobody reads
    // 0x10 then 0x00 for the code, 0x05 for the parameter: read as one, slot 1 keeps 0x10.
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x10, 0x05, 0x00, 0x05});
    ASSERT_EQ(reader_.Open(), 0);
    EXPECT_EQ(WaitForCommands(1), (Lines{kList}));
}

TEST_F(ButtonReports, TheImageCaptureButtonReopensTheReaderOnceTheCalloutReturned) {
    const TestUsbDevice panel = Plug();
    ASSERT_EQ(reader_.Open(), 0);
    // Both reports come in one read. The second is still read by the queue that called out for
    // the first: the reopen waits until that callout has returned.
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x02, 0x25, 0x10, 0x00});
    EXPECT_EQ(WaitForCommands(2), (Lines{kImageCapture, kList}));
    EXPECT_TRUE(reader_.IsOpen());

    // The same report again changes nothing for the old queue, but is news to the new one.
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x10, 0x00});
    EXPECT_EQ(WaitForCommands(3), (Lines{kImageCapture, kList, kList}));
}

TEST_F(ButtonReports, OpenImageCaptureRunsTheOpenCommandThroughTheSystemFramework) {
    EXPECT_EQ(monitor::OpenImageCapture(), 0);
    EXPECT_EQ(Commands(), Lines{kImageCapture});
}

TEST_F(ButtonReports, OpenSkipsADeviceWithoutTheButtonUsages) {
    Plug(hid_test::kBootKeyboard);
    EXPECT_EQ(reader_.Open(), -1);
    EXPECT_FALSE(reader_.IsOpen());
    const TestUsbDevice panel = Plug();
    ASSERT_EQ(reader_.Open(), 0);
    EXPECT_EQ(reader_.cookies(), (std::array<std::uint32_t, 3>{2, 3, 0}));
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x04, 0x25});
    EXPECT_EQ(WaitForCommands(1), Lines{kSignal});
}

TEST_F(ButtonReports, AUsageNotFoundIsQueuedAsCookieZeroAndItsSlotStaysZero) {
    const TestUsbDevice panel = Plug(kCodeOnlyPanel);
    ASSERT_EQ(reader_.Open(), 0);
    EXPECT_EQ(reader_.cookies(), (std::array<std::uint32_t, 3>{2, 0, 0}));
    testbed_.send_input(panel, std::vector<std::uint8_t>{0x10});
    EXPECT_EQ(WaitForCommands(1), Lines{kList});
    EXPECT_EQ(reader_.values(), (std::array<std::int32_t, 3>{0x10, 0, -1}));
}

TEST_F(ButtonReports, CloseLetsGoOfTheNodeSoReopeningLeaksNothing) {
    Plug();
    const int before = OpenNodeDescriptors();
    ASSERT_EQ(reader_.Open(), 0);
    EXPECT_GT(OpenNodeDescriptors(), before);
    for (int i = 0; i < 3; ++i) {
        reader_.Close();
        EXPECT_EQ(OpenNodeDescriptors(), before);
        ASSERT_EQ(reader_.Open(), 0);
    }
    reader_.Close();
    reader_.Close();
    EXPECT_EQ(OpenNodeDescriptors(), before);
    EXPECT_FALSE(reader_.IsOpen());
}

// The scanner status after a read that succeeds, from each state before it.
struct PrefRow {
    Value scanningBefore;
    Value networkBefore;
    Value networkAfter;
};

TEST_F(ButtonReports, ASuccessfulReadMarksAUsbScanUnlessAScanWasInProgress) {
    Plug();
    ASSERT_EQ(reader_.Open(), 0);
    const Value yes = Value::boolean(true);
    const Value no = Value::boolean(false);
    const std::vector<PrefRow> rows = {
        {Value(), Value(), no},  {Value(), yes, no}, {no, yes, no},
        {yes, Value(), Value()}, {yes, yes, yes},    {yes, no, no},
    };
    for (const auto& row : rows) {
        monitor::SetScannerPref(monitor::IsCurrentlyScanning, row.scanningBefore);
        monitor::SetScannerPref(monitor::IsNetworkScanning, row.networkBefore);
        monitor::DispatchButtonEvents(reader_);  // an empty queue: a successful read, code 0
        SCOPED_TRACE(testing::PrintToString(row.scanningBefore) + " " +
                     testing::PrintToString(row.networkBefore));
        EXPECT_EQ(Pref(monitor::IsNetworkScanning), row.networkAfter);
        EXPECT_EQ(Pref(monitor::IsCurrentlyScanning), yes);
    }
    EXPECT_TRUE(Commands().empty());
}

}  // namespace
