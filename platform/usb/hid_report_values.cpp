#include "platform/usb/hid_report_values.hpp"

namespace platform::usb {

namespace {

// Up to 32 bits from a bit offset; bits past the end of the data read as 0.
std::uint32_t read_bits(std::span<const std::uint8_t> data, std::uint64_t offset,
                        std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t bit = offset + i;
        const std::uint64_t byte = bit / 8;
        if (byte >= data.size()) break;
        value |= std::uint32_t{(data[byte] >> (bit % 8)) & 1U} << i;
    }
    return value;
}

std::int64_t raw_value(const HidField& field, std::uint32_t index,
                       std::span<const std::uint8_t> data) {
    const std::uint32_t width = field.report_size < 32 ? field.report_size : 32;
    const std::uint64_t offset =
        std::uint64_t{field.bit_offset} + std::uint64_t{index} * field.report_size;
    const std::uint32_t bits = read_bits(data, offset, width);
    if (field.is_signed() && width > 0 && width < 32 && (bits >> (width - 1)) != 0) {
        return static_cast<std::int64_t>(bits) - (std::int64_t{1} << width);
    }
    return field.is_signed() ? static_cast<std::int32_t>(bits) : std::int64_t{bits};
}

std::span<const std::uint8_t> report_data(const HidReportDescriptor& descriptor,
                                          std::span<const std::uint8_t> report) {
    return descriptor.uses_report_ids() && !report.empty() ? report.subspan(1) : report;
}

}  // namespace

std::int32_t hid_field_value(const HidField& field, std::uint32_t index,
                             std::span<const std::uint8_t> data) {
    const std::int64_t raw = raw_value(field, index, data);
    if (field.is_variable()) return static_cast<std::int32_t>(raw);
    if (raw < field.logical_minimum || raw > field.logical_maximum) return 0;
    const auto usage = field.usage_at(static_cast<std::uint64_t>(raw - field.logical_minimum));
    return hid_usage_id(usage);
}

std::optional<std::uint8_t> hid_report_id(const HidReportDescriptor& descriptor,
                                          std::span<const std::uint8_t> report) {
    if (!descriptor.uses_report_ids()) return std::uint8_t{0};
    if (report.empty()) return std::nullopt;
    return report[0];
}

std::optional<std::int32_t> hid_input_element_value(const HidReportDescriptor& descriptor,
                                                    std::uint32_t cookie,
                                                    std::span<const std::uint8_t> report) {
    const auto element = descriptor.find_element(cookie);
    const auto id = hid_report_id(descriptor, report);
    if (!element || !id || element->field->type != HidReportType::Input ||
        element->field->report_id != *id) {
        return std::nullopt;
    }
    return hid_field_value(*element->field, element->index, report_data(descriptor, report));
}

std::vector<HidElementValue> decode_hid_input_report(const HidReportDescriptor& descriptor,
                                                     std::span<const std::uint8_t> report) {
    std::vector<HidElementValue> values;
    const auto id = hid_report_id(descriptor, report);
    if (!id) return values;
    const auto data = report_data(descriptor, report);
    for (const HidField& field : descriptor.fields()) {
        if (field.type != HidReportType::Input || field.report_id != *id) continue;
        for (std::uint32_t i = 0; i < field.element_count(); ++i) {
            values.push_back({field.first_cookie + i, hid_field_value(field, i, data)});
        }
    }
    return values;
}

}  // namespace platform::usb
