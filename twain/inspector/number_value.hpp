#pragma once
// Reading an Info.plist entry as a number, the way the framework's objects answer intValue,
// doubleValue and boolValue:
// - integers, reals and booleans convert into each other (a real is cut toward zero);
// - a string is read from its start, after leading blanks, whatever follows: intValue takes the
//   leading decimal integer, held to the 32-bit range; doubleValue the leading decimal real
//   (infinite past the range of a double); both are 0 when the text does not start with a
//   number. boolValue is YES when, after an optional sign and any zeros, the text starts with
//   Y, y, T, t or a digit 1 to 9, and NO otherwise.
// A missing entry, and an entry of any other kind, is empty.

#include <cstdint>
#include <optional>

#include "platform/plist/value.hpp"

namespace twain {

std::optional<std::int32_t> intValue(const platform::plist::Value& entry);
std::optional<double> doubleValue(const platform::plist::Value& entry);
std::optional<bool> boolValue(const platform::plist::Value& entry);

}  // namespace twain
