#pragma once
// Dotted decimal text of an IPv4 address.

#include <cstdint>
#include <optional>
#include <string>

namespace monitor {

// 10.0.0.5 for an address in network byte order; nullopt only when no text could be made. Safe
// on any thread: it keeps no shared buffer.
std::optional<std::string> CreateDottedQuadString(std::uint32_t networkOrderAddress);

}  // namespace monitor
