// HID interfaces below USB devices and event queues reading their hidraw nodes on the main run
// loop, on the umockdev test bed (see CMakeLists.txt).

#include "platform/usb/hid_device_queue.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/usb/hid_device.hpp"
#include "platform/usb/hid_interface.hpp"
#include "platform/usb/usb_device.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/main_loop_wait.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using namespace std::chrono_literals;
using platform::usb::HidDevice;
using platform::usb::HidDeviceQueue;
using platform::usb::HidEvent;
using platform::usb::HidInterface;
using platform::usb::UsbDevice;
// The test bed, its devices and the main-loop waits (tests/support).
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

HidDeviceSpec spec_with(const Bytes& descriptor) {
    HidDeviceSpec wanted;
    wanted.report_descriptor = descriptor;
    return wanted;
}

TEST(UsbDevices, AreFoundByTheirIdentifiers) {
    UsbTestbed testbed;
    EXPECT_EQ(platform::usb::usb_id_text(7731), "1e33");
    EXPECT_EQ(platform::usb::usb_id_text(183), "00b7");
    const TestUsbDevice first = testbed.add_hid_device(spec_with(hid_test::kVendorPanel));
    HidDeviceSpec keyboard = spec_with(hid_test::kBootKeyboard);
    keyboard.product_id = "00b8";
    testbed.add_hid_device(keyboard);
    const TestUsbDevice second = testbed.add_hid_device(spec_with(hid_test::kVendorPanel));

    auto found = platform::usb::find_usb_devices({0x1e33, 0x00b7});
    ASSERT_TRUE(found.ok());
    EXPECT_EQ(*found, (std::vector<UsbDevice>{{first.syspath}, {second.syspath}}));
    EXPECT_TRUE(platform::usb::find_usb_devices({0x1e33, 0x0001})->empty());
}

TEST(HidInterfaces, AreTheHidrawDeviceBelowAUsbDeviceWithItsParsedDescriptor) {
    UsbTestbed testbed;
    HidDeviceSpec wanted = spec_with(hid_test::kMouseAndConsumer);
    wanted.extra_interfaces = 2;
    const TestUsbDevice mouse = testbed.add_hid_device(wanted);
    auto interface = HidInterface::find_below(UsbDevice{mouse.syspath});
    ASSERT_TRUE(interface.ok()) << interface.error().message;
    EXPECT_EQ(interface->syspath(), mouse.hidraw_syspath);
    EXPECT_EQ(interface->devnode(), mouse.devnode);
    EXPECT_TRUE(interface->descriptor().uses_report_ids());
    const auto tree = interface->element_tree();
    EXPECT_EQ(tree.size(), 2U) << "two application collections";
    EXPECT_EQ(tree.at(1).get("Elements").at(0).get("ReportID"), platform::plist::Value::integer(2));
}

TEST(HidInterfaces, AreMissingWithoutANodeOrWithABrokenDescriptor) {
    UsbTestbed testbed;
    HidDeviceSpec bare = spec_with(hid_test::kVendorPanel);
    bare.hidraw = false;
    const TestUsbDevice without_node = testbed.add_hid_device(bare);
    EXPECT_FALSE(HidInterface::find_below(UsbDevice{without_node.syspath}).ok());

    // A collection that never ends.
    const TestUsbDevice broken = testbed.add_hid_device(spec_with({0x05, 0x01, 0xA1, 0x01}));
    EXPECT_FALSE(HidInterface::find_below(UsbDevice{broken.syspath}).ok());
    const TestUsbDevice empty = testbed.add_hid_device(spec_with({}));
    EXPECT_FALSE(HidInterface::find_below(UsbDevice{empty.syspath}).ok());
    EXPECT_FALSE(HidInterface::find_below(UsbDevice{"/sys/devices/nothing"}).ok());
}

// A queue on a test-bed device, with a callout that counts and collects the events.
class QueueTest : public ::testing::Test {
protected:
    void open(const Bytes& descriptor, std::vector<std::uint32_t> cookies) {
        device_ = testbed_.add_hid_device(spec_with(descriptor));
        auto interface = HidInterface::find_below(UsbDevice{device_.syspath});
        ASSERT_TRUE(interface.ok()) << interface.error().message;
        auto node = HidDevice::open(*interface);
        ASSERT_TRUE(node.ok()) << node.error().message;
        auto queue = HidDeviceQueue::create(*node);
        ASSERT_TRUE(queue.ok());
        queue_ = std::make_unique<HidDeviceQueue>(std::move(queue.value()));
        for (auto cookie : cookies) queue_->add_element(cookie);
        queue_->set_callout([this] {
            ++callouts_;
            while (auto event = queue_->next_event()) events_.push_back(*event);
        });
    }

    void send(const Bytes& bytes) { testbed_.send_input(device_, bytes); }

    std::vector<std::pair<std::uint32_t, std::int32_t>> taken() const {
        std::vector<std::pair<std::uint32_t, std::int32_t>> pairs;
        for (const auto& event : events_) pairs.emplace_back(event.cookie, event.value);
        return pairs;
    }

    UsbTestbed testbed_;
    TestUsbDevice device_;
    std::unique_ptr<HidDeviceQueue> queue_;
    std::vector<HidEvent> events_;
    int callouts_ = 0;
};

TEST_F(QueueTest, QueuesOneEventPerChangedValueAndCallsOutPerReport) {
    open(hid_test::kVendorPanel, {2, 3});
    ASSERT_TRUE(queue_->start().ok());
    EXPECT_TRUE(queue_->start().ok()) << "starting again does nothing";
    send({0x02, 0x25});
    ASSERT_TRUE(run_main_loop_until([&] { return callouts_ == 1; }));
    EXPECT_EQ(taken(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{2, 0x02}, {3, 0x25}}));

    // Unchanged values queue nothing; a report that changes nothing calls nothing.
    send({0x02, 0x30, 0x02, 0x30, 0x00, 0x00});
    ASSERT_TRUE(run_main_loop_until([&] { return callouts_ == 3; }));
    run_main_loop_for(50ms);
    EXPECT_EQ(callouts_, 3);
    EXPECT_EQ(taken(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                           {2, 0x02}, {3, 0x25}, {3, 0x30}, {2, 0}, {3, 0}}));
    EXPECT_GT(events_.back().timestamp, events_.front().timestamp);
}

TEST_F(QueueTest, ReadsReportsWithIdsFromAStreamAndOnlyTheQueuedElements) {
    open(hid_test::kMouseAndConsumer, {6, 10});  // X and the consumer key
    ASSERT_TRUE(queue_->start().ok());
    // Mouse: buttons 1, X -3, Y 4, wheel 0; consumer key 0xE9, split over two writes.
    send({0x01, 0x01, 0xFD, 0x04, 0x00, 0x02, 0xE9});
    run_main_loop_for(30ms);
    send({0x00});
    ASSERT_TRUE(run_main_loop_until([&] { return events_.size() == 2; }));
    EXPECT_EQ(taken(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{6, -3}, {10, 0xE9}}));
}

TEST_F(QueueTest, KeepsEightEventsAndDropsWhatComesWhileItIsFull) {
    open(hid_test::kVendorPanel, {2, 3});
    queue_->set_callout([this] { ++callouts_; });  // takes nothing
    ASSERT_TRUE(queue_->start().ok());
    for (std::uint8_t i = 1; i <= 5; ++i) send({i, static_cast<std::uint8_t>(0x10 + i)});
    ASSERT_TRUE(run_main_loop_until([&] { return callouts_ == 4; }));
    run_main_loop_for(50ms);
    EXPECT_EQ(queue_->size(), 8U);
    EXPECT_EQ(queue_->dropped_events(), 2U);
    EXPECT_EQ(callouts_, 4) << "the fifth report queued nothing";
    EXPECT_EQ(queue_->next_event()->value, 1) << "the oldest stay";
}

TEST_F(QueueTest, ReadsNothingUntilStartedAndNothingOnceStopped) {
    open(hid_test::kVendorPanel, {2});
    send({0x04, 0x00});
    run_main_loop_for(50ms);
    EXPECT_EQ(callouts_, 0);
    ASSERT_TRUE(queue_->start().ok());
    ASSERT_TRUE(run_main_loop_until([&] { return callouts_ == 1; })) << "what waited is read";
    queue_->stop();
    EXPECT_FALSE(queue_->started());
    send({0x05, 0x00});
    run_main_loop_for(50ms);
    EXPECT_EQ(callouts_, 1);
}

TEST_F(QueueTest, ACalloutMayDestroyItsOwnQueue) {
    open(hid_test::kVendorPanel, {2});
    queue_->set_callout([this] {
        ++callouts_;
        queue_.reset();
    });
    ASSERT_TRUE(queue_->start().ok());
    send({0x01, 0x00, 0x02, 0x00});  // two reports in one read
    ASSERT_TRUE(run_main_loop_until([&] { return callouts_ == 1; }));
    run_main_loop_for(50ms);
    EXPECT_EQ(callouts_, 1) << "nothing is read after the queue is gone";
}

TEST(HidDevices, CannotBeOpenedOnceTheirNodeIsGone) {
    UsbTestbed testbed;
    const TestUsbDevice panel = testbed.add_hid_device(spec_with(hid_test::kVendorPanel));
    auto interface = HidInterface::find_below(UsbDevice{panel.syspath});
    ASSERT_TRUE(interface.ok());
    testbed.remove(panel);
    auto node = HidDevice::open(*interface);
    ASSERT_FALSE(node.ok());
    EXPECT_NE(node.error().message.find(panel.devnode), std::string::npos);
}

}  // namespace
