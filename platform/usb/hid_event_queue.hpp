#pragma once
// The logic of a HID event queue, without any I/O: elements are added by cookie, input reports
// are handed in, and each report queues one event for every queued element whose value it
// changed. The reader that owns the node decides when reports arrive and when events are
// taken.
//
// The queue remembers the current value of every input element of the descriptor, queued or
// not, starting at 0 as a device's elements do before its first report: so a first report
// queues the elements it reports as non-zero, and an element added later compares against its
// value in the latest report. Events of one report come in cookie order. A full queue drops new
// events (and counts them); the events already queued stay.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

inline constexpr std::size_t kHidDefaultQueueDepth = 8;

struct HidEvent {
    std::uint32_t cookie = 0;
    std::int32_t value = 0;
    std::uint64_t timestamp = 0;  // as the caller gave it with the report
    friend bool operator==(const HidEvent&, const HidEvent&) = default;
};

class HidEventQueue {
public:
    // Keeps its own copy of what it needs from the descriptor. A depth of 0 is taken as 1.
    explicit HidEventQueue(const HidReportDescriptor& descriptor,
                           std::size_t depth = kHidDefaultQueueDepth);

    // Any cookie may be added (adding one twice adds it once); a cookie that names no input
    // element of the descriptor is kept but never has an event.
    void add_element(std::uint32_t cookie);
    void remove_element(std::uint32_t cookie);
    bool has_element(std::uint32_t cookie) const;

    // One input report, its ID byte first when the descriptor uses report IDs. Returns the
    // number of events queued.
    std::size_t handle_report(std::span<const std::uint8_t> report, std::uint64_t timestamp);

    // The oldest event; empty when the queue is empty (the platform's "underrun").
    std::optional<HidEvent> next_event();

    std::size_t size() const { return events_.size(); }
    std::size_t depth() const { return depth_; }
    std::uint64_t dropped_events() const { return dropped_; }
    // The value of an input element in the latest report that held it (0 before any).
    std::optional<std::int32_t> current_value(std::uint32_t cookie) const;

private:
    HidReportDescriptor descriptor_;
    std::size_t depth_;
    std::vector<std::int32_t> values_;          // by cookie
    std::vector<bool> queued_;                  // by cookie, for the descriptor's cookies
    std::vector<std::uint32_t> other_cookies_;  // added cookies outside the descriptor
    std::deque<HidEvent> events_;
    std::uint64_t dropped_ = 0;
};

}  // namespace platform::usb
