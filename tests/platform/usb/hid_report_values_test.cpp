#include "platform/usb/hid_report_values.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/usb/hid_report_splitter.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"

namespace {

using hid_test::Bytes;
using platform::usb::decode_hid_input_report;
using platform::usb::hid_input_element_value;
using platform::usb::HidElementValue;
using platform::usb::HidReportDescriptor;
using platform::usb::HidReportSplitter;

HidReportDescriptor parsed(const Bytes& bytes) {
    auto result = HidReportDescriptor::parse(bytes);
    EXPECT_TRUE(result.ok());
    return result.ok() ? std::move(result).value() : HidReportDescriptor{};
}

TEST(HidReportValues, BootKeyboardModifiersAndKeySlots) {
    const auto d = parsed(hid_test::kBootKeyboard);
    // Left Shift and Right Alt held; keys a, b and an index past the logical maximum.
    const Bytes report = {0x42, 0xFF, 0x04, 0x05, 0x70, 0x00, 0x00, 0x00};
    const auto values = decode_hid_input_report(d, report);
    ASSERT_EQ(values.size(), 14U) << "8 modifiers and 6 slots; no value for the reserved byte";
    EXPECT_EQ(values[0], (HidElementValue{2, 0}));
    EXPECT_EQ(values[1], (HidElementValue{3, 1}));
    EXPECT_EQ(values[6], (HidElementValue{8, 1}));
    EXPECT_EQ(values[8], (HidElementValue{15, 0x04})) << "a slot reports the key's usage";
    EXPECT_EQ(values[9], (HidElementValue{16, 0x05}));
    EXPECT_EQ(values[10], (HidElementValue{17, 0})) << "out of the logical range: no usage";
    EXPECT_EQ(hid_input_element_value(d, 16, report), 0x05);
    EXPECT_FALSE(hid_input_element_value(d, 10, report)) << "an output element";
    EXPECT_FALSE(hid_input_element_value(d, 1, report)) << "a collection";
}

TEST(HidReportValues, ArraySlotsMapIndexesThroughTheLogicalMinimum) {
    // Three usages selected by indexes 1..3 (0 is the null value).
    const auto d = parsed({0x05, 0x0C, 0x15, 0x01, 0x25, 0x03, 0x09, 0xB5, 0x09, 0xB6, 0x09, 0xCD,
                           0x75, 0x02, 0x95, 0x02, 0x81, 0x00});
    EXPECT_EQ(hid_input_element_value(d, 1, Bytes{0x03 | (0x01 << 2)}), 0xCD);
    EXPECT_EQ(hid_input_element_value(d, 2, Bytes{0x03 | (0x01 << 2)}), 0xB5);
    EXPECT_EQ(hid_input_element_value(d, 1, Bytes{0x00}), 0);
}

TEST(HidReportValues, SignedFieldsAreSignExtendedAndUnsignedOnesAreNot) {
    const auto d = parsed(hid_test::kGamepadPushPop);
    // X -127, Y 127, buttons 1 and 4, AC Home, Z -32768.
    const Bytes report = {0x81, 0x7F, 0x09, 0x01, 0x00, 0x80};
    EXPECT_EQ(hid_input_element_value(d, 2, report), -127);
    EXPECT_EQ(hid_input_element_value(d, 3, report), 127);
    EXPECT_EQ(hid_input_element_value(d, 4, report), 1);
    EXPECT_EQ(hid_input_element_value(d, 5, report), 0);
    EXPECT_EQ(hid_input_element_value(d, 7, report), 1);
    EXPECT_EQ(hid_input_element_value(d, 8, report), 1);
    EXPECT_EQ(hid_input_element_value(d, 9, report), -32768);

    const auto panel = parsed(hid_test::kVendorPanel);
    EXPECT_EQ(hid_input_element_value(panel, 2, Bytes{0xA5, 0xFF}), 0xA5);
    EXPECT_EQ(hid_input_element_value(panel, 3, Bytes{0xA5, 0xFF}), 255);

    // A 4-bit field from -8 to 7 straddling a byte boundary, and a full 32-bit unsigned one.
    const auto odd =
        parsed({0x75, 0x06, 0x95, 0x01, 0x81, 0x03, 0x15, 0xF8, 0x25, 0x07, 0x75, 0x04, 0x81,
                0x02, 0x15, 0x00, 0x27, 0xFF, 0xFF, 0xFF, 0xFF, 0x75, 0x20, 0x81, 0x02});
    const Bytes odd_report = {0xC0, 0xC2, 0xFF, 0xFF, 0xFF};  // bits 6..9 = 1011 = -5
    EXPECT_EQ(hid_input_element_value(odd, 1, odd_report), -5);
    EXPECT_EQ(hid_input_element_value(odd, 2, Bytes{0, 0x0B, 0xFF, 0xFF, 0xFF, 0x0F}),
              static_cast<std::int32_t>(0xFFFFFFC2U))
        << "32 bits from bit 10 keep their pattern";
}

TEST(HidReportValues, ReportIdsSelectTheFieldsAndShortReportsReadAsZeros) {
    const auto d = parsed(hid_test::kMouseAndConsumer);
    const Bytes mouse = {0x01, 0x05, 0xFE, 0x02, 0x01};
    const auto values = decode_hid_input_report(d, mouse);
    ASSERT_EQ(values.size(), 6U);
    EXPECT_EQ(values[0], (HidElementValue{3, 1}));
    EXPECT_EQ(values[2], (HidElementValue{5, 1}));
    EXPECT_EQ(values[3], (HidElementValue{6, -2}));
    EXPECT_EQ(values[5], (HidElementValue{8, 1}));
    EXPECT_FALSE(hid_input_element_value(d, 10, mouse)) << "the consumer slot is in report 2";

    const Bytes volume_up = {0x02, 0xE9, 0x00};
    EXPECT_EQ(decode_hid_input_report(d, volume_up), (std::vector<HidElementValue>{{10, 0xE9}}));
    EXPECT_EQ(hid_input_element_value(d, 10, Bytes{0x02, 0xE9}), 0xE9) << "high byte missing";
    EXPECT_TRUE(decode_hid_input_report(d, Bytes{0x07, 0x01}).empty()) << "unknown ID";
    EXPECT_TRUE(decode_hid_input_report(d, Bytes{}).empty());
}

struct Collected {
    std::vector<Bytes> reports;
    HidReportSplitter::ReportHandler handler() {
        return
            [this](std::span<const std::uint8_t> r) { reports.emplace_back(r.begin(), r.end()); };
    }
};

TEST(HidReportSplitter, StreamsAcrossReportIdsSplitTheSameWhateverTheChunks) {
    const auto d = parsed(hid_test::kMouseAndConsumer);
    const std::vector<Bytes> expected = {{0x01, 0x01, 0x02, 0x03, 0x00},
                                         {0x02, 0xE9, 0x00},
                                         {0x02, 0x00, 0x00},
                                         {0x01, 0x00, 0xFF, 0x01, 0x02}};
    Bytes stream;
    for (const auto& r : expected) stream.insert(stream.end(), r.begin(), r.end());

    for (std::size_t chunk :
         {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{7}, stream.size()}) {
        HidReportSplitter splitter(d);
        Collected got;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            splitter.feed(std::span<const std::uint8_t>(stream).subspan(at, n), got.handler());
        }
        EXPECT_EQ(got.reports, expected) << "chunks of " << chunk;
        EXPECT_EQ(splitter.pending_bytes(), 0U);
        EXPECT_EQ(splitter.dropped_bytes(), 0U);
    }
}

TEST(HidReportSplitter, BytesThatCannotStartAReportAreDroppedUntilInStep) {
    const auto d = parsed(hid_test::kMouseAndConsumer);
    HidReportSplitter splitter(d);
    Collected got;
    splitter.feed(Bytes{0x00, 0x09, 0x02, 0xCD, 0x00, 0x01, 0x01}, got.handler());
    EXPECT_EQ(got.reports, (std::vector<Bytes>{{0x02, 0xCD, 0x00}}));
    EXPECT_EQ(splitter.dropped_bytes(), 2U);
    EXPECT_EQ(splitter.pending_bytes(), 2U);
    splitter.reset();
    splitter.feed(Bytes{0x02, 0xB5, 0x00}, got.handler());
    EXPECT_EQ(got.reports.back(), (Bytes{0x02, 0xB5, 0x00})) << "reset forgot the partial report";
}

TEST(HidReportSplitter, WithoutReportIdsEveryReportHasTheOneLength) {
    const auto d = parsed(hid_test::kVendorPanel);
    HidReportSplitter splitter(d);
    Collected got;
    splitter.feed(Bytes{0x00, 0x21, 0x07}, got.handler());
    splitter.feed(Bytes{0x00, 0x01}, got.handler());
    EXPECT_EQ(got.reports, (std::vector<Bytes>{{0x00, 0x21}, {0x07, 0x00}}));
    EXPECT_EQ(splitter.pending_bytes(), 1U);

    const auto no_inputs = parsed({0x75, 0x08, 0x95, 0x01, 0x91, 0x02});
    HidReportSplitter drop_all(no_inputs);
    drop_all.feed(Bytes{1, 2, 3}, got.handler());
    EXPECT_EQ(got.reports.size(), 2U);
    EXPECT_EQ(drop_all.dropped_bytes(), 3U);
}

// One read of a node that returns a report per read.
TEST(HidReportSplitter, AWholeReadIsFittedToTheReportItsFirstByteNames) {
    const auto d = parsed(hid_test::kMouseAndConsumer);
    HidReportSplitter splitter(d);
    const auto fitted = [&splitter](const Bytes& read) -> std::optional<Bytes> {
        const auto report = splitter.whole_report(read);
        if (!report) return std::nullopt;
        return Bytes(report->begin(), report->end());
    };
    EXPECT_EQ(fitted({0x02, 0xE9}), (Bytes{0x02, 0xE9, 0x00})) << "short: zero-filled";
    EXPECT_EQ(fitted({0x01, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}),
              (Bytes{0x01, 0x01, 0x02, 0x03, 0x04}))
        << "long: cut";
    EXPECT_EQ(fitted({0x02, 0xCD, 0x00}), (Bytes{0x02, 0xCD, 0x00}));
    EXPECT_EQ(fitted({0x07, 0x01, 0x02}), std::nullopt) << "no such input report";
    EXPECT_EQ(fitted({}), std::nullopt);
    EXPECT_EQ(splitter.dropped_bytes(), 3U);
    EXPECT_EQ(splitter.pending_bytes(), 0U) << "nothing carried into the next read";

    HidReportSplitter panel(parsed(hid_test::kVendorPanel));
    const auto report = panel.whole_report(Bytes{0x04});
    ASSERT_TRUE(report);
    EXPECT_EQ(Bytes(report->begin(), report->end()), (Bytes{0x04, 0x00})) << "without report IDs";
}

}  // namespace
