#pragma once
// The values of input elements in a report, as an event queue reads them.
//
// A report is what the device sends: its ID byte first when the descriptor uses report IDs,
// then the fields' bits, least significant bit first. A variable element's value is its bits,
// sign-extended when its logical minimum is negative; an array element's value is the usage ID
// (low 16 bits of the usage) of the usage its index selects, or 0 when the index lies outside
// the logical range (HID's "no usage"). Values wider than 32 bits keep their low 32 bits. A
// report shorter than the descriptor says reads as if padded with zero bits.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

struct HidElementValue {
    std::uint32_t cookie = 0;
    std::int32_t value = 0;
    friend bool operator==(const HidElementValue&, const HidElementValue&) = default;
};

// The value of the index-th element of the field in report data that starts after the ID byte.
std::int32_t hid_field_value(const HidField& field, std::uint32_t index,
                             std::span<const std::uint8_t> data);

// The ID of a report (0 without report IDs); empty for an empty report of a descriptor that
// uses report IDs.
std::optional<std::uint8_t> hid_report_id(const HidReportDescriptor& descriptor,
                                          std::span<const std::uint8_t> report);

// The value of one input element in the report; empty when the cookie names no input field
// element or the element belongs to another report.
std::optional<std::int32_t> hid_input_element_value(const HidReportDescriptor& descriptor,
                                                    std::uint32_t cookie,
                                                    std::span<const std::uint8_t> report);

// Every input element of the report, in cookie order.
std::vector<HidElementValue> decode_hid_input_report(const HidReportDescriptor& descriptor,
                                                     std::span<const std::uint8_t> report);

}  // namespace platform::usb
