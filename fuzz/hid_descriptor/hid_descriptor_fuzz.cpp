// Fuzzes the HID report descriptor parser, the element tree builder, report decoding, stream
// splitting and the event queue. Input: a 2-byte little-endian descriptor length, the
// descriptor, then a stream of input reports from the device.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/usb/hid_element_tree.hpp"
#include "platform/usb/hid_event_queue.hpp"
#include "platform/usb/hid_report_descriptor.hpp"
#include "platform/usb/hid_report_splitter.hpp"
#include "platform/usb/hid_report_values.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    if (input.size() < 2) return 0;
    std::size_t length = input[0] | (std::size_t{input[1]} << 8);
    input = input.subspan(2);
    if (length > input.size()) length = input.size();
    const auto descriptor_bytes = input.first(length);
    const auto stream = input.subspan(length);

    auto parsed = platform::usb::HidReportDescriptor::parse(descriptor_bytes);
    if (!parsed) return 0;
    const auto& descriptor = *parsed;

    const auto tree = platform::usb::build_hid_element_tree(descriptor);
    if (tree.size() > descriptor.element_count()) __builtin_trap();

    platform::usb::HidEventQueue queue(descriptor);
    for (std::uint32_t cookie = 0; cookie <= descriptor.element_count() + 1; cookie += 2) {
        queue.add_element(cookie);
    }
    platform::usb::HidReportSplitter splitter(descriptor);
    std::uint64_t time = 0;
    splitter.feed(stream, [&](std::span<const std::uint8_t> report) {
        const auto id = platform::usb::hid_report_id(descriptor, report);
        const std::size_t expected =
            descriptor.report_length(platform::usb::HidReportType::Input, id.value_or(0));
        if (report.size() != expected) __builtin_trap();
        const auto values = platform::usb::decode_hid_input_report(descriptor, report);
        for (const auto& value : values) {
            if (platform::usb::hid_input_element_value(descriptor, value.cookie, report) !=
                value.value) {
                __builtin_trap();
            }
        }
        queue.handle_report(report, ++time);
        if (queue.size() > queue.depth()) __builtin_trap();
    });
    // The raw stream as one report too: short or long, any ID; and as one read of a node that
    // returns a report per read, fitted to its report.
    (void)platform::usb::decode_hid_input_report(descriptor, stream);
    if (const auto report = splitter.whole_report(stream)) {
        const auto id = platform::usb::hid_report_id(descriptor, *report);
        if (report->size() !=
            descriptor.report_length(platform::usb::HidReportType::Input, id.value_or(0))) {
            __builtin_trap();
        }
        queue.handle_report(*report, ++time);
    }
    while (queue.next_event()) {
    }
    return 0;
}
