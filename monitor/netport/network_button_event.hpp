#pragma once
// The network button event: the 12-byte message that another program of the host forwards to
// the monitor's port "OSPREY_HID_MSG_PORT" for every button event of a network-attached
// all-in-one. No header, nothing between or after the fields:
//
//   offset 0, 8 bytes   report   the HID report the event carries (meaning of its bytes below)
//   offset 8, 4 bytes   address  the device's IPv4 address, network byte order (last octet at 11)
//
// The message ID that comes with it is not used. Senders include this header too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace monitor {

inline constexpr std::string_view ButtonPortName = "OSPREY_HID_MSG_PORT";

struct NetworkButtonEvent {
    std::array<std::uint8_t, 8> report{};
    std::array<std::uint8_t, 4> address{};
};

inline constexpr std::size_t NetworkButtonEventSize = 12;
inline constexpr std::size_t ReportOffset = 0;
inline constexpr std::size_t AddressOffset = 8;
static_assert(sizeof(NetworkButtonEvent) == NetworkButtonEventSize);

// Report bytes. 3, 4 and 5 are not read.
inline constexpr std::size_t ReportMarkerByte = 0;  // the event is handled only when it is 1
inline constexpr std::size_t ReportCommandByte = 1;
inline constexpr std::size_t ReportResolutionByte = 2;   // scan request: passed on unchanged
inline constexpr std::size_t ReportScanTypeByte = 6;     // scan request
inline constexpr std::size_t ReportOperationByte = 6;    // control command: the same byte
inline constexpr std::size_t ReportDirectValueByte = 7;  // scan request: passed on unchanged

inline constexpr std::uint8_t EventMarker = 1;
inline constexpr std::uint8_t ScanRequestCommand = 1;
inline constexpr std::uint8_t ControlCommand = 2;

// Scan types: 0 asks for no scan, 7 is refused, every other value starts a scan of that type.
inline constexpr std::uint8_t NoScanType = 0;
inline constexpr std::uint8_t RefusedScanType = 7;

// Control operations; other values are ignored.
inline constexpr std::uint8_t RefreshDestinationListOperation = 1;
inline constexpr std::uint8_t EndNetworkScanOperation = 0x99;

// The message's bytes in order.
inline std::array<std::byte, NetworkButtonEventSize> MessageBytes(const NetworkButtonEvent& event) {
    std::array<std::byte, NetworkButtonEventSize> bytes{};
    for (std::size_t i = 0; i < event.report.size(); ++i) {
        bytes[ReportOffset + i] = static_cast<std::byte>(event.report[i]);
    }
    for (std::size_t i = 0; i < event.address.size(); ++i) {
        bytes[AddressOffset + i] = static_cast<std::byte>(event.address[i]);
    }
    return bytes;
}

}  // namespace monitor
