#pragma once
// The shape of a binary property list, read from its object table without making any value:
// how deep its containers nest and how many values reading it makes. libplist's binary reader
// recurses once per level without a limit, and makes a value of its own each time an object is
// referred to, so a small document could overflow the stack or expand exponentially inside it.
// Such documents are refused before libplist sees them.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/base/result.hpp"

namespace platform::plist {

// The most values reading one document may make (objects counted once per reference).
inline constexpr std::uint64_t max_expanded_values = 1 << 20;

// An error when the document is a binary property list whose containers, from its top object,
// nest deeper than nesting_limit, refer back to themselves, or would expand to more than
// max_expanded_values values. Anything else passes, including documents too malformed to tell
// (libplist refuses those itself).
Result<void> check_binary_structure(std::span<const std::byte> document, int nesting_limit);

}  // namespace platform::plist
