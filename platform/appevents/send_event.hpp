#pragma once
// Sending an event with no reply to the application that owns a signature.

#include <chrono>

#include "platform/appevents/event.hpp"
#include "platform/base/four_char_code.hpp"
#include "platform/base/result.hpp"

namespace platform::appevents {

inline constexpr std::chrono::milliseconds event_send_wait_limit{2000};

// Sends the event as one datagram to the event socket of its target's signature (a 'sign'
// descriptor: the code as a 32-bit number in host order) and returns once it is queued there;
// no reply is awaited. Status -600 (procNotFound) when nobody serves the signature, or when
// the target names no application; -1712 (errAETimeout) when the application's queue stays
// full for event_send_wait_limit, so that an application that stopped reading cannot hold
// the sender up for ever. An event larger than max_event_size is not sent.
Result<void> send_event(const Event& event);

// The same, to the application that serves the signature, whatever the event's target says
// (an application handing on an event it was given).
Result<void> send_event_to(FourCharCode signature, const Event& event);

}  // namespace platform::appevents
