#pragma once
// The element tree of a HID interface as property-list values, the form in which a reader
// looks elements up: an array of element dictionaries in cookie order, a collection's children
// under its "Elements" array.
//
// Keys of every element: "ElementCookie", "Type", "Usage", "UsagePage", "ReportID", "Size"
// (bits of one value; 0 for a collection). Field elements add "Min", "Max" (logical range),
// "ScaledMin", "ScaledMax" (physical range), "Unit", "UnitExponent", "IsArray", "IsRelative",
// "IsWrapping", "IsNonLinear", "HasPreferredState", "HasNullState". An array slot's "Usage" is
// 0 (its usage changes with every report) and "UsageMin"/"UsageMax" give the usage IDs it can
// select on its "UsagePage". Collections add "CollectionType" and "Elements".
//
// "Type" takes the numbers HID users know: 1 input (misc), 2 input button (a 1-bit variable or
// the Button page), 3 input axis (Generic Desktop X to Wheel), 4 input array slot, 129 output,
// 257 feature, 513 collection.

#include "platform/plist/value.hpp"
#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

enum class HidElementType : std::int32_t {
    InputMisc = 1,
    InputButton = 2,
    InputAxis = 3,
    InputScanCodes = 4,
    Output = 129,
    Feature = 257,
    Collection = 513,
};

HidElementType hid_element_type(const HidField& field, std::uint32_t index);

platform::plist::Value build_hid_element_tree(const HidReportDescriptor& descriptor);

}  // namespace platform::usb
