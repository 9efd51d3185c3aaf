#pragma once
// Cuts a byte stream from a HID node into input reports, by the length the descriptor gives
// each report ID. A real hidraw node hands out one report per read, but an emulated one (a
// pseudo-terminal under umockdev) delivers a stream: reports run together or arrive in pieces.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

class HidReportSplitter {
public:
    using ReportHandler = std::function<void(std::span<const std::uint8_t> report)>;

    explicit HidReportSplitter(const HidReportDescriptor& descriptor);

    // Takes the next bytes of the stream and hands each input report completed by them to
    // the handler, in order, the ID byte included. A byte that cannot begin a report (an ID
    // with no input report) is dropped, so that the stream falls back into step; a descriptor
    // without input reports drops everything. At most one report's bytes are kept between
    // calls.
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
    std::vector<std::uint8_t> pending_;
    std::uint64_t dropped_ = 0;
};

}  // namespace platform::usb
