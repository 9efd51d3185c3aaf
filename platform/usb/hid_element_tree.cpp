#include "platform/usb/hid_element_tree.hpp"

#include <cstddef>
#include <vector>

namespace platform::usb {

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

constexpr std::uint16_t kGenericDesktopPage = 0x01;
constexpr std::uint16_t kButtonPage = 0x09;
constexpr std::uint16_t kFirstAxisUsage = 0x30;  // X
constexpr std::uint16_t kLastAxisUsage = 0x38;   // Wheel

Value int32(std::int64_t value) { return Value::integer(value, IntegerKind::SInt32); }

Value element(std::uint32_t cookie, HidElementType type, std::uint32_t usage,
              std::uint16_t usage_page, std::uint8_t report_id, std::uint32_t size) {
    return Value::dictionary({
        {"ElementCookie", int32(cookie)},
        {"Type", int32(static_cast<std::int32_t>(type))},
        {"Usage", int32(hid_usage_id(usage))},
        {"UsagePage", int32(usage_page)},
        {"ReportID", int32(report_id)},
        {"Size", int32(size)},
    });
}

Value field_element(const HidField& field, std::uint32_t index) {
    const bool array = field.is_array();
    const std::uint32_t usage = array ? 0 : field.variable_usage(index);
    const std::uint32_t first_usage = field.usages.empty() ? 0 : field.usages.front().first;
    const std::uint16_t page =
        field.usages.empty() ? field.usage_page : hid_usage_page(array ? first_usage : usage);
    Value dict = element(field.first_cookie + index, hid_element_type(field, index), usage, page,
                         field.report_id, field.report_size);
    dict.set("Min", Value::integer(field.logical_minimum));
    dict.set("Max", Value::integer(field.logical_maximum));
    dict.set("ScaledMin", Value::integer(field.physical_minimum));
    dict.set("ScaledMax", Value::integer(field.physical_maximum));
    dict.set("Unit", Value::integer(field.unit));
    dict.set("UnitExponent", int32(field.unit_exponent));
    dict.set("IsArray", Value::boolean(array));
    dict.set("IsRelative", Value::boolean((field.flags & hid_flags::kRelative) != 0));
    dict.set("IsWrapping", Value::boolean((field.flags & hid_flags::kWrap) != 0));
    dict.set("IsNonLinear", Value::boolean((field.flags & hid_flags::kNonLinear) != 0));
    dict.set("HasPreferredState", Value::boolean((field.flags & hid_flags::kNoPreferred) == 0));
    dict.set("HasNullState", Value::boolean((field.flags & hid_flags::kNullState) != 0));
    if (array) {
        const std::uint64_t count = field.usage_count();
        dict.set("UsageMin", int32(hid_usage_id(first_usage)));
        dict.set("UsageMax", int32(hid_usage_id(count == 0 ? 0 : field.usage_at(count - 1))));
    }
    return dict;
}

}  // namespace

HidElementType hid_element_type(const HidField& field, std::uint32_t index) {
    switch (field.type) {
        case HidReportType::Output: return HidElementType::Output;
        case HidReportType::Feature: return HidElementType::Feature;
        case HidReportType::Input: break;
    }
    if (field.is_array()) return HidElementType::InputScanCodes;
    const std::uint32_t usage = field.variable_usage(index);
    if (field.report_size == 1 || hid_usage_page(usage) == kButtonPage) {
        return HidElementType::InputButton;
    }
    if (hid_usage_page(usage) == kGenericDesktopPage && hid_usage_id(usage) >= kFirstAxisUsage &&
        hid_usage_id(usage) <= kLastAxisUsage) {
        return HidElementType::InputAxis;
    }
    return HidElementType::InputMisc;
}

Value build_hid_element_tree(const HidReportDescriptor& descriptor) {
    const auto& collections = descriptor.collections();
    // The "Elements" array of each collection, filled in cookie order: collections and fields
    // are each stored in cookie order, so merging the two lists visits every element in order.
    std::vector<Value> children(collections.size());
    Value top = Value::array();
    auto parent_array = [&](std::int32_t parent) -> Value& {
        return parent < 0 ? top : children[static_cast<std::size_t>(parent)];
    };

    std::size_t next_collection = 0;
    auto add_collections_before = [&](std::uint32_t cookie) {
        for (; next_collection < collections.size() && collections[next_collection].cookie < cookie;
             ++next_collection) {
            const HidCollection& collection = collections[next_collection];
            const std::uint16_t page = hid_usage_page(collection.usage);
            Value dict = element(collection.cookie, HidElementType::Collection, collection.usage,
                                 page, 0, 0);
            dict.set("CollectionType", int32(collection.type));
            children[next_collection] = Value::array();
            dict.set("Elements", children[next_collection]);
            parent_array(collection.parent).append(dict);
        }
    };

    for (const HidField& field : descriptor.fields()) {
        if (field.element_count() == 0) continue;
        add_collections_before(field.first_cookie);
        Value& parent = parent_array(field.collection);
        for (std::uint32_t i = 0; i < field.element_count(); ++i) {
            parent.append(field_element(field, i));
        }
    }
    add_collections_before(descriptor.element_count() + 1);
    return top;
}

}  // namespace platform::usb
