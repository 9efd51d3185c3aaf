#pragma once
// The nesting of an XML property list, read from its text the way libplist's XML reader reads
// it, without making any value. libplist builds a tree of any depth from XML (a few megabytes
// make hundreds of thousands of levels), and freeing such a tree, which it also does itself when
// the document turns out to be malformed, recurses once per level and overflows the stack. Such
// documents are refused before libplist sees them.

#include <cstddef>
#include <span>

#include "platform/base/result.hpp"

namespace platform::plist {

// For a document libplist reads as XML (any but a binary one): an error when one of its values
// would sit more than nesting_limit containers below the top value, or when the document goes
// wrong, as libplist's reader would find, before that can be told. Anything else passes.
Result<void> check_xml_structure(std::span<const std::byte> document, int nesting_limit);

}  // namespace platform::plist
