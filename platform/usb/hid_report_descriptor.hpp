#pragma once
// HID 1.11 report descriptors: the fields of a device's reports, where each one lies, and which
// of them are elements a reader can watch.
//
// Short items are parsed; long items are skipped. Delimiters, designators and strings are read
// past and ignored. Usages are "extended": the page in the high 16 bits, the usage ID in the low
// 16, as a 4-byte Usage item writes them; 1- and 2-byte usages take the Usage Page in effect at
// the Main item that uses them.
//
// Elements and cookies. Every Collection is an element, and so is every value of a data (not
// constant) field: a variable field of Report Count n gives n elements, one per usage; an array
// field of Report Count n gives n elements too, one per slot, each reporting the usage it
// selects. Constant fields (padding) take their bits but are not elements. Cookies number the
// elements in descriptor order from 1: a Collection gets its cookie at its Collection item, a
// field's elements get the next Report Count cookies at its Main item.
//
// Any byte sequence is safe to parse: a malformed descriptor gives an Error that says what and
// where, never a crash; time and memory are linear in the descriptor, with the limits below.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/base/result.hpp"

namespace platform::usb {

// Limits beyond which a descriptor is refused. They are far above what devices declare and
// match or exceed the Linux HID core's own, so that no device it accepts is refused here.
inline constexpr std::uint32_t kHidMaxElements = 8192;          // cookies per descriptor
inline constexpr std::uint32_t kHidMaxReportDataBytes = 16384;  // one report, ID byte excluded
inline constexpr std::uint32_t kHidMaxReportSize = 256;         // bits per value
inline constexpr std::size_t kHidMaxCollectionDepth = 32;
inline constexpr std::size_t kHidMaxGlobalStackDepth = 16;  // Push without Pop

enum class HidReportType : std::uint8_t { Input = 0, Output = 1, Feature = 2 };

// Data bits of an Input, Output or Feature item.
namespace hid_flags {
inline constexpr std::uint32_t kConstant = 1U << 0;
inline constexpr std::uint32_t kVariable = 1U << 1;
inline constexpr std::uint32_t kRelative = 1U << 2;
inline constexpr std::uint32_t kWrap = 1U << 3;
inline constexpr std::uint32_t kNonLinear = 1U << 4;
inline constexpr std::uint32_t kNoPreferred = 1U << 5;
inline constexpr std::uint32_t kNullState = 1U << 6;
inline constexpr std::uint32_t kVolatile = 1U << 7;
inline constexpr std::uint32_t kBufferedBytes = 1U << 8;
}  // namespace hid_flags

constexpr std::uint16_t hid_usage_page(std::uint32_t usage) {
    return static_cast<std::uint16_t>(usage >> 16);
}
constexpr std::uint16_t hid_usage_id(std::uint32_t usage) {
    return static_cast<std::uint16_t>(usage & 0xFFFF);
}
constexpr std::uint32_t hid_usage(std::uint16_t page, std::uint16_t id) {
    return (std::uint32_t{page} << 16) | id;
}

// Usages first to last, extended; a single Usage item is a range of one.
struct HidUsageRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    friend bool operator==(const HidUsageRange&, const HidUsageRange&) = default;
};

struct HidCollection {
    std::uint32_t cookie = 0;
    std::uint8_t type = 0;     // 0 physical, 1 application, 2 logical, 3 report, ...
    std::uint32_t usage = 0;   // extended; 0 when the item declared none
    std::int32_t parent = -1;  // index in HidReportDescriptor::collections(), -1 at top level
};

// One Input, Output or Feature item.
struct HidField {
    HidReportType type = HidReportType::Input;
    std::uint8_t report_id = 0;     // 0 when the descriptor has no Report ID items
    std::uint32_t flags = 0;        // hid_flags
    std::uint32_t bit_offset = 0;   // of the first value, from the first bit after the ID byte
    std::uint32_t report_size = 0;  // bits per value
    std::uint32_t report_count = 0;
    // Logical and physical ranges. Minimums are signed as HID says; a maximum is read as signed
    // only when its minimum is negative, since devices commonly write 0..255 as 15 00 25 FF.
    std::int64_t logical_minimum = 0;
    std::int64_t logical_maximum = 0;
    std::int64_t physical_minimum = 0;
    std::int64_t physical_maximum = 0;
    std::int32_t unit_exponent = 0;
    std::uint32_t unit = 0;
    std::uint16_t usage_page = 0;       // the Usage Page in effect at the item
    std::vector<HidUsageRange> usages;  // in declaration order
    std::int32_t collection = -1;       // index in HidReportDescriptor::collections(), -1 at top
    std::uint32_t first_cookie = 0;     // 0 for constant fields, which have no elements

    bool is_constant() const { return (flags & hid_flags::kConstant) != 0; }
    bool is_variable() const { return (flags & hid_flags::kVariable) != 0; }
    bool is_array() const { return !is_variable(); }
    std::uint32_t element_count() const { return is_constant() ? 0 : report_count; }
    // Sign-extend values: the logical range has a negative minimum.
    bool is_signed() const { return logical_minimum < 0; }

    std::uint64_t usage_count() const;
    // The index-th declared usage (0 past the end).
    std::uint32_t usage_at(std::uint64_t index) const;
    // The usage of a variable field's index-th value: its own usage, or the last declared one
    // when there are fewer usages than values; a field without usages has usage 0 of its page.
    std::uint32_t variable_usage(std::uint32_t index) const;
};

// The size of each report one Report ID names, per report type.
struct HidReportLayout {
    std::uint8_t id = 0;
    std::array<std::uint32_t, 3> bits{};  // data bits, by HidReportType
};

// An element that has a value: the index-th value of a field.
struct HidElementRef {
    const HidField* field = nullptr;
    std::uint32_t index = 0;
};

class HidReportDescriptor {
public:
    static Result<HidReportDescriptor> parse(std::span<const std::uint8_t> bytes);

    // Reports then begin with their ID byte.
    bool uses_report_ids() const { return uses_report_ids_; }
    const std::vector<HidField>& fields() const { return fields_; }
    const std::vector<HidCollection>& collections() const { return collections_; }
    // In order of first appearance.
    const std::vector<HidReportLayout>& reports() const { return reports_; }
    // The highest cookie.
    std::uint32_t element_count() const { return element_count_; }

    // Bytes in a report of that type and ID, the ID byte included when the descriptor uses
    // report IDs; 0 when the descriptor declares no such report (or it holds no bits). Without
    // report IDs the ID is 0.
    std::size_t report_length(HidReportType type, std::uint8_t id) const;

    // The field element with that cookie; empty for a collection or an unknown cookie.
    std::optional<HidElementRef> find_element(std::uint32_t cookie) const;

private:
    friend class HidDescriptorParser;

    bool uses_report_ids_ = false;
    std::vector<HidField> fields_;
    std::vector<HidCollection> collections_;
    std::vector<HidReportLayout> reports_;
    std::vector<std::uint32_t> element_fields_;     // indexes of fields with elements
    std::array<std::int16_t, 256> report_index_{};  // reports_ index + 1 by ID, 0 = none
    std::uint32_t element_count_ = 0;
};

}  // namespace platform::usb
