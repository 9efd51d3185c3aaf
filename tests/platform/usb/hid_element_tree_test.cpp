#include "platform/usb/hid_element_tree.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/plist/describe.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"

namespace {

using platform::plist::Type;
using platform::plist::Value;
using platform::usb::build_hid_element_tree;
using platform::usb::HidReportDescriptor;

Value tree_of(const hid_test::Bytes& bytes) {
    auto parsed = HidReportDescriptor::parse(bytes);
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? build_hid_element_tree(*parsed) : Value();
}

// Visits the tree as a reader looking for elements does: depth-first, a dictionary before its
// "Elements", arrays first to last; collects the cookies of dictionaries that have "Size".
void collect(const Value& node, std::vector<std::int32_t>& cookies) {
    if (node.is(Type::Dictionary)) {
        if (node.contains("Size")) cookies.push_back(*node.get("ElementCookie").to_int32());
        if (node.contains("Elements")) collect(node.get("Elements"), cookies);
    } else if (node.is(Type::Array)) {
        for (const Value& item : node.items()) collect(item, cookies);
    }
}

// The cookie of the last element with that usage, in the reader's walk.
std::int32_t cookie_for_usage(const Value& node, std::int32_t usage) {
    std::int32_t found = 0;
    if (node.is(Type::Dictionary)) {
        if (node.contains("Size") && node.get("Usage").to_int32() == usage) {
            found = *node.get("ElementCookie").to_int32();
        }
        if (node.contains("Elements")) {
            if (auto inner = cookie_for_usage(node.get("Elements"), usage)) found = inner;
        }
    } else if (node.is(Type::Array)) {
        for (const Value& item : node.items()) {
            if (auto inner = cookie_for_usage(item, usage)) found = inner;
        }
    }
    return found;
}

std::vector<std::int32_t> one_to(std::int32_t last) {
    std::vector<std::int32_t> cookies;
    for (std::int32_t c = 1; c <= last; ++c) cookies.push_back(c);
    return cookies;
}

TEST(HidElementTree, VendorPanelUsagesAreFoundByTheirCookies) {
    const Value tree = tree_of(hid_test::kVendorPanel);
    ASSERT_TRUE(tree.is(Type::Array));
    EXPECT_EQ(cookie_for_usage(tree, 166), 2);
    EXPECT_EQ(cookie_for_usage(tree, 167), 3);
    EXPECT_EQ(cookie_for_usage(tree, 169), 0);

    const Value button = tree.at(0).get("Elements").at(0);
    EXPECT_EQ(button, Value::dictionary({
                          {"ElementCookie", Value::integer(2)},
                          {"Type", Value::integer(1)},
                          {"Usage", Value::integer(166)},
                          {"UsagePage", Value::integer(0xFF00)},
                          {"ReportID", Value::integer(0)},
                          {"Size", Value::integer(8)},
                          {"Min", Value::integer(0)},
                          {"Max", Value::integer(255)},
                          {"ScaledMin", Value::integer(0)},
                          {"ScaledMax", Value::integer(0)},
                          {"Unit", Value::integer(0)},
                          {"UnitExponent", Value::integer(0)},
                          {"IsArray", Value::boolean(false)},
                          {"IsRelative", Value::boolean(false)},
                          {"IsWrapping", Value::boolean(false)},
                          {"IsNonLinear", Value::boolean(false)},
                          {"HasPreferredState", Value::boolean(true)},
                          {"HasNullState", Value::boolean(false)},
                      }));
    const Value display = tree.at(0).get("Elements").at(9);
    EXPECT_EQ(display.get("ElementCookie"), Value::integer(11));
    EXPECT_EQ(display.get("Type"), Value::integer(129));
}

TEST(HidElementTree, CookiesRunInDescriptorOrderThroughNestedCollections) {
    for (const auto* bytes : {&hid_test::kBootKeyboard, &hid_test::kMouseAndConsumer,
                              &hid_test::kGamepadPushPop, &hid_test::kVendorPanel}) {
        const Value tree = tree_of(*bytes);
        auto parsed = HidReportDescriptor::parse(*bytes);
        std::vector<std::int32_t> cookies;
        collect(tree, cookies);
        EXPECT_EQ(cookies, one_to(static_cast<std::int32_t>(parsed->element_count())))
            << platform::plist::describe(tree);
    }

    const Value tree = tree_of(hid_test::kMouseAndConsumer);
    ASSERT_EQ(tree.size(), 2U) << "two top-level application collections";
    const Value mouse = tree.at(0);
    EXPECT_EQ(mouse.get("Type"), Value::integer(513));
    EXPECT_EQ(mouse.get("Usage"), Value::integer(2));
    EXPECT_EQ(mouse.get("UsagePage"), Value::integer(1));
    EXPECT_EQ(mouse.get("CollectionType"), Value::integer(1));
    EXPECT_EQ(mouse.get("Size"), Value::integer(0));
    const Value pointer = mouse.get("Elements").at(0);
    EXPECT_EQ(pointer.get("CollectionType"), Value::integer(0));
    ASSERT_EQ(pointer.get("Elements").size(), 6U) << "3 buttons, X, Y, wheel; no padding";
    const Value wheel = pointer.get("Elements").at(5);
    EXPECT_EQ(wheel.get("Usage"), Value::integer(0x38));
    EXPECT_EQ(wheel.get("Type"), Value::integer(3));
    EXPECT_EQ(wheel.get("ReportID"), Value::integer(1));
    EXPECT_EQ(wheel.get("Min"), Value::integer(-127));
    EXPECT_EQ(wheel.get("IsRelative"), Value::boolean(true));
    const Value consumer_slot = tree.at(1).get("Elements").at(0);
    EXPECT_EQ(consumer_slot.get("ReportID"), Value::integer(2));
}

TEST(HidElementTree, ArraySlotsAndOutputsOfTheBootKeyboard) {
    const Value tree = tree_of(hid_test::kBootKeyboard);
    const Value elements = tree.at(0).get("Elements");
    ASSERT_EQ(elements.size(), 19U);
    const Value shift = elements.at(1);
    EXPECT_EQ(shift.get("Usage"), Value::integer(0xE1));
    EXPECT_EQ(shift.get("UsagePage"), Value::integer(7));
    EXPECT_EQ(shift.get("Type"), Value::integer(2));
    const Value caps_lock = elements.at(9);
    EXPECT_EQ(caps_lock.get("ElementCookie"), Value::integer(11));
    EXPECT_EQ(caps_lock.get("Usage"), Value::integer(2));
    EXPECT_EQ(caps_lock.get("UsagePage"), Value::integer(8));
    EXPECT_EQ(caps_lock.get("Type"), Value::integer(129));
    const Value key_slot = elements.at(13);
    EXPECT_EQ(key_slot.get("ElementCookie"), Value::integer(15));
    EXPECT_EQ(key_slot.get("Type"), Value::integer(4));
    EXPECT_EQ(key_slot.get("IsArray"), Value::boolean(true));
    EXPECT_EQ(key_slot.get("Usage"), Value::integer(0));
    EXPECT_EQ(key_slot.get("UsageMin"), Value::integer(0));
    EXPECT_EQ(key_slot.get("UsageMax"), Value::integer(101));
    EXPECT_EQ(key_slot.get("UsagePage"), Value::integer(7));
}

TEST(HidElementTree, ElementsOutsideCollectionsStayAtTheTop) {
    const Value tree = tree_of(
        {0x05, 0x01, 0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x09, 0x01, 0xA1, 0x00, 0xC0});
    ASSERT_EQ(tree.size(), 2U);
    EXPECT_EQ(tree.at(0).get("ElementCookie"), Value::integer(1));
    EXPECT_EQ(tree.at(1).get("Elements"), Value::array());
}

}  // namespace
