#pragma once
// Cuts what a HID node delivers into input reports, by the length the descriptor gives each
// report ID. A hidraw node hands out one report per read, but not always of the right length:
// each read is then fitted to its report. An emulated node (a pseudo-terminal under umockdev)
// delivers a byte stream instead, in which reports run together or arrive in pieces: it is cut
// into reports as the bytes come.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

class HidReportSplitter {
public:
    using ReportHandler = std::function<void(std::span<const std::uint8_t> report)>;

    explicit HidReportSplitter(const HidReportDescriptor& descriptor);

    // One read of a node that returns a report per read, as the report its first byte names
    // (the ID byte; without report IDs the one input report): zero-filled when short, as the
    // kernel's HID core does with short reports, and cut when long. Empty, and the read
    // dropped, when no input report begins with that byte. The report stays valid until the
    // next call.
    std::optional<std::span<const std::uint8_t>> whole_report(std::span<const std::uint8_t> read);

    // Takes bytes of a stream from the front of `bytes` until an input report is complete,
    // and returns it, the ID byte included; it stays valid until the next call. Empty when the
    // bytes ran out first: they are kept towards the next report. A byte that cannot begin a
    // report (an ID with no input report) is dropped, so that the stream falls back into
    // step; a descriptor without input reports drops everything. At most one report's bytes
    // are kept between calls.
    std::optional<std::span<const std::uint8_t>> next_report(std::span<const std::uint8_t>& bytes);
    // Hands each report the bytes complete to the handler, in order.
    void feed(std::span<const std::uint8_t> bytes, const ReportHandler& handler);

    // Forgets a report begun but not finished.
    void reset() { pending_.clear(); }
    std::size_t pending_bytes() const { return pending_.size(); }
    std::uint64_t dropped_bytes() const { return dropped_; }

private:
    // 0 when no input report begins with that byte.
    std::size_t length_for(std::uint8_t first) const;

    bool uses_report_ids_ = false;
    std::array<std::uint16_t, 256> lengths_{};  // by ID; [0] without report IDs
    std::vector<std::uint8_t> pending_;         // a report begun, not finished
    std::vector<std::uint8_t> report_;          // the last report put together here
    std::uint64_t dropped_ = 0;
};

}  // namespace platform::usb
