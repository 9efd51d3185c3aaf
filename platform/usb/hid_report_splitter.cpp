#include "platform/usb/hid_report_splitter.hpp"

#include <algorithm>

namespace platform::usb {

HidReportSplitter::HidReportSplitter(const HidReportDescriptor& descriptor)
    : uses_report_ids_(descriptor.uses_report_ids()) {
    for (const auto& layout : descriptor.reports()) {
        lengths_[layout.id] =
            static_cast<std::uint16_t>(descriptor.report_length(HidReportType::Input, layout.id));
    }
}

std::size_t HidReportSplitter::length_for(std::uint8_t first) const {
    return lengths_[uses_report_ids_ ? first : 0];
}

std::optional<std::span<const std::uint8_t>> HidReportSplitter::whole_report(
    std::span<const std::uint8_t> read) {
    const std::size_t length = read.empty() ? 0 : length_for(read.front());
    if (length == 0) {
        dropped_ += read.size();
        return std::nullopt;
    }
    if (read.size() >= length) return read.first(length);
    report_.assign(read.begin(), read.end());
    report_.resize(length, 0);
    return std::span<const std::uint8_t>(report_);
}

std::optional<std::span<const std::uint8_t>> HidReportSplitter::next_report(
    std::span<const std::uint8_t>& bytes) {
    while (!bytes.empty()) {
        if (pending_.empty()) {
            const std::size_t length = length_for(bytes.front());
            if (length == 0) {
                ++dropped_;
                bytes = bytes.subspan(1);
                continue;
            }
            if (bytes.size() >= length) {
                // A whole report straight from the caller's bytes.
                const auto report = bytes.first(length);
                bytes = bytes.subspan(length);
                return report;
            }
        }
        const std::size_t length = length_for(pending_.empty() ? bytes.front() : pending_.front());
        const std::size_t take = std::min(length - pending_.size(), bytes.size());
        pending_.insert(pending_.end(), bytes.begin(),
                        bytes.begin() + static_cast<std::ptrdiff_t>(take));
        bytes = bytes.subspan(take);
        if (pending_.size() == length) {
            report_.swap(pending_);
            pending_.clear();
            return std::span<const std::uint8_t>(report_);
        }
    }
    return std::nullopt;
}

void HidReportSplitter::feed(std::span<const std::uint8_t> bytes, const ReportHandler& handler) {
    while (const auto report = next_report(bytes)) handler(*report);
}

}  // namespace platform::usb
