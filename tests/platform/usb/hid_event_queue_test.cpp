#include "platform/usb/hid_event_queue.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/platform/usb/hid_test_descriptors.hpp"

namespace {

using hid_test::Bytes;
using platform::usb::HidEvent;
using platform::usb::HidEventQueue;
using platform::usb::HidReportDescriptor;

HidReportDescriptor parsed(const Bytes& bytes) {
    auto result = HidReportDescriptor::parse(bytes);
    EXPECT_TRUE(result.ok());
    return result.ok() ? std::move(result).value() : HidReportDescriptor{};
}

std::vector<HidEvent> drain(HidEventQueue& queue) {
    std::vector<HidEvent> events;
    while (auto event = queue.next_event()) events.push_back(*event);
    return events;
}

TEST(HidEventQueue, QueuesChangedValuesOfQueuedElementsOnly) {
    HidEventQueue queue(parsed(hid_test::kVendorPanel));
    queue.add_element(2);
    queue.add_element(3);
    EXPECT_FALSE(queue.next_event()) << "underrun before any report";

    EXPECT_EQ(queue.handle_report(Bytes{0x00, 0x00}, 1), 0U) << "zeros change nothing at first";
    EXPECT_EQ(queue.handle_report(Bytes{0x21, 0x00}, 2), 1U);
    EXPECT_EQ(queue.handle_report(Bytes{0x21, 0x00}, 3), 0U) << "same report again";
    EXPECT_EQ(queue.handle_report(Bytes{0x00, 0x05}, 4), 2U);
    EXPECT_EQ(drain(queue), (std::vector<HidEvent>{{2, 0x21, 2}, {2, 0, 4}, {3, 5, 4}}));
    EXPECT_FALSE(queue.next_event());
    EXPECT_EQ(queue.dropped_events(), 0U);
}

TEST(HidEventQueue, FirstReportComparesAgainstZero) {
    HidEventQueue queue(parsed(hid_test::kVendorPanel));
    queue.add_element(3);
    EXPECT_EQ(queue.handle_report(Bytes{0x10, 0x07}, 9), 1U);
    EXPECT_EQ(drain(queue), (std::vector<HidEvent>{{3, 7, 9}}));
}

TEST(HidEventQueue, AFullQueueDropsNewEventsAndKeepsTheOldOnes) {
    // Boot keyboard: 8 modifiers (cookies 2-9) and 6 key slots (15-20).
    HidEventQueue queue(parsed(hid_test::kBootKeyboard));
    for (std::uint32_t cookie = 2; cookie <= 20; ++cookie) queue.add_element(cookie);
    EXPECT_EQ(queue.depth(), 8U);

    EXPECT_EQ(queue.handle_report(Bytes{0x0F, 0x00, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 1), 8U)
        << "10 changes, 8 places";
    EXPECT_EQ(queue.dropped_events(), 2U);
    EXPECT_EQ(queue.handle_report(Bytes{0x1F, 0, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 2), 0U);
    EXPECT_EQ(queue.dropped_events(), 3U);

    const auto events = drain(queue);
    ASSERT_EQ(events.size(), 8U);
    EXPECT_EQ(events.front(), (HidEvent{2, 1, 1}));
    EXPECT_EQ(events[3], (HidEvent{5, 1, 1}));
    EXPECT_EQ(events[4], (HidEvent{15, 4, 1})) << "padding and outputs are skipped";
    EXPECT_EQ(events.back(), (HidEvent{18, 7, 1}));

    // Dropped changes are not queued later: the values moved on all the same.
    EXPECT_EQ(queue.handle_report(Bytes{0x1F, 0, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 3), 0U);
    EXPECT_EQ(queue.current_value(20), 9);
    EXPECT_EQ(queue.handle_report(Bytes{0x1F, 0, 0x04, 0x05, 0x06, 0x07, 0x08, 0x00}, 4), 1U);
    EXPECT_EQ(drain(queue), (std::vector<HidEvent>{{20, 0, 4}}));
}

TEST(HidEventQueue, ElementsAddedLaterCompareWithTheLatestReport) {
    HidEventQueue queue(parsed(hid_test::kVendorPanel), 4);
    queue.handle_report(Bytes{0x30, 0x00}, 1);
    queue.add_element(2);
    EXPECT_EQ(queue.handle_report(Bytes{0x30, 0x01}, 2), 0U) << "166 was already 0x30";
    queue.remove_element(2);
    EXPECT_FALSE(queue.has_element(2));
    EXPECT_EQ(queue.handle_report(Bytes{0x31, 0x01}, 3), 0U);
    EXPECT_EQ(queue.current_value(2), 0x31);
    EXPECT_FALSE(queue.current_value(1)) << "a collection has no value";
}

TEST(HidEventQueue, CookiesOutsideTheDescriptorAreKeptButSilent) {
    HidEventQueue queue(parsed(hid_test::kVendorPanel));
    queue.add_element(0);
    queue.add_element(0);
    queue.add_element(99);
    queue.add_element(4);  // an output element
    EXPECT_TRUE(queue.has_element(0));
    EXPECT_TRUE(queue.has_element(99));
    EXPECT_EQ(queue.handle_report(Bytes{0xFF, 0xFF}, 1), 0U);
    queue.remove_element(0);
    EXPECT_FALSE(queue.has_element(0));
    EXPECT_TRUE(queue.has_element(99));
}

TEST(HidEventQueue, ReportIdsRouteReportsToTheirElements) {
    HidEventQueue queue(parsed(hid_test::kMouseAndConsumer));
    for (std::uint32_t cookie : {3U, 6U, 10U}) queue.add_element(cookie);
    EXPECT_EQ(queue.handle_report(Bytes{0x02, 0xE9, 0x00}, 1), 1U);
    EXPECT_EQ(queue.handle_report(Bytes{0x01, 0x01, 0xFF, 0x00, 0x00}, 2), 2U);
    EXPECT_EQ(queue.handle_report(Bytes{0x02, 0x00, 0x00}, 3), 1U);
    EXPECT_EQ(queue.handle_report(Bytes{}, 4), 0U);
    EXPECT_EQ(queue.handle_report(Bytes{0x05, 0x01}, 5), 0U);
    EXPECT_EQ(drain(queue),
              (std::vector<HidEvent>{{10, 0xE9, 1}, {3, 1, 2}, {6, -1, 2}, {10, 0, 3}}));
}

}  // namespace
