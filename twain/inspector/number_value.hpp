#pragma once
// Reading an Info.plist entry as a number, the way the framework's number objects answer
// intValue, doubleValue and boolValue: integers, reals and booleans convert into each other (a
// real is cut toward zero), and a string holding nothing but a decimal number, surrounded by
// white space at most, counts as that number. Anything else, and a missing entry, is empty.

#include <cstdint>
#include <optional>

#include "platform/plist/value.hpp"

namespace twain {

std::optional<std::int32_t> intValue(const platform::plist::Value& entry);
std::optional<double> doubleValue(const platform::plist::Value& entry);
std::optional<bool> boolValue(const platform::plist::Value& entry);

}  // namespace twain
