#pragma once
// The readable form of an event as the stand-in prints it:
//
//   event 'BMon' 'x771' (return ID -1, transaction ID 0) to 'sign' 'QH06'
//     '----' 'long' 5
//     'NtSc' 'true' 01
//     'rmip' 'utxt' "192.168.1.20"
//
// Codes that are not four printable characters show as hex (0x00000000). Numbers, signatures
// and UTF-16 text are read in host byte order; text is quoted with \" \\ \n \t \r and \xHH
// escapes, so an event never breaks its lines.

#include <string>
#include <string_view>

#include "platform/appevents/descriptor.hpp"
#include "platform/appevents/event.hpp"
#include "platform/base/result.hpp"

namespace standin {

// The value of a descriptor of a known type ('null', 'long', 'shor', 'bool', 'true', 'fals',
// 'sign', 'type', 'enum', 'TEXT', 'utxt'). An unknown type, or data of the wrong size for its
// type, is an error.
platform::Result<std::string> describe_value(const platform::appevents::Descriptor& descriptor);

// The event's lines (heading: "event" or "launch event"), each ending in a newline; an error
// naming the first descriptor that cannot be shown.
platform::Result<std::string> describe_event(const platform::appevents::Event& event,
                                             std::string_view heading);

}  // namespace standin
