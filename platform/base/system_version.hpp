#pragma once
// The system version in the binary-coded decimal form that Gestalt's 'sysv' selector answers:
// 0xMMmb for version MM.m.b (0x1049 is 10.4.9).

#include <cstdint>

namespace platform {

// Linux counts as a modern system: the answer is 0x1099, the highest version the form holds.
std::uint32_t system_version_bcd();

}  // namespace platform
