#pragma once
// The wire form of an event, which is also the launch parameters of an application. Integers
// are little-endian; a four-character code is its four bytes, first character first:
//
//   "aevt" | class | ID | return ID (16) | transaction ID (32)
//   | target: type | data length (32) | data
//   | parameter count (32)
//   | per parameter, in order: keyword | type | data length (32) | data
//
// Descriptor data goes as it is.

#include <cstddef>
#include <span>
#include <vector>

#include "platform/appevents/descriptor.hpp"
#include "platform/appevents/event.hpp"
#include "platform/base/result.hpp"

namespace platform::appevents {

// The largest event sent or received as one datagram. Launch parameters have no such limit.
inline constexpr std::size_t max_event_size = 64 * 1024;

std::vector<std::byte> encode_event(const Event& event);

// The event of exactly these bytes. Anything else is an error saying what is wrong: bytes that
// end early, a wrong magic, a length past the end, a keyword given twice, or bytes left over
// after the last parameter. So every event decoded encodes back to the same bytes.
Result<Event> decode_event(std::span<const std::byte> bytes);

// The event coerced to launch parameters: an 'appa' descriptor holding its wire form.
Result<Descriptor> to_launch_parameters(const Event& event);

}  // namespace platform::appevents
