#pragma once
// The destination list block that the device's panel gets through DeviceParameterSet (the
// layout is documented in scanner_library_entry_points.h): a header word and the entries
// "File", "Clipboard" and up to 18 applications by their panel names, or the empty form.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/plist/value.hpp"

namespace monitor {

inline constexpr std::uint16_t DestinationListHeader = 0xE404;
inline constexpr std::uint16_t NoDestinationListHeader = 0x0000;
inline constexpr std::size_t MaxPanelNameLength = 15;
inline constexpr std::size_t MaxPanelApplications = 18;
// 2 + 20 × (2 + 15): the header and the longest list.
inline constexpr std::size_t MaxDestinationListLength = 342;

struct DestinationListBlock {
    std::array<std::uint8_t, MaxDestinationListLength> bytes{};
    std::size_t length = 0;       // bytes written
    std::int32_t entryCount = 0;  // entries written

    std::span<const std::uint8_t> Written() const { return {bytes.data(), length}; }
};

// The bytes of a panel name: ".app" dropped from its end (case matters), the first 15 UTF-16
// units taken, converted to Windows Latin-1 up to the first unit it lacks.
std::vector<std::uint8_t> EncodePanelName(std::string_view name);

// The list form for these panel names (an application's "OpName"; anything but a string gives
// an entry of length 0). Only the first 18 are taken. An empty list gives the empty form.
DestinationListBlock MakeDestinationList(std::span<const platform::plist::Value> panelNames);
// Header 0x0000 and one entry of length 0.
DestinationListBlock MakeEmptyDestinationList();

}  // namespace monitor
