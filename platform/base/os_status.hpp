#pragma once
// The Mac OS error codes that the system's interfaces report (16-bit in origin, passed on
// sign-extended in 32-bit results).

#include <cstdint>

namespace platform::os_status {

inline constexpr std::int32_t noErr = 0;
inline constexpr std::int32_t fnfErr = -43;                      // file not found
inline constexpr std::int32_t memFullErr = -108;                 // out of memory
inline constexpr std::int32_t procNotFound = -600;               // no process serves the target
inline constexpr std::int32_t portNameExistsErr = -904;          // the name is served already
inline constexpr std::int32_t errAETimeout = -1712;              // an event was not taken in time
inline constexpr std::int32_t coreFoundationUnknownErr = -4960;  // a framework step made nothing

}  // namespace platform::os_status
