#pragma once
// How the destination list compares application names and location strings (UTF-8 text).

#include <string_view>

namespace monitor {

// Equal when the texts are equal letter for letter after simple Unicode lower-casing. Bytes that
// are not UTF-8 only ever equal themselves.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// The order of the process's collation (strcoll under LC_COLLATE; byte order in the C locale).
bool CollatesBefore(std::string_view a, std::string_view b);

}  // namespace monitor
