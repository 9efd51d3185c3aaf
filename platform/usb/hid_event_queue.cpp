#include "platform/usb/hid_event_queue.hpp"

#include <algorithm>

#include "platform/usb/hid_report_values.hpp"

namespace platform::usb {

HidEventQueue::HidEventQueue(const HidReportDescriptor& descriptor, std::size_t depth)
    : descriptor_(descriptor),
      depth_(std::max<std::size_t>(depth, 1)),
      values_(std::size_t{descriptor.element_count()} + 1, 0),
      queued_(std::size_t{descriptor.element_count()} + 1, false) {}

void HidEventQueue::add_element(std::uint32_t cookie) {
    if (cookie != 0 && cookie < queued_.size()) {
        queued_[cookie] = true;
    } else if (!has_element(cookie)) {
        other_cookies_.push_back(cookie);
    }
}

void HidEventQueue::remove_element(std::uint32_t cookie) {
    if (cookie != 0 && cookie < queued_.size()) {
        queued_[cookie] = false;
    } else {
        std::erase(other_cookies_, cookie);
    }
}

bool HidEventQueue::has_element(std::uint32_t cookie) const {
    if (cookie != 0 && cookie < queued_.size()) return queued_[cookie];
    return std::find(other_cookies_.begin(), other_cookies_.end(), cookie) != other_cookies_.end();
}

std::size_t HidEventQueue::handle_report(std::span<const std::uint8_t> report,
                                         std::uint64_t timestamp) {
    const auto id = hid_report_id(descriptor_, report);
    if (!id) return 0;
    const auto data = descriptor_.uses_report_ids() ? report.subspan(1) : report;
    std::size_t queued = 0;
    for (const HidField& field : descriptor_.fields()) {
        if (field.type != HidReportType::Input || field.report_id != *id) continue;
        for (std::uint32_t i = 0; i < field.element_count(); ++i) {
            const std::uint32_t cookie = field.first_cookie + i;
            const std::int32_t value = hid_field_value(field, i, data);
            const bool changed = values_[cookie] != value;
            values_[cookie] = value;
            if (!changed || !queued_[cookie]) continue;
            if (events_.size() >= depth_) {
                ++dropped_;
                continue;
            }
            events_.push_back({cookie, value, timestamp});
            ++queued;
        }
    }
    return queued;
}

std::optional<HidEvent> HidEventQueue::next_event() {
    if (events_.empty()) return std::nullopt;
    HidEvent event = events_.front();
    events_.pop_front();
    return event;
}

std::optional<std::int32_t> HidEventQueue::current_value(std::uint32_t cookie) const {
    const auto element = descriptor_.find_element(cookie);
    if (!element || element->field->type != HidReportType::Input) return std::nullopt;
    return values_[cookie];
}

}  // namespace platform::usb
