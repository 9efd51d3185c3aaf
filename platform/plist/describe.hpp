#pragma once
// A readable one-line description of a value, for diagnostics and test output:
// "Scan Hub", -56, 1.5, true, <00 01 ff>, [1, "two"], {"key" = value; ...}, file:///path.

#include <ostream>
#include <string>

#include "platform/plist/value.hpp"

namespace platform::plist {

std::string describe(const Value& value);

// Lets test frameworks and streams print values.
void PrintTo(const Value& value, std::ostream* out);
std::ostream& operator<<(std::ostream& out, const Value& value);

}  // namespace platform::plist
