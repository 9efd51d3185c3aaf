#include "platform/base/errno_text.hpp"

#include "platform/diagnostics/descriptors.hpp"

namespace platform {

std::string errno_text(std::string_view what, int error_number) {
    std::string message(what);
    message += ": ";
    message += errno_text(error_number);
    diagnostics::note_error(error_number, what);
    return message;
}

}  // namespace platform
