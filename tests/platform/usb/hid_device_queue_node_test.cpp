// Event queues on nodes made here rather than on the test bed. A pipe in packet mode (pipe2
// with O_DIRECT) returns one write per read, as a hidraw node returns one report per read; a
// pseudo-terminal in raw mode delivers a byte stream, as the nodes umockdev emulates do.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/base/unique_fd.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/usb/hid_device.hpp"
#include "platform/usb/hid_device_queue.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/main_loop_wait.hpp"

namespace {

using platform::UniqueFd;
using platform::usb::HidDevice;
using platform::usb::HidDeviceQueue;
using platform::usb::HidReportDescriptor;
using testing_support::run_main_loop_until;
using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<std::uint32_t, std::int32_t>>;

enum class Node { PacketPipe, Terminal };

// The two ends of a node: the queue reads one, the test writes the other.
struct NodeEnds {
    UniqueFd read;
    UniqueFd write;
};

NodeEnds MakeNode(Node kind) {
    NodeEnds ends;
    if (kind == Node::PacketPipe) {
        int fds[2];
        if (::pipe2(fds, O_DIRECT | O_NONBLOCK | O_CLOEXEC) != 0) return ends;
        ends.read.reset(fds[0]);
        ends.write.reset(fds[1]);
        return ends;
    }
    int master = -1;
    int slave = -1;
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return ends;
    ends.write.reset(master);
    ends.read.reset(slave);
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
    return ends;
}

// A queue on a node, with a callout that counts and takes the events; run() handles what the
// test wrote, up to a last report that it can tell apart.
class NodeQueueTest : public ::testing::Test {
protected:
    void Open(Node kind, const Bytes& descriptor, const std::vector<std::uint32_t>& cookies) {
        NodeEnds ends = MakeNode(kind);
        ASSERT_TRUE(ends.read && ends.write) << "cannot make the node";
        writer_ = std::move(ends.write);
        auto parsed = HidReportDescriptor::parse(descriptor);
        ASSERT_TRUE(parsed.ok());
        const HidDevice device =
            HidDevice::from_open_node(std::move(ends.read), "test node", *parsed);
        auto queue = HidDeviceQueue::create(device);
        ASSERT_TRUE(queue.ok());
        queue_ = std::make_unique<HidDeviceQueue>(std::move(queue.value()));
        for (auto cookie : cookies) queue_->add_element(cookie);
        queue_->set_callout([this] {
            ++callouts_;
            while (auto event = queue_->next_event())
                events_.emplace_back(event->cookie, event->value);
            if (onCallout_) onCallout_();
        });
        ASSERT_TRUE(queue_->start().ok());
    }

    // One write: on a packet node, one read.
    void Write(const Bytes& bytes) {
        ASSERT_EQ(::write(writer_.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Runs the loop until the event was taken; what was written before it has been read too.
    bool RunUntilTaken(std::pair<std::uint32_t, std::int32_t> last) {
        return run_main_loop_until([&] { return !events_.empty() && events_.back() == last; });
    }

    UniqueFd writer_;
    std::unique_ptr<HidDeviceQueue> queue_;
    Events events_;
    int callouts_ = 0;
    std::function<void()> onCallout_;
};

TEST_F(NodeQueueTest, EachReadOfAPacketNodeIsOneReportZeroFilledWhenShortAndCutWhenLong) {
    Open(Node::PacketPipe, hid_test::kVendorPanel, {2, 3});
    Write({0x04});              // short: 0x04 0x00
    Write({0x02, 0x25, 0x99});  // long: 0x02 0x25
    Write({0x10, 0x00});
    ASSERT_TRUE(RunUntilTaken({3, 0x00})) << testing::PrintToString(events_);
    EXPECT_EQ(events_, (Events{{2, 0x04}, {2, 0x02}, {3, 0x25}, {2, 0x10}, {3, 0x00}}));
    EXPECT_EQ(callouts_, 3);
}

TEST_F(NodeQueueTest, APacketNodeWithReportIdsStaysInStepAfterReportsOfTheWrongLength) {
    Open(Node::PacketPipe, hid_test::kMouseAndConsumer, {6, 10});  // X and the consumer key
    Write({0x02, 0xE9});                                           // consumer, short: 0xE9 0x00
    Write({0x01, 0x00, 0xFD, 0x04, 0x00, 0x05, 0x06});             // mouse, long: X -3
    Write({0x07, 0x01, 0x02});                                     // no such report
    Write({0x02, 0xCD, 0x00, 0x01});                               // consumer, long: 0xCD
    Write({0x01, 0x00, 0x11});                                     // mouse, short: X 17
    ASSERT_TRUE(RunUntilTaken({6, 17})) << testing::PrintToString(events_);
    EXPECT_EQ(events_, (Events{{10, 0xE9}, {6, -3}, {10, 0xCD}, {6, 17}}));
}

TEST_F(NodeQueueTest, ATerminalIsAByteStreamCutByReportLengths) {
    Open(Node::Terminal, hid_test::kVendorPanel, {2, 3});
    Write({0x04});
    Write({0x20, 0x02, 0x25, 0x10});  // ends the first report, a whole one, half of the next
    Write({0x00});
    ASSERT_TRUE(RunUntilTaken({3, 0x00})) << testing::PrintToString(events_);
    EXPECT_EQ(events_, (Events{{2, 0x04}, {3, 0x20}, {2, 0x02}, {3, 0x25}, {2, 0x10}, {3, 0x00}}));
}

// A quit request made in a callout is acted on before the next report is read, on either kind
// of node, however many reports wait. What waits is read when the loop runs again, also after
// the queue was stopped and started and when the node itself has nothing new.
TEST_F(NodeQueueTest, AWakeUpHandlesOneReportSoThatAQuitRequestIsNotHeldOff) {
    for (const Node kind : {Node::PacketPipe, Node::Terminal}) {
        SCOPED_TRACE(kind == Node::PacketPipe ? "packet pipe" : "terminal");
        callouts_ = 0;
        events_.clear();
        Open(kind, hid_test::kVendorPanel, {2});
        onCallout_ = [this] {
            if (callouts_ == 1) platform::runloop::request_main_quit();
        };
        if (kind == Node::Terminal) {
            Write({0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00});
        } else {
            for (std::uint8_t button = 1; button <= 4; ++button) Write({button, 0x00});
        }
        // Only a queue that never calls out needs this.
        auto guard = platform::runloop::RunLoop::main().add_timer(
            std::chrono::seconds(10), [] { platform::runloop::request_main_quit(); });
        ASSERT_TRUE(guard.ok());
        platform::runloop::RunLoop::main().run_until_quit();
        EXPECT_EQ(callouts_, 1);

        queue_->stop();
        ASSERT_TRUE(queue_->start().ok());
        ASSERT_TRUE(RunUntilTaken({2, 0x04})) << testing::PrintToString(events_);
        EXPECT_EQ(events_, (Events{{2, 1}, {2, 2}, {2, 3}, {2, 4}}));
        onCallout_ = nullptr;
        queue_.reset();
    }
}

}  // namespace
