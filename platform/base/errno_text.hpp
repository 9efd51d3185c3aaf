#pragma once
// A readable "what: strerror(errno)" message for platform errors.

#include <string>
#include <string_view>

namespace platform {

std::string errno_text(std::string_view what, int error_number);

}  // namespace platform
