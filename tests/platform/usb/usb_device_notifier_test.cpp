// Device matching and interest messages from udev, on the umockdev test bed (see
// CMakeLists.txt): devices present at start and plugged in later, late hidraw nodes, interface
// "unbind" messages and unplugs.

#include "platform/usb/usb_device_notifier.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runloop/run_loop.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/main_loop_wait.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using namespace std::chrono_literals;
using platform::usb::UsbDevice;
using platform::usb::UsbDeviceIterator;
using platform::usb::UsbDeviceNotifier;
using platform::usb::UsbInterest;
using platform::usb::UsbInterestMessage;
// The test bed, its devices and the main-loop waits (tests/support).
using namespace testing_support;

constexpr platform::usb::UsbDeviceMatch kPanel{0x1e33, 0x00b7};
// Short waits keep the tests quick; the waits of a real system are the defaults.
constexpr UsbDeviceNotifier::Timing kQuick{std::chrono::milliseconds(600),
                                           std::chrono::milliseconds(200)};

HidDeviceSpec panel_spec() {
    HidDeviceSpec wanted;
    wanted.report_descriptor = hid_test::kVendorPanel;
    wanted.extra_interfaces = 1;
    return wanted;
}

HidDeviceSpec keyboard_spec() {
    HidDeviceSpec wanted;
    wanted.vendor_id = "046d";
    wanted.product_id = "c31c";
    wanted.report_descriptor = hid_test::kBootKeyboard;
    return wanted;
}

std::vector<std::string> drain(UsbDeviceIterator& iterator) {
    std::vector<std::string> paths;
    while (auto device = iterator.next()) paths.push_back(device->syspath);
    return paths;
}

// A notifier whose matched callback drains the iterator into a list.
class NotifierTest : public ::testing::Test {
protected:
    void start(UsbDeviceNotifier::Timing timing = kQuick) {
        auto started = UsbDeviceNotifier::start(
            kPanel,
            [this](UsbDeviceIterator& iterator) {
                ++callbacks_;
                for (auto& path : drain(iterator)) matched_.push_back(path);
            },
            timing);
        ASSERT_TRUE(started.ok()) << started.error().message;
        notifier_ = std::move(started.value());
    }

    UsbTestbed testbed_;
    std::unique_ptr<UsbDeviceNotifier> notifier_;
    std::vector<std::string> matched_;
    int callbacks_ = 0;
};

TEST_F(NotifierTest, DevicesPresentAtStartWaitInTheIteratorAndAreNotMatchedAgain) {
    const TestUsbDevice panel = testbed_.add_hid_device(panel_spec());
    testbed_.add_hid_device(keyboard_spec());
    start();
    EXPECT_EQ(callbacks_, 0) << "the owner drains the devices found at start itself";
    EXPECT_EQ(drain(notifier_->matched_devices()), std::vector<std::string>{panel.syspath});

    // Its bind arriving after start (it was plugged in while the watch began) counts once.
    testbed_.bind(panel);
    run_main_loop_for(300ms);
    EXPECT_EQ(callbacks_, 0);
}

TEST_F(NotifierTest, AHotPluggedDeviceIsMatchedOnceWhenBoundWithItsNode) {
    start();
    EXPECT_TRUE(notifier_->matched_devices().empty());
    testbed_.add_hid_device(keyboard_spec());
    run_main_loop_for(50ms);  // umockdev lets only 11 uevents wait unread
    const TestUsbDevice panel = testbed_.add_hid_device(panel_spec());
    ASSERT_TRUE(run_main_loop_until([&] { return !matched_.empty(); }, 300ms))
        << "matched at its bind, not after the node wait";
    run_main_loop_for(900ms);
    EXPECT_EQ(matched_, std::vector<std::string>{panel.syspath});
    EXPECT_EQ(callbacks_, 1);
}

TEST_F(NotifierTest, ADeviceIsMatchedWhenItsNodeAppearsAfterItWasBound) {
    start();
    HidDeviceSpec wanted = panel_spec();
    wanted.hidraw = false;
    TestUsbDevice panel = testbed_.add_hid_device(wanted);
    run_main_loop_for(150ms);
    EXPECT_TRUE(matched_.empty()) << "bound, but its node is not there yet";
    testbed_.add_hidraw(panel);
    ASSERT_TRUE(run_main_loop_until([&] { return !matched_.empty(); }, 300ms));
    run_main_loop_for(900ms);
    EXPECT_EQ(matched_, std::vector<std::string>{panel.syspath}) << "the node wait ended unused";
}

TEST_F(NotifierTest, ADeviceWhoseNodeNeverComesIsMatchedAfterTheNodeWait) {
    start();
    HidDeviceSpec wanted = panel_spec();
    wanted.hidraw = false;
    const TestUsbDevice panel = testbed_.add_hid_device(wanted);
    run_main_loop_for(400ms);
    EXPECT_TRUE(matched_.empty());
    ASSERT_TRUE(run_main_loop_until([&] { return !matched_.empty(); }, 1s));
    EXPECT_EQ(matched_, std::vector<std::string>{panel.syspath});
}

TEST_F(NotifierTest, AnUnplugEndsAWaitAndARePlugIsMatchedAgain) {
    start();
    HidDeviceSpec wanted = panel_spec();
    wanted.hidraw = false;
    const TestUsbDevice bare = testbed_.add_hid_device(wanted);
    run_main_loop_for(100ms);
    testbed_.unplug(bare);
    run_main_loop_for(800ms);
    EXPECT_TRUE(matched_.empty()) << "a device that went away while waiting is not matched";

    const TestUsbDevice first = testbed_.add_hid_device(panel_spec());
    ASSERT_TRUE(run_main_loop_until([&] { return matched_.size() == 1; }));
    testbed_.unplug(first);
    run_main_loop_for(50ms);
    const TestUsbDevice second = testbed_.add_hid_device(panel_spec());
    ASSERT_TRUE(run_main_loop_until([&] { return matched_.size() == 2; }));
    EXPECT_EQ(matched_, (std::vector<std::string>{first.syspath, second.syspath}));
}

// Interest messages recorded per device.
struct Heard {
    std::string syspath;
    UsbInterestMessage message;
    bool operator==(const Heard&) const = default;
};

class InterestTest : public NotifierTest {
protected:
    void SetUp() override {
        panel_ = testbed_.add_hid_device(panel_spec());
        start();
        auto device = notifier_->matched_devices().next();
        ASSERT_TRUE(device);
        interest_ = listen(*device);
    }

    UsbInterest listen(const UsbDevice& device) {
        auto interest = notifier_->add_interest(
            device, [this](const UsbDevice& from, UsbInterestMessage message) {
                heard_.push_back({from.syspath, message});
            });
        EXPECT_TRUE(interest.ok());
        return interest ? std::move(interest.value()) : UsbInterest();
    }

    std::size_t closes() const {
        return static_cast<std::size_t>(
            std::count(heard_.begin(), heard_.end(),
                       Heard{panel_.syspath, UsbInterestMessage::ServiceWasClosed}));
    }

    TestUsbDevice panel_;
    UsbInterest interest_;
    std::vector<Heard> heard_;
};

TEST_F(InterestTest, AnInterfaceLetGoIsAWasClosedMessageAfterTheHold) {
    testbed_.uevent(panel_.interfaces[1], "unbind");
    run_main_loop_for(100ms);
    EXPECT_TRUE(heard_.empty()) << "held back for a while";
    ASSERT_TRUE(run_main_loop_until([&] { return closes() == 1; }, 1s));

    // Ten at once, each counted; a re-bind is no message, nor is the device's own unbind.
    for (std::size_t i = 0; i < 10; ++i) testbed_.uevent(panel_.interfaces[i % 2], "unbind");
    testbed_.uevent(panel_.interfaces[0], "bind");
    run_main_loop_for(50ms);
    testbed_.uevent(panel_.syspath, "unbind");
    ASSERT_TRUE(run_main_loop_until([&] { return closes() == 11; }, 1s));
    run_main_loop_for(300ms);
    EXPECT_EQ(heard_.size(), 11U);
}

TEST_F(InterestTest, AnUnplugIsOneTerminatedMessageAndItsUnbindsAreNotCloses) {
    testbed_.unplug(panel_);
    ASSERT_TRUE(run_main_loop_until([&] { return !heard_.empty(); }));
    run_main_loop_for(500ms);
    EXPECT_EQ(heard_,
              (std::vector<Heard>{{panel_.syspath, UsbInterestMessage::ServiceIsTerminated}}));
    EXPECT_FALSE(notifier_->add_interest(UsbDevice{panel_.syspath}, {}).ok())
        << "no interest in a device that is gone";
}

TEST_F(InterestTest, AnUnbindHeldWhenTheDeviceGoesAwayIsDropped) {
    testbed_.uevent(panel_.interfaces[1], "unbind");
    testbed_.unplug(panel_);
    run_main_loop_for(500ms);
    EXPECT_EQ(heard_,
              (std::vector<Heard>{{panel_.syspath, UsbInterestMessage::ServiceIsTerminated}}));
}

TEST_F(InterestTest, AReleasedInterestHearsNothingMoreNotEvenWhatItHeldBack) {
    UsbInterest second = listen(UsbDevice{panel_.syspath});
    testbed_.uevent(panel_.interfaces[0], "unbind");
    run_main_loop_for(50ms);
    interest_.reset();
    ASSERT_TRUE(run_main_loop_until([&] { return closes() == 1; }, 1s)) << "the second heard it";
    notifier_.reset();
    second.reset();  // after its notifier is gone: nothing left to do
    EXPECT_EQ(heard_.size(), 1U);
}

TEST_F(InterestTest, ACallbackMayReleaseItsOwnInterest) {
    auto self = std::make_shared<UsbInterest>();
    int calls = 0;
    auto interest = notifier_->add_interest(UsbDevice{panel_.syspath},
                                            [&calls, self](const UsbDevice&, UsbInterestMessage) {
                                                ++calls;
                                                self->reset();
                                            });
    ASSERT_TRUE(interest.ok());
    *self = std::move(interest.value());
    testbed_.uevent(panel_.interfaces[0], "unbind");
    testbed_.uevent(panel_.interfaces[1], "unbind");
    ASSERT_TRUE(run_main_loop_until([&] { return closes() == 2; }, 1s));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(self->active());
}

TEST(UsbDeviceNotifierStart, FailsWithoutSysfs) {
    UsbTestbed testbed;
    // The preload library takes /sys from this folder, which has no device tree.
    testing_support::TempDir empty("velmora-no-sysfs");
    const std::string saved = std::getenv("UMOCKDEV_DIR");
    ::setenv("UMOCKDEV_DIR", empty.path().c_str(), 1);
    auto started = UsbDeviceNotifier::start(kPanel, {});
    ::setenv("UMOCKDEV_DIR", saved.c_str(), 1);
    ASSERT_FALSE(started.ok());
    EXPECT_NE(started.error().message.find("sysfs"), std::string::npos) << started.error().message;
}

TEST(UsbDeviceNotifierStart, FailsWhenTheUdevMonitorCannotBeMade) {
    UsbTestbed testbed;  // its threads take no descriptor meanwhile (usb_testbed.hpp)
    platform::runloop::RunLoop::main();  // made first: here only the udev monitor lacks room
    // None left for the monitor's netlink socket.
    const SpareDescriptors limit(0);
    auto started = UsbDeviceNotifier::start(kPanel, {});
    ASSERT_FALSE(started.ok());
    EXPECT_NE(started.error().message.find("udev"), std::string::npos) << started.error().message;
}

TEST(UsbDeviceNotifierStart, FailsWhenTheRunLoopItIsWatchedOnCannotBeMade) {
    UsbTestbed testbed;
    // The thread's run loop, made on first use, gets its epoll instance but not its wake-up
    // descriptor: a failed start, not the end of the process.
    const SpareDescriptors limit(1);
    auto started = UsbDeviceNotifier::start(kPanel, {});
    ASSERT_FALSE(started.ok());
    EXPECT_NE(started.error().message.find("run loop"), std::string::npos)
        << started.error().message;
}

TEST(UsbDeviceNotifierStart, SucceedsWithNoUsbBusAtAll) {
    UsbTestbed testbed;
    auto started = UsbDeviceNotifier::start(kPanel, {});
    ASSERT_TRUE(started.ok()) << started.error().message;
    EXPECT_TRUE((*started)->matched_devices().empty());
}

}  // namespace
