#pragma once
// Reading and writing the scanner status preferences. Every access synchronizes the domain
// before and after, so a value written is on disk for other processes when SetScannerPref
// returns, and a value read is the latest on disk. Safe from any thread without a lock of the
// caller's: when two threads write one key, the later write wins.

#include <string_view>

#include "monitor/core/scanner_pref_keys.hpp"
#include "platform/plist/value.hpp"

namespace monitor {

// Stores a copy of the value under the key; a null value removes the key. Failures are not
// reported: the value is then simply not stored.
void SetScannerPref(std::string_view key, const platform::plist::Value& value);

// A copy of the key's value, null when the key is absent. The caller checks the type.
platform::plist::Value CopyScannerPref(std::string_view key);

}  // namespace monitor
