#pragma once
// Error numbers as text, through strerror_r (strerror may share one buffer between threads).
//
// errno_text(what, error_number) is the readable "what: <text>" message for platform errors.
// Every failure of a system call in the platform layer is described through it, so it also tells
// the diagnostics when the failure was running out of file descriptors
// (platform/diagnostics/descriptors.hpp).

#include <cstring>
#include <string>
#include <string_view>

namespace platform {

// The text alone, header-only for code that does not link this folder's library (the shared
// property-list library, helper programs of the tests).
inline std::string errno_text(int error_number) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    return ::strerror_r(error_number, buffer, sizeof buffer);
}

std::string errno_text(std::string_view what, int error_number);

}  // namespace platform
