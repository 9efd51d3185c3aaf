#include "platform/usb/hid_report_descriptor.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/platform/usb/hid_test_descriptors.hpp"

namespace {

using hid_test::Bytes;
using platform::usb::hid_usage;
using platform::usb::HidField;
using platform::usb::HidReportDescriptor;
using platform::usb::HidReportType;
using platform::usb::HidUsageRange;

HidReportDescriptor parse_ok(const Bytes& bytes) {
    auto parsed = HidReportDescriptor::parse(bytes);
    EXPECT_TRUE(parsed.ok()) << (parsed.ok() ? "" : parsed.error().message);
    return parsed.ok() ? std::move(parsed).value() : HidReportDescriptor{};
}

std::string parse_error(const Bytes& bytes) {
    auto parsed = HidReportDescriptor::parse(bytes);
    return parsed.ok() ? "parsed" : parsed.error().message;
}

TEST(HidReportDescriptor, BootKeyboardFieldsOffsetsAndReportLengths) {
    const auto d = parse_ok(hid_test::kBootKeyboard);
    EXPECT_FALSE(d.uses_report_ids());
    ASSERT_EQ(d.fields().size(), 5U);
    ASSERT_EQ(d.collections().size(), 1U);
    EXPECT_EQ(d.collections()[0].usage, hid_usage(0x01, 0x06));
    EXPECT_EQ(d.collections()[0].type, 1);
    EXPECT_EQ(d.collections()[0].cookie, 1U);

    const HidField& modifiers = d.fields()[0];
    EXPECT_EQ(modifiers.type, HidReportType::Input);
    EXPECT_TRUE(modifiers.is_variable());
    EXPECT_EQ(modifiers.bit_offset, 0U);
    EXPECT_EQ(modifiers.first_cookie, 2U);
    EXPECT_EQ(modifiers.variable_usage(0), hid_usage(0x07, 0xE0));
    EXPECT_EQ(modifiers.variable_usage(7), hid_usage(0x07, 0xE7));
    EXPECT_EQ(modifiers.collection, 0);

    const HidField& reserved = d.fields()[1];
    EXPECT_TRUE(reserved.is_constant());
    EXPECT_EQ(reserved.bit_offset, 8U);
    EXPECT_EQ(reserved.first_cookie, 0U) << "padding has no elements";

    const HidField& leds = d.fields()[2];
    EXPECT_EQ(leds.type, HidReportType::Output);
    EXPECT_EQ(leds.bit_offset, 0U) << "output reports count their own bits";
    EXPECT_EQ(leds.first_cookie, 10U);
    EXPECT_EQ(leds.variable_usage(4), hid_usage(0x08, 0x05));
    EXPECT_EQ(d.fields()[3].bit_offset, 5U);

    const HidField& keys = d.fields()[4];
    EXPECT_TRUE(keys.is_array());
    EXPECT_EQ(keys.bit_offset, 16U);
    EXPECT_EQ(keys.first_cookie, 15U);
    EXPECT_EQ(keys.logical_maximum, 101);
    EXPECT_EQ(keys.usage_count(), 102U);

    EXPECT_EQ(d.element_count(), 20U);
    EXPECT_EQ(d.report_length(HidReportType::Input, 0), 8U);
    EXPECT_EQ(d.report_length(HidReportType::Output, 0), 1U);
    EXPECT_EQ(d.report_length(HidReportType::Feature, 0), 0U);
}

TEST(HidReportDescriptor, ReportIdsGiveEachReportItsOwnOffsetsAndLength) {
    const auto d = parse_ok(hid_test::kMouseAndConsumer);
    EXPECT_TRUE(d.uses_report_ids());
    ASSERT_EQ(d.reports().size(), 2U);
    EXPECT_EQ(d.report_length(HidReportType::Input, 1), 5U) << "4 data bytes and the ID";
    EXPECT_EQ(d.report_length(HidReportType::Input, 2), 3U);
    EXPECT_EQ(d.report_length(HidReportType::Input, 3), 0U);

    ASSERT_EQ(d.fields().size(), 4U);
    EXPECT_EQ(d.fields()[2].report_id, 1);
    EXPECT_EQ(d.fields()[2].bit_offset, 8U);
    EXPECT_EQ(d.fields()[2].logical_minimum, -127);
    EXPECT_EQ(d.fields()[2].first_cookie, 6U);
    EXPECT_EQ(d.fields()[3].report_id, 2);
    EXPECT_EQ(d.fields()[3].bit_offset, 0U) << "report 2 starts again at bit 0";
    EXPECT_EQ(d.fields()[3].first_cookie, 10U);

    ASSERT_EQ(d.collections().size(), 3U);
    EXPECT_EQ(d.collections()[1].parent, 0);
    EXPECT_EQ(d.collections()[1].cookie, 2U);
    EXPECT_EQ(d.collections()[2].parent, -1);
    EXPECT_EQ(d.collections()[2].cookie, 9U);
    EXPECT_EQ(d.fields()[1].collection, 1) << "fields belong to the innermost collection";
}

TEST(HidReportDescriptor, PushPopExtendedUsagesAndSignedRanges) {
    const auto d = parse_ok(hid_test::kGamepadPushPop);
    ASSERT_EQ(d.fields().size(), 6U);
    const HidField& sticks = d.fields()[0];
    EXPECT_EQ(sticks.logical_minimum, -127);
    EXPECT_EQ(sticks.logical_maximum, 127);
    EXPECT_EQ(sticks.report_size, 8U);

    const HidField& buttons = d.fields()[1];
    EXPECT_EQ(buttons.report_size, 1U) << "Pop restored the globals saved by Push";
    EXPECT_EQ(buttons.report_count, 4U);
    EXPECT_EQ(buttons.logical_minimum, 0);
    EXPECT_EQ(buttons.logical_maximum, 1);
    EXPECT_EQ(buttons.bit_offset, 16U);
    EXPECT_EQ(buttons.first_cookie, 4U);

    const HidField& home = d.fields()[3];
    EXPECT_EQ(home.usage_page, 0x09) << "the Button page was current";
    EXPECT_EQ(home.variable_usage(0), hid_usage(0x0C, 0x223)) << "but the usage named its page";
    EXPECT_EQ(home.bit_offset, 24U);
    EXPECT_EQ(home.first_cookie, 8U);

    const HidField& z = d.fields()[5];
    EXPECT_EQ(z.logical_minimum, -32768);
    EXPECT_EQ(z.logical_maximum, 32767);
    EXPECT_EQ(z.bit_offset, 32U);
    EXPECT_EQ(d.report_length(HidReportType::Input, 0), 6U);
}

TEST(HidReportDescriptor, UsagesTakeThePageInEffectAtTheMainItemAndRangesMayComeReversed) {
    const auto d = parse_ok({
        0x09, 0x30,  // Usage (0x30) before any Usage Page
        0x29, 0x12,  // Usage Maximum first,
        0x19, 0x10,  // then Usage Minimum: the pair makes a range
        0x09, 0x40,  // Usage (0x40)
        0x05, 0x01,  // Usage Page (Generic Desktop), still before the Main item
        0x75, 0x08, 0x95, 0x06, 0x81, 0x02,
        0x2B, 0x05, 0x00, 0x09, 0x00,  // Usage Maximum with a page of its own, alone
        0x95, 0x01, 0x81, 0x02,
    });
    const HidField& field = d.fields()[0];
    EXPECT_EQ(field.usages, (std::vector<HidUsageRange>{
                                {0x10030, 0x10030}, {0x10010, 0x10012}, {0x10040, 0x10040}}));
    EXPECT_EQ(field.variable_usage(4), 0x10040U);
    EXPECT_EQ(field.variable_usage(5), 0x10040U) << "the last usage repeats";
    EXPECT_EQ(d.fields()[1].variable_usage(0), hid_usage(0x09, 0x05))
        << "a lone Usage Maximum counts as one usage";
}

TEST(HidReportDescriptor, LogicalMaximumIsUnsignedUnlessTheMinimumIsNegative) {
    const auto d = parse_ok({0x15, 0x00, 0x25, 0xFF, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x15,
                             0xFF, 0x25, 0xFF, 0x81, 0x02, 0x55, 0x0E, 0x65, 0x11, 0x81, 0x02});
    EXPECT_EQ(d.fields()[0].logical_maximum, 255);
    EXPECT_EQ(d.fields()[1].logical_minimum, -1);
    EXPECT_EQ(d.fields()[1].logical_maximum, -1);
    EXPECT_EQ(d.fields()[2].unit_exponent, -2) << "a 4-bit two's complement nibble";
    EXPECT_EQ(d.fields()[2].unit, 0x11U);
}

TEST(HidReportDescriptor, LongAndReservedItemsAreSkipped) {
    Bytes with_extras = hid_test::kVendorPanel;
    const Bytes long_item = {0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC};
    const Bytes reserved = {0xF4, 0x7C};  // reserved item type with one data byte
    with_extras.insert(with_extras.begin() + 5, long_item.begin(), long_item.end());
    with_extras.insert(with_extras.begin(), reserved.begin(), reserved.end());
    const auto plain = parse_ok(hid_test::kVendorPanel);
    const auto extended = parse_ok(with_extras);
    ASSERT_EQ(extended.fields().size(), plain.fields().size());
    EXPECT_EQ(extended.element_count(), plain.element_count());
    EXPECT_EQ(extended.fields()[1].variable_usage(0), hid_usage(0xFF00, 0xA7));
}

TEST(HidReportDescriptor, FindElementMapsCookiesToFieldValues) {
    const auto d = parse_ok(hid_test::kBootKeyboard);
    EXPECT_FALSE(d.find_element(0));
    EXPECT_FALSE(d.find_element(1)) << "a collection has no value";
    auto modifier = d.find_element(3);
    ASSERT_TRUE(modifier);
    EXPECT_EQ(modifier->field, &d.fields()[0]);
    EXPECT_EQ(modifier->index, 1U);
    auto last_key = d.find_element(20);
    ASSERT_TRUE(last_key);
    EXPECT_EQ(last_key->field, &d.fields()[4]);
    EXPECT_EQ(last_key->index, 5U);
    EXPECT_FALSE(d.find_element(21));
}

TEST(HidReportDescriptor, EmptyDescriptorHasNothing) {
    const auto d = parse_ok({});
    EXPECT_TRUE(d.fields().empty());
    EXPECT_EQ(d.element_count(), 0U);
    EXPECT_EQ(d.report_length(HidReportType::Input, 0), 0U);
}

TEST(HidReportDescriptor, MalformedDescriptorsGiveErrorsThatSayWhere) {
    EXPECT_EQ(parse_error({0x05, 0x01, 0x26, 0xFF}),
              "HID report descriptor, byte 2: truncated item");
    EXPECT_EQ(parse_error({0xFE, 0x05, 0x00, 0x01}),
              "HID report descriptor, byte 0: truncated long item");
    EXPECT_EQ(parse_error({0xFE}), "HID report descriptor, byte 0: truncated long item");
    EXPECT_EQ(parse_error({0xA1, 0x01, 0xC0, 0xC0}),
              "HID report descriptor, byte 3: End Collection without Collection");
    EXPECT_EQ(parse_error({0xA1, 0x01, 0xA1, 0x00, 0xC0}),
              "HID report descriptor, byte 5: collection left open at the end");
    EXPECT_EQ(parse_error({0xA4, 0xB4, 0xB4}), "HID report descriptor, byte 2: Pop without Push");
    EXPECT_EQ(parse_error({0x85, 0x00}), "HID report descriptor, byte 0: Report ID out of 1..255");
    EXPECT_EQ(parse_error({0x86, 0x00, 0x01}),
              "HID report descriptor, byte 0: Report ID out of 1..255");
    EXPECT_EQ(parse_error({0x76, 0x01, 0x01}),
              "HID report descriptor, byte 0: Report Size over 256");
}

TEST(HidReportDescriptor, LimitsStopHugeDescriptorsEarly) {
    // Nesting and the global stack.
    Bytes deep;
    for (int i = 0; i < 33; ++i) deep.insert(deep.end(), {0xA1, 0x00});
    EXPECT_NE(parse_error(deep).find("collections nested too deep"), std::string::npos);
    EXPECT_NE(parse_error(Bytes(17, 0xA4)).find("Push nested too deep"), std::string::npos);
    EXPECT_EQ(parse_error(Bytes(16, 0xA4)), "parsed");

    // Elements: a data field with a huge count is refused, a constant one only takes space.
    EXPECT_EQ(parse_error({0x75, 0x01, 0x96, 0x00, 0x20, 0x81, 0x02}), "parsed")
        << "8192 elements fit";
    EXPECT_EQ(parse_error({0x75, 0x01, 0x96, 0x01, 0x20, 0x81, 0x02}),
              "HID report descriptor, byte 5: more than 8192 elements");
    EXPECT_EQ(parse_error({0x75, 0x00, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x01}), "parsed")
        << "zero-size padding takes no bits";

    // Report length, also where a multiplication would overflow 32 bits.
    EXPECT_EQ(parse_error({0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x01}), "parsed")
        << "16384 bytes fit";
    EXPECT_EQ(parse_error({0x75, 0x08, 0x96, 0x01, 0x40, 0x81, 0x01}),
              "HID report descriptor, byte 5: report longer than 16384 bytes");
    EXPECT_NE(parse_error({0x76, 0x00, 0x01, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x01})
                  .find("report longer than"),
              std::string::npos);
    // Two fields that each fit but not together.
    EXPECT_NE(parse_error({0x75, 0x08, 0x96, 0x00, 0x30, 0x81, 0x01, 0x81, 0x01})
                  .find("report longer than"),
              std::string::npos);
}

}  // namespace
