#pragma once
// Reading and writing property-list documents through libplist. Readers take XML and binary
// documents; the writer produces XML. A malformed document is an error, never a crash.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "platform/base/result.hpp"
#include "platform/plist/value.hpp"

namespace platform::plist {

// The value of an XML or binary document. An empty document, one libplist cannot parse, one
// nested deeper than max_nesting_depth, one whose dictionaries' keys would cost libplist more
// than max_key_comparisons (key_table.hpp), or one holding a value with no counterpart here (a
// plist "null") is an error.
Result<Value> parse(std::span<const std::byte> document);
Result<Value> parse(std::string_view document);
// Reads and parses a file; a missing or unreadable file is an error too (status -43 when it
// cannot be opened), and so is anything but a regular file.
Result<Value> read_file(const std::filesystem::path& path);

// The XML document of a value (dates to the whole second, as the XML form holds them). Values
// with no property-list form (file URLs, the null value, keys or strings holding NUL) are an
// error.
Result<std::string> to_xml(const Value& value);

inline constexpr int max_nesting_depth = 256;

}  // namespace platform::plist
