#include "platform/base/errno_text.hpp"

#include <cstring>

#include "platform/diagnostics/descriptors.hpp"

namespace platform {

std::string errno_text(std::string_view what, int error_number) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
    std::string message(what);
    message += ": ";
    message += text;
    diagnostics::note_error(error_number, what);
    return message;
}

}  // namespace platform
